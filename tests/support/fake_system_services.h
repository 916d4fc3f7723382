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
// seed operations are not logged. `failNext`/`failAlways` make a named call
// fail with a chosen last error code.
class FakeSystemServices : public SystemServices {
public:
    // Machine state.
    std::string windowsDirectory = "C:\\WINDOWS";
    Dword volumeSerial = 0;
    std::string computerName = "OLDNAME";
    std::set<std::string> hostsThatAnswer;  // names a lookup finds
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

    // Process and console.
    std::vector<std::string> arguments;
    std::string programName = "vorlane.exe";
    std::string input;
    std::string output;

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
    bool InitiateSystemShutdownA(const char* machineName, const char* message,
                                 Dword timeoutSeconds, int forceAppsClosed,
                                 int rebootAfterShutdown) override;
    int MessageBoxA(const char* text, const char* caption, unsigned type) override;
    int WSAStartup(std::uint16_t versionRequested) override;
    int WSACleanup() override;
    bool gethostbyname(const char* name) override;

    std::vector<std::string> commandLineArguments() override { return arguments; }
    std::string programFileName() override { return programName; }
    void writeOutput(std::string_view bytes) override { output.append(bytes); }
    int readInputByte() override;
    bool equalIgnoringCase(std::string_view a, std::string_view b) override;
    bool isLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
    std::uint64_t randomSeed() override { return seed; }

private:
    // Logs the call and, when it was told to fail, sets the last error.
    bool enter(const std::string& call, const std::string& details);

    std::map<std::string, Dword> failures_;
    std::size_t inputPosition_ = 0;
};

}  // namespace vorlane::testing
