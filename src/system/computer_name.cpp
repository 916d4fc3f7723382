#include "system/computer_name.h"

#include "os/console.h"

namespace vorlane {

ApplyOutcome applyName(SystemServices& system, const std::string& name) {
    if (system.SetComputerNameA(name.c_str())) {
        writeLine(system, {"My name is ", name});
        return {true, 0};
    }
    const Dword code = system.GetLastError();
    writeLine(system, {system.systemErrorText(code)});
    return {false, code};
}

}  // namespace vorlane
