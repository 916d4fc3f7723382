#include "system/reboot.h"

#include "os/console.h"

namespace vorlane {

namespace {
constexpr Dword kRestartTimeoutSeconds = 10;
constexpr int kAllBitsTrue = -1;
}  // namespace

bool setShutdownPrivilege(SystemServices& system, bool enable) {
    if (!system.isNtPlatform()) return true;
    TokenHandle token = 0;
    if (!system.OpenProcessToken(&token)) return false;
    Luid luid;
    if (system.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid)) {
        const TokenPrivileges state{1, luid, enable ? kPrivilegeEnabled : 0};
        TokenPrivileges previous;
        Dword returnLength = 0;
        // Its result is not looked at: the last error code after it tells
        // whether the privilege was really assigned.
        system.AdjustTokenPrivileges(token, false, state, &previous, sizeof previous,
                                     &returnLength);
    }
    system.CloseHandle(token);
    return system.GetLastError() == 0;
}

void rebootAfterChange(SystemServices& system, const std::string& name) {
    if (!setShutdownPrivilege(system, true)) {
        const Dword code = system.GetLastError();
        writeLine(system, {"PrivilegeErr:", system.systemErrorText(code)});
    }
    const std::string message = "ComputerName was changed to " + name;
    if (!system.InitiateSystemShutdownA(nullptr, message.c_str(), kRestartTimeoutSeconds,
                                        kAllBitsTrue, kAllBitsTrue)) {
        const Dword code = system.GetLastError();
        const std::string notice = "The computer is now called " + name +
                                   "\r\nBut failed to reboot\r\n" + system.systemErrorText(code);
        system.MessageBoxA(notice.c_str(), "vorlane", kMessageBoxOkInformation);
    }
    setShutdownPrivilege(system, false);
}

}  // namespace vorlane
