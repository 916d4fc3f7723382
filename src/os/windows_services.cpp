// SystemServices on Windows: each operation forwards to the call of its name.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>
#include <winsock.h>

#include <chrono>
#include <cstring>

#include "os/command_line.h"
#include "os/system_services.h"

namespace vorlane {

namespace {

// Drops trailing control characters, blanks and full stops, as the system's
// messages end in ".\r\n".
std::string trimMessage(const char* text, DWORD length) {
    while (length > 0) {
        const unsigned char last = static_cast<unsigned char>(text[length - 1]);
        if (last >= 33 && last != '.') break;
        --length;
    }
    return std::string(text, length);
}

bool readNtPlatform() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

class WindowsServices final : public SystemServices {
public:
    WindowsServices() : ntPlatform_(readNtPlatform()) {
        // Lines end in CR LF as written; text mode would make that CR CR LF.
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stdin), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
    }

    Dword GetWindowsDirectoryA(char* buffer, Dword size) override {
        return ::GetWindowsDirectoryA(buffer, size);
    }

    bool GetVolumeInformationA(const char* rootPath, Dword* serialNumber,
                               Dword* maximumComponentLength, Dword* fileSystemFlags) override {
        DWORD serial = 0, maximum = 0, flags = 0;
        if (!::GetVolumeInformationA(rootPath, nullptr, 0, &serial, &maximum, &flags, nullptr, 0)) {
            return false;
        }
        *serialNumber = serial;
        *maximumComponentLength = maximum;
        *fileSystemFlags = flags;
        return true;
    }

    bool SetComputerNameA(const char* name) override { return ::SetComputerNameA(name) != 0; }
    void SetLastError(Dword code) override { ::SetLastError(code); }
    Dword GetLastError() override { return ::GetLastError(); }

    std::string systemErrorText(Dword code) override {
        char buffer[256];
        const DWORD length =
            ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                             code, 0, buffer, sizeof buffer, nullptr);
        return trimMessage(buffer, length);
    }

    bool isNtPlatform() override { return ntPlatform_; }

