#include "identity/volume_serial.h"

namespace vorlane {

VolumeSerial readVolumeSerial(SystemServices& system) {
    char directory[kWindowsDirectorySize] = {};
    // A failed fetch counts as a failed query: an empty root path would ask
    // about the current directory's volume instead.
    const Dword length = system.GetWindowsDirectoryA(directory, kWindowsDirectorySize);
    if (length == 0 || length >= kWindowsDirectorySize) return 0;
    const char root[] = {directory[0], ':', '\\', '\0'};
    Dword serial = 0;
    Dword maximumComponentLength = 0;
    Dword fileSystemFlags = 0;
    if (!system.GetVolumeInformationA(root, &serial, &maximumComponentLength, &fileSystemFlags)) {
        return 0;
    }
    return serial;
}

std::string formatSerialKey(VolumeSerial serial) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string key(8, '0');
    for (int i = 7; i >= 0; --i) {
        key[static_cast<std::size_t>(i)] = kDigits[serial & 0xF];
        serial >>= 4;
    }
    return key;
}

}  // namespace vorlane
