#include "os/command_line.h"

namespace vorlane {

namespace {
bool isSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    for (;;) {
        for (;;) {
            while (at < line.size() && isSeparator(line[at])) ++at;
            if (line.substr(at, 2) != "\"\"") break;
            at += 2;
        }
        if (at >= line.size()) return words;

        std::string word;
        while (at < line.size() && !isSeparator(line[at])) {
            if (line[at] == '"') {
                ++at;
                while (at < line.size() && line[at] != '"') word += line[at++];
                if (at < line.size()) ++at;
            } else {
                word += line[at++];
            }
        }
        words.push_back(std::move(word));
    }
}

}  // namespace vorlane
