#pragma once

#include <string>

#include "os/system_services.h"

namespace vorlane {

// Enables or disables the process's shutdown privilege. True on success, and
// always on systems outside the NT family, which have no privileges.
bool setShutdownPrivilege(SystemServices& system, bool enable);

// Asks the system to restart in 10 seconds so that the new name takes effect.
// A missing privilege is reported on a "PrivilegeErr:" line and the request
// is made anyway; a refused request is told in a message box. Neither changes
// the run's exit code.
void rebootAfterChange(SystemServices& system, const std::string& name);

}  // namespace vorlane
