#pragma once

#include <cstdint>
#include <string>

#include "os/system_services.h"

namespace vorlane {

// The serial number of the volume that holds the system directory: the
// machine's identity. 0 when the query failed.
using VolumeSerial = std::uint32_t;

// Asks the system for the serial number; returns 0 when either query fails.
VolumeSerial readVolumeSerial(SystemServices& system);

// The serial as exactly 8 uppercase hexadecimal digits: the machine's key.
std::string formatSerialKey(VolumeSerial serial);

}  // namespace vorlane
