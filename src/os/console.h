#pragma once

#include <initializer_list>
#include <string_view>

#include "os/system_services.h"

namespace vorlane {

// Writes the pieces to standard output as bytes, then CR LF.
void writeLine(SystemServices& system, std::initializer_list<std::string_view> pieces);

// Reads standard input up to and including the next line end, or until the
// input ends, and discards it. A CR ends the line (with the LF after it, if
// one follows); so does a lone LF, which is what a Linux terminal sends.
void waitForEnter(SystemServices& system);

}  // namespace vorlane
