#include "database_reference.h"

namespace vorlane::testing {

std::vector<std::string> linesOf(const NameDatabase& database) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < database.lineCount(); ++i) lines.emplace_back(database.line(i));
    return lines;
}

std::size_t firstLineUnder(SystemServices& system, const std::vector<std::string>& lines,
                           std::string_view key) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t equals = lines[i].find('=');
        if (equals != std::string::npos &&
            system.equalIgnoringCase(std::string_view(lines[i]).substr(0, equals), key)) {
            return i;
        }
    }
    return lines.size();
}

bool givenToAnother(SystemServices& system, const std::vector<std::string>& lines,
                    std::string_view name, std::string_view key) {
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string_view text(line);
        if (system.equalIgnoringCase(text.substr(equals + 1), name) &&
            !system.equalIgnoringCase(text.substr(0, equals), key)) {
            return true;
        }
    }
    return false;
}

std::string crLfText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace vorlane::testing
