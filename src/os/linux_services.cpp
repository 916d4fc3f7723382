// SystemServices on Linux. The computer name is the host name, the system
// directory is "/" and its volume the root filesystem; last error codes are
// errno values.
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "os/system_services.h"

namespace vorlane {

namespace {

constexpr const char* kHostnameFile = "/etc/hostname";

// Drops trailing control characters, blanks and full stops.
std::string trimMessage(std::string text) {
    while (!text.empty()) {
        const unsigned char last = static_cast<unsigned char>(text.back());
        if (last >= 33 && last != '.') break;
        text.pop_back();
    }
    return text;
}

// What a host name must look like here: 1 to 15 letters, digits and "-",
// no "-" at either end, not all digits.
bool isAcceptableHostName(std::string_view name) {
    if (name.empty() || name.size() > 15) return false;
    if (name.front() == '-' || name.back() == '-') return false;
    bool allDigits = true;
    for (char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '-') return false;
        if (!digit) allDigits = false;
    }
    return !allDigits;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool writeAll(int fd, TextPieces pieces) {
    return std::all_of(pieces.begin(), pieces.end(),
                       [fd](std::string_view piece) { return writeAll(fd, piece); });
}

// Writes the whole text into path in place: for a file that is a mount point
// and so cannot be replaced by a rename.
int rewriteInPlace(const char* path, std::string_view text) {
    const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (!writeAll(fd, text) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes a rename in directory reach the disk.
int syncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

// Asks for the memory of a large buffer in 2 MiB pages, where the system
// offers them, before it is first touched: a 20 MB file then costs ten page
// faults instead of five thousand, which is most of the time its reading takes.
void preferLargePages(char* buffer, std::size_t size) {
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (begin + size) & ~(kLargePage - 1);
    if (first < end) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The few sd-bus calls of the restart request. libsystemd is loaded only when
// a restart is requested: linking it would load it and the libraries it
// needs into every run, which costs more than the rest of a short run.
class SdBus {
public:
    SdBus() : library_(::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL)) {
        if (library_ == nullptr) return;
        openSystem =
            reinterpret_cast<decltype(openSystem)>(::dlsym(library_, "sd_bus_open_system"));
        callMethod =
            reinterpret_cast<decltype(callMethod)>(::dlsym(library_, "sd_bus_call_method"));
        errorFree = reinterpret_cast<decltype(errorFree)>(::dlsym(library_, "sd_bus_error_free"));
        closeUnref =
            reinterpret_cast<decltype(closeUnref)>(::dlsym(library_, "sd_bus_flush_close_unref"));
    }
    ~SdBus() {
        if (library_ != nullptr) ::dlclose(library_);
    }
    SdBus(const SdBus&) = delete;
    SdBus& operator=(const SdBus&) = delete;

    bool loaded() const { return openSystem && callMethod && errorFree && closeUnref; }

    decltype(&sd_bus_open_system) openSystem = nullptr;
    decltype(&sd_bus_call_method) callMethod = nullptr;
    decltype(&sd_bus_error_free) errorFree = nullptr;
    decltype(&sd_bus_flush_close_unref) closeUnref = nullptr;

private:
    void* library_;
};

class LinuxServices final : public SystemServices {
public:
    LinuxServices(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}

    Dword GetWindowsDirectoryA(char* buffer, Dword size) override {
        if (size < 2) return fail(ERANGE), 0;
        buffer[0] = '/';
        buffer[1] = '\0';
        return 1;
    }

    // The serial number is the first 32-bit word of the root filesystem's ID.
    // The root path is not looked at: there is one root.
    bool GetVolumeInformationA(const char*, Dword* serialNumber, Dword* maximumComponentLength,
                               Dword* fileSystemFlags) override {
        struct statfs info;
        if (::statfs("/", &info) != 0) return fail(errno);
        Dword word = 0;
        static_assert(sizeof info.f_fsid >= sizeof word);
        std::memcpy(&word, &info.f_fsid, sizeof word);
        *serialNumber = word;
        *maximumComponentLength = static_cast<Dword>(info.f_namelen);
        *fileSystemFlags = 0;
        return true;
    }

    // Makes the name the running host name and the static one in
    // /etc/hostname, or neither: the file is written beside its place first,
    // and the running name is put back when the file cannot be replaced.
    bool SetComputerNameA(const char* name) override {
        if (!isAcceptableHostName(name)) return fail(EINVAL);
        const std::string text = std::string(name) + "\n";
        const std::string_view pieces[] = {text};

        // The new file is made the way a database's is: beside the old one,
        // with its mode, flushed. A failure has set the last error.
        std::string temporary;
        if (writeFileBeside(kHostnameFile, pieces, &temporary) != WriteResult::Written) {
            return false;
        }

        int error = 0;
        char previous[256] = {};
        ::gethostname(previous, sizeof previous - 1);
        if (::sethostname(name, std::strlen(name)) != 0) {
            error = errno;
            ::unlink(temporary.c_str());
            return fail(error);
        }
        if (::rename(temporary.c_str(), kHostnameFile) != 0) {
            error = errno;
            ::unlink(temporary.c_str());
            if (error == EBUSY || error == EXDEV) error = rewriteInPlace(kHostnameFile, text);
            if (error != 0) {
                ::sethostname(previous, std::strlen(previous));
                return fail(error);
            }
        }
        return true;
    }

    void SetLastError(Dword code) override {
        lastError_ = code;
        lastErrorText_.clear();
    }
    Dword GetLastError() override { return lastError_; }

    std::string systemErrorText(Dword code) override {
        if (code == lastError_ && !lastErrorText_.empty()) return trimMessage(lastErrorText_);
        return trimMessage(std::strerror(static_cast<int>(code)));
    }

    bool isNtPlatform() override { return false; }

    // Privileges belong to the NT family; the logic never asks for them here.
    bool OpenProcessToken(TokenHandle*) override { return fail(ENOSYS); }
    bool LookupPrivilegeValueA(const char*, const char*, Luid*) override { return fail(ENOSYS); }
    bool AdjustTokenPrivileges(TokenHandle, bool, const TokenPrivileges&, TokenPrivileges*, Dword,
                               Dword*) override {
        return fail(ENOSYS);
    }
    bool CloseHandle(TokenHandle) override { return fail(ENOSYS); }

    // The restart goes to logind over the system bus: the message to every
    // logged-in user, then a reboot timeoutSeconds ahead. Where the bus or
    // logind refuses, the D-Bus error's message is the error text.
    bool InitiateSystemShutdownA(const char*, const char* message, Dword timeoutSeconds, int,
                                 int) override {
        SdBus sd;
        if (!sd.loaded()) {
            const char* why = ::dlerror();
            return failWithText(ELIBACC, why != nullptr ? why : "");
        }
        sd_bus* bus = nullptr;
        int result = sd.openSystem(&bus);
        if (result < 0) return fail(-result);
        sd_bus_error error{};  // SD_BUS_ERROR_NULL, less its C compound literal
        result = sd.callMethod(bus, kLogin1, kLogin1Path, kLogin1Manager, "SetWallMessage", &error,
                               nullptr, "sb", message, 1);
        if (result >= 0) {
            struct timespec now;
            ::clock_gettime(CLOCK_REALTIME, &now);
            const std::uint64_t when = static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
                                       static_cast<std::uint64_t>(now.tv_nsec) / 1000u +
                                       std::uint64_t{timeoutSeconds} * 1000000u;
            result = sd.callMethod(bus, kLogin1, kLogin1Path, kLogin1Manager, "ScheduleShutdown",
                                   &error, nullptr, "st", "reboot", when);
        }
        if (result < 0) {
            failWithText(-result, error.message != nullptr ? error.message : "");
        }
        sd.errorFree(&error);
        sd.closeUnref(bus);
        return result >= 0;
    }

    // There is no message box on a console: the text goes to standard output.
    int MessageBoxA(const char* text, const char*, unsigned) override {
        writeOutput(text);
        writeOutput("\r\n");
        return 1;
    }

    // The resolver needs no start or stop.
    int WSAStartup(std::uint16_t) override { return 0; }
    int WSACleanup() override { return 0; }

    bool gethostbyname(const char* name) override {
        struct addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        struct addrinfo* found = nullptr;
        if (::getaddrinfo(name, nullptr, &hints, &found) != 0) return false;
        ::freeaddrinfo(found);
        return true;
    }

    std::vector<std::string> commandLineArguments() override { return arguments_; }

    std::string programFileName() override {
        char path[4096];
        const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
        if (length <= 0) return "vorlane";
        const std::string full(path, static_cast<std::size_t>(length));
        return full.substr(full.find_last_of('/') + 1);
    }

    void writeOutput(std::string_view bytes) override { writeAll(STDOUT_FILENO, bytes); }

    bool errorIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }

    void writeErrorOutput(std::string_view bytes) override { writeAll(STDERR_FILENO, bytes); }

    int readInputByte() override {
        unsigned char byte = 0;
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
            if (got == 1) return byte;
            if (got < 0 && errno == EINTR) continue;
            return -1;
        }
    }

    bool equalIgnoringCase(std::string_view a, std::string_view b) override {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (asciiLower(a[i]) != asciiLower(b[i])) return false;
        }
        return true;
    }

