#pragma once

#include <optional>

#include "app/option_list.h"
#include "identity/volume_serial.h"
#include "os/system_services.h"

namespace vorlane {

// The longest argument the program takes whole. A longer one is refused
// rather than cut: a cut file= path would name another file.
inline constexpr std::size_t kMaxArgumentLength = 255;

// Refuses the run when an argument is over kMaxArgumentLength characters,
// with a line naming it; returns the exit code in that case.
std::optional<int> checkArgumentLengths(SystemServices& system, const OptionList& options);

// The two rules for /w: it needs name= (-2) and file= (-3), checked in that
// order. Returns the exit code of the first rule that fails.
std::optional<int> checkArguments(SystemServices& system, const OptionList& options);

// True when there is nothing to do: neither name= nor file= has a value.
bool usageWanted(const OptionList& options);

// Writes the reminder line (when any argument was given) and the usage screen
// with this machine's key, then waits for Enter.
void showUsage(SystemServices& system, const OptionList& options, VolumeSerial serial);

}  // namespace vorlane