    bool OpenProcessToken(TokenHandle* token) override {
        HANDLE handle = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                &handle)) {
            return false;
        }
        *token = reinterpret_cast<TokenHandle>(handle);
        return true;
    }

    bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override {
        LUID value;
        if (!::LookupPrivilegeValueA(systemName, name, &value)) return false;
        luid->lowPart = value.LowPart;
        luid->highPart = value.HighPart;
        return true;
    }

    bool AdjustTokenPrivileges(TokenHandle token, bool disableAll, const TokenPrivileges& newState,
                               TokenPrivileges* previousState, Dword bufferLength,
                               Dword* returnLength) override {
        TOKEN_PRIVILEGES state;
        state.PrivilegeCount = newState.privilegeCount;
        state.Privileges[0].Luid.LowPart = newState.luid.lowPart;
        state.Privileges[0].Luid.HighPart = newState.luid.highPart;
        state.Privileges[0].Attributes = newState.attributes;
        TOKEN_PRIVILEGES previous;
        std::memset(&previous, 0, sizeof previous);
        DWORD length = 0;
        (void)bufferLength;  // the record below is the system's own size
        const BOOL result =
            ::AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token), disableAll ? TRUE : FALSE,
                                    &state, sizeof previous, &previous, &length);
        if (previousState != nullptr) {
            previousState->privilegeCount = previous.PrivilegeCount;
            previousState->luid = {previous.Privileges[0].Luid.LowPart,
                                   previous.Privileges[0].Luid.HighPart};
            previousState->attributes = previous.Privileges[0].Attributes;
        }
        if (returnLength != nullptr) *returnLength = length;
        return result != 0;
    }

    bool CloseHandle(TokenHandle handle) override {
        return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
    }

    bool InitiateSystemShutdownA(const char* machineName, const char* message, Dword timeoutSeconds,
                                 int forceAppsClosed, int rebootAfterShutdown) override {
        return ::InitiateSystemShutdownA(const_cast<char*>(machineName), const_cast<char*>(message),
                                         timeoutSeconds, forceAppsClosed, rebootAfterShutdown) != 0;
    }

    int MessageBoxA(const char* text, const char* caption, unsigned type) override {
        return ::MessageBoxA(nullptr, text, caption, type);
    }

    int WSAStartup(std::uint16_t versionRequested) override {
        WSADATA data;
        return ::WSAStartup(versionRequested, &data);
    }

    int WSACleanup() override { return ::WSACleanup(); }

    bool gethostbyname(const char* name) override { return ::gethostbyname(name) != nullptr; }

    std::vector<std::string> commandLineArguments() override {
        std::vector<std::string> words = splitCommandLine(::GetCommandLineA());
        if (!words.empty()) words.erase(words.begin());  // the program's own path
        return words;
    }

    std::string programFileName() override {
        char path[MAX_PATH + 1] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
        const std::string full(path, length < sizeof path ? length : 0);
        const auto last = full.find_last_of("\\:");
        return last == std::string::npos ? full : full.substr(last + 1);
    }

    void writeOutput(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
    }

    bool errorIsTerminal() override {
        const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
        DWORD mode = 0;
        return error != INVALID_HANDLE_VALUE && error != nullptr &&
               ::GetFileType(error) == FILE_TYPE_CHAR && ::GetConsoleMode(error, &mode);
    }

    void writeErrorOutput(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }

    int readInputByte() override {
        const int byte = std::fgetc(stdin);
        return byte == EOF ? -1 : byte;
    }

    bool equalIgnoringCase(std::string_view a, std::string_view b) override {
        return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                                static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size())) == CSTR_EQUAL;
    }

    bool isLeadByte(unsigned char byte) override { return ::IsDBCSLeadByte(byte) != 0; }

    EntryKind findEntry(const std::string& path) override {
        WIN32_FIND_DATAA found;
        const HANDLE search = ::FindFirstFileA(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return EntryKind::Missing;
        ::FindClose(search);
        return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory
                                                                   : EntryKind::Present;
    }

    // Others may read the file meanwhile but not write it. Only a file on a
    // disk is read: a device or a pipe cannot be opened as a database.
    ReadResult readWholeFile(const std::string& path, std::uint64_t sizeLimit,
                             std::string* contents) override {
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return ReadResult::CannotOpen;
        const ReadResult result = readOpenFile(file, sizeLimit, contents);
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        ::SetLastError(error);
        return result;
    }

    bool fileHolds(const std::string& path, TextPieces pieces) override {
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER size;
        bool same = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) &&
                    static_cast<std::uint64_t>(size.QuadPart) == totalSize(pieces);
        PiecesMatcher expected(pieces);
        char part[1 << 16];
        while (same) {
            DWORD got = 0;
            if (!::ReadFile(file, part, sizeof part, &got, nullptr) || got == 0) {
                same = got == 0 && expected.atEnd();
                break;
            }
            same = expected.matchNext(std::string_view(part, got));
        }
        ::CloseHandle(file);
        return same;
    }

    LockResult tryLockFile(const std::string& lockPath, FileLock* lock) override {
        const HANDLE file = ::CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return LockResult::Failed;
        OVERLAPPED at;
        std::memset(&at, 0, sizeof at);
        if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                          &at)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            ::SetLastError(error);
            return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockResult::Busy
                                                                              : LockResult::Failed;
        }
        *lock = reinterpret_cast<FileLock>(file);
        return LockResult::Taken;
    }

    void unlockFile(FileLock lock) override {
        if (lock == 0) return;
        const HANDLE file = reinterpret_cast<HANDLE>(lock);
        OVERLAPPED at;
        std::memset(&at, 0, sizeof at);
        ::UnlockFileEx(file, 0, 1, 0, &at);
        ::CloseHandle(file);
    }

    WriteResult writeFileBeside(const std::string& target, TextPieces contents,
                                std::string* temporaryPath) override {
        HANDLE file = INVALID_HANDLE_VALUE;
        std::string name;
        // CREATE_NEW never opens a name that is already there.
        for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, ".%lx%04x.tmp", ::GetCurrentProcessId(),
                          static_cast<unsigned>(attempt + (::GetTickCount() & 0xFFF)));
            name = target + suffix;
            file = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE &&
                (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100)) {
                return WriteResult::CannotCreate;
            }
        }
        bool written = true;
        for (std::string_view piece : contents) {
            while (written && !piece.empty()) {
                const DWORD chunk =
                    static_cast<DWORD>(piece.size() < 0x40000000u ? piece.size() : 0x40000000u);
                DWORD done = 0;
                written = ::WriteFile(file, piece.data(), chunk, &done, nullptr) && done == chunk;
                piece.remove_prefix(done);
            }
        }
        written = written && ::FlushFileBuffers(file);
        DWORD error = written ? 0 : ::GetLastError();
        if (!::CloseHandle(file) && error == 0) error = ::GetLastError();
        if (error != 0 || !written) {
            ::DeleteFileA(name.c_str());
            ::SetLastError(error);
            return WriteResult::WriteFailed;
        }
        *temporaryPath = name;
        return WriteResult::Written;
    }

    bool replaceFile(const std::string& source, const std::string& target) override {
        return ::MoveFileExA(source.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }

    bool isTransientReplaceError(Dword code) override {
        return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
               code == ERROR_LOCK_VIOLATION;
    }

    bool removeFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

    void sleepMilliseconds(Dword milliseconds) override { ::Sleep(milliseconds); }

    std::uint64_t tickMilliseconds() override { return ::GetTickCount64(); }

    std::uint64_t randomSeed() override {
        LARGE_INTEGER counter;
        ::QueryPerformanceCounter(&counter);
        return static_cast<std::uint64_t>(counter.QuadPart) ^
               static_cast<std::uint64_t>(
                   std::chrono::system_clock::now().time_since_epoch().count());
    }

private:
    static ReadResult readOpenFile(HANDLE file, std::uint64_t sizeLimit, std::string* contents) {
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return ReadResult::CannotOpen;
        }
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(file, &size)) return ReadResult::CannotOpen;
        if (static_cast<std::uint64_t>(size.QuadPart) > sizeLimit) {
            ::SetLastError(ERROR_FILE_TOO_LARGE);
            return ReadResult::TooLarge;
        }
        contents->assign(static_cast<std::size_t>(size.QuadPart), '\0');
        std::size_t done = 0;
        while (done < contents->size()) {
            const std::size_t left = contents->size() - done;
            const DWORD chunk = static_cast<DWORD>(left < 0x40000000u ? left : 0x40000000u);
            DWORD got = 0;
            if (!::ReadFile(file, contents->data() + done, chunk, &got, nullptr)) {
                return ReadResult::CannotOpen;
            }
            if (got == 0) break;  // the file shrank while it was read
            done += got;
        }
        contents->resize(done);
        return ReadResult::Read;
    }

    bool ntPlatform_;
};

}  // namespace

std::unique_ptr<SystemServices> makePlatformServices(int, char**) {
    return std::make_unique<WindowsServices>();
}

}  // namespace vorlane
