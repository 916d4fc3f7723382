#pragma once

#include <string>

#include "os/system_services.h"

namespace vorlane {

struct ApplyOutcome {
    bool changed = false;
    Dword errorCode = 0;  // the system's code when the change was refused
};

// The one place the computer name is changed. Hands the name to the system
// unchanged and writes one line: "My name is <name>" on success, the system's
// error text alone on failure. The last error code is not cleared here.
ApplyOutcome applyName(SystemServices& system, const std::string& name);

}  // namespace vorlane
