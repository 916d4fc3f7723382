#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/option_list.h"
#include "identity/name_database.h"
#include "identity/volume_serial.h"
#include "naming/number_reading.h"
#include "os/system_services.h"

namespace vorlane {

// The state of one run, created by runSequence and dropped with it.
struct RunContext {
    int exitCode = 0;
    bool writeBack = false;  // /w
    bool preview = false;    // /n: do everything but the change
    VolumeSerial serial = 0;
    std::optional<NameDatabase> database;  // with file=, from the database point on
    std::string databasePath;
    RandomEngine random;
};

// One straight pass from the options to the exit code. Errors that no stage
// handles end the run through the fatal-error report.
int runSequence(SystemServices& system, const OptionList& options);

}  // namespace vorlane
