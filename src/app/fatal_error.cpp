#include "app/fatal_error.h"

#include <cstdio>
#include <string>

#include "app/exit_codes.h"
#include "os/console.h"

namespace vorlane {

int reportFatalError(SystemServices& system, const RaisedError& error) {
    char site[9];
    std::snprintf(site, sizeof site, "%08X", static_cast<unsigned>(error.siteId()));
    std::string message = error.what();
    if (message.empty() || message.back() != '.') message += '.';
    writeLine(system, {"Exception ", errorKindName(error.kind()), " in module ",
                       system.programFileName(), " at ", site, ".\n", message});
    return exit_code::kUnhandledError;
}

}  // namespace vorlane
