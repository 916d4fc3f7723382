#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

// Splits a Windows process command line into its words, the program's own
// path first. Blanks and control characters (bytes up to 0x20) separate
// words; a double quote opens a stretch, closed by the next double quote or
// the end of the line, that may hold blanks; the quotes themselves are
// dropped; a pair of double quotes at the very start of a word is skipped
// like blank space, so an empty quoted argument never becomes a word.
// Backslashes have no special meaning.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

}  // namespace vorlane
