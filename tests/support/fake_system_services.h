#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "os/system_services.h"

namespace vorlane::testing {

// An in-memory stand-in for the operating system. Tests set its plain state,
// run the logic, then read the state, the console output and the call log.
//
// Every operation that stands for a system call appends one entry to
// `calls`, in order, e.g. "SetComputerNameA(pc5)". The console, text and
// seed operations are not logged. `failAlways` makes a named call
// fail with a chosen last error code.
class FakeSystemServices : public SystemServices {
public:
    // Machine state.
    std::string windowsDirectory = "C:\\WINDOWS";
    Dword volumeSerial = 0;
    std::string computerName = "OLDNAME";
    std::set<std::string> hostsThatAnswer;  // names a lookup finds
    bool everyHostAnswers = false;          // a lookup finds every name
    Dword lastError = 0;
    bool ntPlatform = true;
    bool holdsShutdownPrivilege = true;
    bool networkStarted = false;
    std::map<Dword, std::string> errorTexts = {
        {5, "Access is denied"},
        {87, "The parameter is incorrect"},
        {1300, "Not all privileges or groups referenced are assigned to the caller"},
    };
    std::set<unsigned char> leadBytes;
    std::uint64_t seed = 12345;

    // Files, by path. A directory is an entry with `directory` set; an entry
    // with `regular` unset is present but no regular file (a FIFO, a device).
    struct File {
        std::string bytes;
        bool directory = false;
        bool regular = true;
        // When not 0, the size readWholeFile holds against its limit in place
        // of bytes.size(): a file too large to hold in a test.
        std::uint64_t apparentSize = 0;
    };
    std::map<std::string, File> files;
    std::set<std::string> locksHeldElsewhere;  // lock files another process holds
    bool diskFull = false;                     // writes of new files fail
    int replaceBusyTimes = 0;                  // replaces that fail for a moment first
    std::uint64_t clock = 0;                   // milliseconds; moved by sleepMilliseconds

    // Process and console.
    std::vector<std::string> arguments;
    std::string programName = "vorlane.exe";
    std::string input;
    std::string output;
    bool errorTerminal = false;
    std::string errorOutput;
    // What of `input` has not been read yet.
    std::string unreadInput() const { return input.substr(inputPosition_); }

    // Log and failure switch.
    std::vector<std::string> calls;
    void failAlways(const std::string& call, Dword code) { failures_[call] = code; }

    // Requests the fake received, for the restart tests.
    std::vector<std::string> shutdownMessages;
    std::vector<std::string> messageBoxes;

    // The log entries whose call name is `call`.
    std::vector<std::string> callsNamed(const std::string& call) const;

    Dword GetWindowsDirectoryA(char* buffer, Dword size) override;
    bool GetVolumeInformationA(const char* rootPath, Dword* serialNumber,
                               Dword* maximumComponentLength, Dword* fileSystemFlags) override;
    bool SetComputerNameA(const char* name) override;
    void SetLastError(Dword code) override;
    Dword GetLastError() override;
    std::string systemErrorText(Dword code) override;
    bool isNtPlatform() override;
    bool OpenProcessToken(TokenHandle* token) override;
    bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
    bool AdjustTokenPrivileges(TokenHandle token, bool disableAll, const TokenPrivileges& newState,
                               TokenPrivileges* previousState, Dword bufferLength,
                               Dword* returnLength) override;
    bool CloseHandle(TokenHandle handle) override;
    bool InitiateSystemShutdownA(const char* machineName, const char* message, Dword timeoutSeconds,
                                 int forceAppsClosed, int rebootAfterShutdown) override;
    int MessageBoxA(const char* text, const char* caption, unsigned type) override;
    int WSAStartup(std::uint16_t versionRequested) override;
    int WSACleanup() override;
    bool gethostbyname(const char* name) override;

    std::vector<std::string> commandLineArguments() override { return arguments; }
    std::string programFileName() override { return programName; }
    void writeOutput(std::string_view bytes) override { output.append(bytes); }
    bool errorIsTerminal() override { return errorTerminal; }
    void writeErrorOutput(std::string_view bytes) override { errorOutput.append(bytes); }
    int readInputByte() override;
    bool equalIgnoringCase(std::string_view a, std::string_view b) override;
    bool isLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
    std::uint64_t randomSeed() override { return seed; }

    EntryKind findEntry(const std::string& path) override;
    ReadResult readWholeFile(const std::string& path, std::uint64_t sizeLimit,
                             std::string* contents) override;
    bool fileHolds(const std::string& path, TextPieces pieces) override;
    LockResult tryLockFile(const std::string& lockPath, FileLock* lock) override;
    void unlockFile(FileLock lock) override;
    WriteResult writeFileBeside(const std::string& target, TextPieces contents,
                                std::string* temporaryPath) override;
    bool replaceFile(const std::string& source, const std::string& target) override;
    bool isTransientReplaceError(Dword code) override { return code == kSharingViolation; }
    bool removeFile(const std::string& path) override;
    void sleepMilliseconds(Dword milliseconds) override;
    std::uint64_t tickMilliseconds() override { return clock; }

    static constexpr Dword kFileNotFound = 2;
    static constexpr Dword kSharingViolation = 32;
    static constexpr Dword kLockViolation = 33;
    static constexpr Dword kDiskFull = 112;

private:
    // Logs the call and, when it was told to fail, sets the last error.
    bool enter(const std::string& call, const std::string& details);

    std::map<std::string, Dword> failures_;
    std::map<FileLock, std::string> heldLocks_;
    FileLock nextLock_ = 1;
    int temporaryCount_ = 0;
    std::size_t inputPosition_ = 0;
};

}  // namespace vorlane::testing
