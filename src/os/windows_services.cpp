// SystemServices on Windows: each operation forwards to the call of its name.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <winsock.h>
#include <windows.h>

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
    }

    Dword GetWindowsDirectoryA(char* buffer, Dword size) override {
        return ::GetWindowsDirectoryA(buffer, size);
    }

    bool GetVolumeInformationA(const char* rootPath, Dword* serialNumber,
                               Dword* maximumComponentLength, Dword* fileSystemFlags) override {
        DWORD serial = 0, maximum = 0, flags = 0;
        if (!::GetVolumeInformationA(rootPath, nullptr, 0, &serial, &maximum, &flags, nullptr, 0))
            return false;
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
                                &handle))
            return false;
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

    bool InitiateSystemShutdownA(const char* machineName, const char* message,
                                 Dword timeoutSeconds, int forceAppsClosed,
                                 int rebootAfterShutdown) override {
        return ::InitiateSystemShutdownA(const_cast<char*>(machineName),
                                         const_cast<char*>(message), timeoutSeconds,
                                         forceAppsClosed, rebootAfterShutdown) != 0;
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

    std::uint64_t randomSeed() override {
        LARGE_INTEGER counter;
        ::QueryPerformanceCounter(&counter);
        return static_cast<std::uint64_t>(counter.QuadPart) ^
               static_cast<std::uint64_t>(
                   std::chrono::system_clock::now().time_since_epoch().count());
    }

private:
    bool ntPlatform_;
};

}  // namespace

std::unique_ptr<SystemServices> makePlatformServices(int, char**) {
    return std::make_unique<WindowsServices>();
}

}  // namespace vorlane
