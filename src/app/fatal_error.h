#pragma once

#include "os/raised_error.h"
#include "os/system_services.h"

namespace vorlane {

// Reports an error that no stage handles, the one way every such run ends:
//   Exception <kind> in module <program> at <site>.<LF><message>.<CR LF>
// and returns the exit code for it.
int reportFatalError(SystemServices& system, const RaisedError& error);

}  // namespace vorlane