    bool isLeadByte(unsigned char) override { return false; }

    EntryKind findEntry(const std::string& path) override {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return fail(errno), EntryKind::Missing;
        return S_ISDIR(info.st_mode) ? EntryKind::Directory : EntryKind::Present;
    }

    // Only a regular file is read. Anything else is refused before it is
    // opened, since opening a device can have effects of its own; the open
    // does not block, in case a FIFO took the file's place in between.
    ReadResult readWholeFile(const std::string& path, std::uint64_t sizeLimit,
                             std::string* contents) override {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return fail(errno), ReadResult::CannotOpen;
        if (!S_ISREG(info.st_mode)) return fail(EINVAL), ReadResult::CannotOpen;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return fail(errno), ReadResult::CannotOpen;
        const ReadResult result = readOpenFile(fd, sizeLimit, contents);
        ::close(fd);
        return result;
    }

    bool fileHolds(const std::string& path, TextPieces pieces) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return fail(errno);
        struct stat info;
        bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    static_cast<std::uint64_t>(info.st_size) == totalSize(pieces);
        PiecesMatcher expected(pieces);
        char part[1 << 16];
        while (same) {
            const ssize_t got = ::read(fd, part, sizeof part);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                same = got == 0 && expected.atEnd();
                break;
            }
            same = expected.matchNext(std::string_view(part, static_cast<std::size_t>(got)));
        }
        ::close(fd);
        return same;
    }

    LockResult tryLockFile(const std::string& lockPath, FileLock* lock) override {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) return fail(errno), LockResult::Failed;
        struct flock range;
        std::memset(&range, 0, sizeof range);
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0;
        range.l_len = 1;
        if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
            const int error = errno;
            ::close(fd);
            fail(error);
            return (error == EAGAIN || error == EACCES) ? LockResult::Busy : LockResult::Failed;
        }
        *lock = static_cast<FileLock>(fd) + 1;
        return LockResult::Taken;
    }

    // Closing the last descriptor of the open file releases its lock.
    void unlockFile(FileLock lock) override {
        if (lock != 0) ::close(static_cast<int>(lock - 1));
    }

    WriteResult writeFileBeside(const std::string& target, TextPieces contents,
                                std::string* temporaryPath) override {
        std::string name = target + ".XXXXXX";
        // mkostemp creates the file with O_EXCL: never through a name or link
        // that is already there.
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return fail(errno), WriteResult::CannotCreate;
        struct stat existing;
        int error = 0;
        if (::stat(target.c_str(), &existing) == 0) {
            if (::fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
            // Only root may give a file away; others keep their own.
            if (error == 0 && ::geteuid() == 0 &&
                ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
                error = errno;
            }
        } else if (::fchmod(fd, creationMode()) != 0) {
            error = errno;
        }
        WriteResult result = error == 0 ? WriteResult::Written : WriteResult::CannotCreate;
        if (error == 0 && (!writeAll(fd, contents) || ::fsync(fd) != 0)) {
            error = errno;
            result = WriteResult::WriteFailed;
        }
        if (::close(fd) != 0 && error == 0) {
            error = errno;
            result = WriteResult::WriteFailed;
        }
        if (error != 0) {
            ::unlink(name.c_str());
            return fail(error), result;
        }
        *temporaryPath = name;
        return WriteResult::Written;
    }

    bool replaceFile(const std::string& source, const std::string& target) override {
        if (::rename(source.c_str(), target.c_str()) != 0) return fail(errno);
        const int error = syncDirectory(directoryOf(target));
        return error == 0 ? true : fail(error);
    }

    bool isTransientReplaceError(Dword) override { return false; }

    bool removeFile(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? true : fail(errno);
    }

    void sleepMilliseconds(Dword milliseconds) override {
        struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                                static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
    }

    std::uint64_t tickMilliseconds() override {
        struct timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
               static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    }

    std::uint64_t randomSeed() override {
        std::random_device entropy;
        return (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy();
    }

private:
    ReadResult readOpenFile(int fd, std::uint64_t sizeLimit, std::string* contents) {
        struct stat info;
        if (::fstat(fd, &info) != 0) return fail(errno), ReadResult::CannotOpen;
        if (!S_ISREG(info.st_mode)) return fail(EINVAL), ReadResult::CannotOpen;
        const auto size = static_cast<std::uint64_t>(info.st_size);
        if (size > sizeLimit) return fail(EFBIG), ReadResult::TooLarge;
        contents->clear();
        contents->reserve(static_cast<std::size_t>(size));
        preferLargePages(contents->data(), contents->capacity());
        contents->resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (done < contents->size()) {
            const ssize_t got = ::read(fd, contents->data() + done, contents->size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return fail(errno), ReadResult::CannotOpen;
            if (got == 0) break;  // the file shrank while it was read
            done += static_cast<std::size_t>(got);
        }
        contents->resize(done);
        return ReadResult::Read;
    }

    static char asciiLower(char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }

    bool fail(int code) { return failWithText(code, ""); }

    // Fails with an errno value and, where the failure came with a message of
    // its own (a D-Bus error), that message as the code's text.
    bool failWithText(int code, std::string text) {
        lastError_ = static_cast<Dword>(code);
        lastErrorText_ = std::move(text);
        return false;
    }

    static constexpr const char* kLogin1 = "org.freedesktop.login1";
    static constexpr const char* kLogin1Path = "/org/freedesktop/login1";
    static constexpr const char* kLogin1Manager = "org.freedesktop.login1.Manager";

    std::vector<std::string> arguments_;
    Dword lastError_ = 0;
    std::string lastErrorText_;
};

}  // namespace

std::unique_ptr<SystemServices> makePlatformServices(int argc, char** argv) {
    return std::make_unique<LinuxServices>(argc, argv);
}

}  // namespace vorlane
