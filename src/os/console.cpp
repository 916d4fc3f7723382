#include "os/console.h"

#include <string>

namespace vorlane {

void writeLine(SystemServices& system, std::initializer_list<std::string_view> pieces) {
    std::string line;
    for (std::string_view piece : pieces) line.append(piece);
    line.append("\r\n");
    system.writeOutput(line);
}

void waitForEnter(SystemServices& system) {
    for (;;) {
        const int byte = system.readInputByte();
        if (byte < 0 || byte == '\n') return;
        if (byte == '\r') {
            // The LF of a CR LF belongs to this line; anything else is left
            // unread only in principle, since the process ends right after.
            system.readInputByte();
            return;
        }
    }
}

}  // namespace vorlane
