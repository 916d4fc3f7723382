#include "app/arguments.h"

#include <string>

#include "app/exit_codes.h"
#include "naming/name_pattern.h"
#include "os/console.h"

namespace vorlane {

std::optional<int> checkArgumentLengths(SystemServices& system, const OptionList& options) {
    constexpr std::size_t kShown = 40;
    const auto& entries = options.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        if (entry.size() <= kMaxArgumentLength) continue;
        writeLine(system, {"Argument ", std::to_string(i + 1), " is longer than ",
                           std::to_string(kMaxArgumentLength),
                           " characters: ", std::string_view(entry).substr(0, kShown), "..."});
        return exit_code::kArgumentTooLong;
    }
    return std::nullopt;
}

std::optional<int> checkArguments(SystemServices& system, const OptionList& options) {
    if (!options.hasFlag("/w")) return std::nullopt;
    if (options.value("name").empty()) {
        writeLine(system, {"The /w command switch needs a name= parameter"});
        return exit_code::kWriteBackWithoutName;
    }
    if (options.value("file").empty()) {
        writeLine(system, {"Can't store the name into a file without a filename"});
        return exit_code::kWriteBackWithoutFile;
    }
    return std::nullopt;
}

bool usageWanted(const OptionList& options) {
    return options.value("name").empty() && options.value("file").empty();
}

void showUsage(SystemServices& system, const OptionList& options, VolumeSerial serial) {
    if (options.count() > 0) {
        writeLine(system, {"You forgot to define name= or file= in the command, please choose "
                           "one and try again"});
    }
    const std::string program = system.programFileName();
    writeLine(system,
              {"Usage: ", program, " [start=] [end=] [name=] [file=] [/w] [/r] [/re] [/d]"});
    writeLine(system, {"start  Starting number, 0 is default"});
    writeLine(system, {"end    Ending number default is start+255"});
    writeLine(system, {"name   Computernaming, this or file must be specified"});
    writeLine(system,
              {"/w     Writes to the text file the computer name chosen plus the hdd serial "
               "number(if not found in the database) the filename is from file= parameter."});
    writeLine(system, {"/re    Reboot the computer on a successful change."});
    writeLine(system, {"/r     Generates a random number in the name. Only [end=] is the optional "
                       "parameter for this switch."});
    writeLine(system, {"/d     Uses the main harddrive serialnumber"});
    writeLine(system, {"file   Gets computername from a text file and uses harddrive serial number "
                       "to lookup the name"});
    writeLine(system, {"Number Format specifers:"});
    writeLine(system, {"?d     Decimal number"});
    writeLine(system, {"?x     Hexadecimal number"});
    writeLine(system, {"example: ", program, " start=100 end=199 name=client?d"});
    writeLine(system, {"This computer's harddrive serial number is ", formatSerialKey(serial)});
    writeLine(system, {"Max. length:", std::to_string(kMaxNameLength), " characters."});
    writeLine(system, {"Press enter to return..."});
    waitForEnter(system);
}

}  // namespace vorlane
