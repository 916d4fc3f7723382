#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/text_pieces.h"

namespace vorlane {

using Dword = std::uint32_t;

// An opaque handle to a process token. 0 is no handle.
using TokenHandle = std::uintptr_t;

// A locally unique identifier, as the system hands out for a privilege.
struct Luid {
    Dword lowPart = 0;
    std::int32_t highPart = 0;
};

inline constexpr Dword kPrivilegeEnabled = 2;  // SE_PRIVILEGE_ENABLED

// A privilege record with exactly one entry.
struct TokenPrivileges {
    Dword privilegeCount = 0;
    Luid luid;
    Dword attributes = 0;
};

inline constexpr Dword kWindowsDirectorySize = 261;  // MAX_PATH + 1
inline constexpr std::uint16_t kWinSockVersion11 = 0x0101;
inline constexpr unsigned kMessageBoxOkInformation = 0x40;  // MB_OK | MB_ICONINFORMATION

// What a path names, for the database's presence test.
enum class EntryKind { Missing, Directory, Present };

enum class ReadResult { Read, CannotOpen, TooLarge };

enum class LockResult { Taken, Busy, Failed };

enum class WriteResult { Written, CannotCreate, WriteFailed };

// A held file lock. 0 is none.
using FileLock = std::uintptr_t;

// Everything the program asks of the operating system. Each operation of the
// first group carries the name of the Windows call it stands for and takes the
// same arguments; the Windows implementation forwards to that call, the Linux
// one does the nearest equivalent, and the tests use an in-memory fake.
// Results follow the Windows convention: false or 0 means failure, and the
// reason is then read with GetLastError.
class SystemServices {
public:
    virtual ~SystemServices() = default;

    // --- Machine identity -------------------------------------------------

    // Fills buffer (of size characters) with the system directory's path and
    // returns its length, or 0 on failure.
    virtual Dword GetWindowsDirectoryA(char* buffer, Dword size) = 0;

    // Asks for the volume at rootPath ("C:\\") without name buffers. Only the
    // serial number matters to the program; the out-values are left alone on
    // failure.
    virtual bool GetVolumeInformationA(const char* rootPath, Dword* serialNumber,
                                       Dword* maximumComponentLength, Dword* fileSystemFlags) = 0;

    // --- Computer name and errors -----------------------------------------

    virtual bool SetComputerNameA(const char* name) = 0;
    virtual void SetLastError(Dword code) = 0;
    virtual Dword GetLastError() = 0;

    // The system's message for code with trailing control characters,
    // blanks and full stops removed; empty when the system has none.
    virtual std::string systemErrorText(Dword code) = 0;

    // True on the NT family of Windows; read once when the services start.
    virtual bool isNtPlatform() = 0;

    // --- Restart ----------------------------------------------------------

    // Opens the current process's token for adjusting and querying privileges.
    virtual bool OpenProcessToken(TokenHandle* token) = 0;
    virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) = 0;
    virtual bool AdjustTokenPrivileges(TokenHandle token, bool disableAll,
                                       const TokenPrivileges& newState,
                                       TokenPrivileges* previousState, Dword bufferLength,
                                       Dword* returnLength) = 0;
    virtual bool CloseHandle(TokenHandle handle) = 0;
    // forceAppsClosed and rebootAfterShutdown are the system's BOOL values,
    // passed through as given.
    virtual bool InitiateSystemShutdownA(const char* machineName, const char* message,
                                         Dword timeoutSeconds, int forceAppsClosed,
                                         int rebootAfterShutdown) = 0;
    // No owner window. Returns when the operator closes the box.
    virtual int MessageBoxA(const char* text, const char* caption, unsigned type) = 0;

    // --- Network ----------------------------------------------------------

    virtual int WSAStartup(std::uint16_t versionRequested) = 0;
    virtual int WSACleanup() = 0;
    // True when a host-name lookup of name returns a host entry.
    virtual bool gethostbyname(const char* name) = 0;

    // --- Process, console and text -----------------------------------------

    // The command-line arguments after the program's own path, as received.
    virtual std::vector<std::string> commandLineArguments() = 0;

    // The last component of the running program's full path.
    virtual std::string programFileName() = 0;

    // Writes bytes to standard output unchanged (no line-end translation).
    virtual void writeOutput(std::string_view bytes) = 0;

    // True when standard error is a terminal (a console window on Windows).
    virtual bool errorIsTerminal() = 0;

    // Writes bytes to standard error unchanged.
    virtual void writeErrorOutput(std::string_view bytes) = 0;

    // Reads one byte of standard input; returns -1 at the end of input.
    virtual int readInputByte() = 0;

    // Case-blind equality in the user's default locale, compared whole.
    virtual bool equalIgnoringCase(std::string_view a, std::string_view b) = 0;

    // True when byte begins a double-byte character in the system's ANSI code
    // page; always false where there is no double-byte code page.
    virtual bool isLeadByte(unsigned char byte) = 0;

    // --- Name database files -----------------------------------------------
    // On failure these set the last error code.

    // Whether path names an entry (FindFirstFileA; stat on Linux) and whether
    // that entry is a directory.
    virtual EntryKind findEntry(const std::string& path) = 0;

    // Reads a whole regular file, opened so that others may read it at the
    // same time but not write it. Anything that is not a regular file (a
    // FIFO, a device) cannot be opened; a file over sizeLimit bytes is not
    // read.
    virtual ReadResult readWholeFile(const std::string& path, std::uint64_t sizeLimit,
                                     std::string* contents) = 0;

    // True when the regular file at path holds exactly the text of pieces.
    // It is read a part at a time, so checking a large file costs no second
    // copy of it.
    virtual bool fileHolds(const std::string& path, TextPieces pieces) = 0;

    // Tries once to take the exclusive lock on byte 0 of lockPath, creating
    // the file if need be. Every writer of a database honours this lock, on
    // any machine that shares the file; the system releases it when the
    // holder dies.
    virtual LockResult tryLockFile(const std::string& lockPath, FileLock* lock) = 0;
    virtual void unlockFile(FileLock lock) = 0;

    // Creates a new file in target's directory, never through an existing
    // name or link, with target's permission bits (and owner, where allowed),
    // writes the pieces one after another, flushes the file to the disk and
    // closes it. Its path goes to *temporaryPath; on failure nothing is left
    // behind.
    virtual WriteResult writeFileBeside(const std::string& target, TextPieces contents,
                                        std::string* temporaryPath) = 0;

    // Puts source in place of target in one atomic step that reaches the disk.
    virtual bool replaceFile(const std::string& source, const std::string& target) = 0;

    // True when a replace failed only because another program has the target
    // open for a moment, so that trying again may succeed.
    virtual bool isTransientReplaceError(Dword code) = 0;

    virtual bool removeFile(const std::string& path) = 0;

    virtual void sleepMilliseconds(Dword milliseconds) = 0;

    // A clock that only moves forward, in milliseconds.
    virtual std::uint64_t tickMilliseconds() = 0;

    // --- Seeding -------------------------------------------------------------

    // A seed for the run's random generator, from the system's entropy source
    // or its clock.
    virtual std::uint64_t randomSeed() = 0;
};

// The implementation for the platform the program is built for.
std::unique_ptr<SystemServices> makePlatformServices(int argc, char** argv);

}  // namespace vorlane
