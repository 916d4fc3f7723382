#include "app/option_list.h"

namespace vorlane {

std::string OptionList::value(std::string_view key) const {
    for (const std::string& entry : entries_) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos) continue;
        if (system_.equalIgnoringCase(std::string_view(entry).substr(0, equals), key)) {
            return entry.substr(equals + 1);
        }
    }
    return {};
}

bool OptionList::hasFlag(std::string_view flag) const {
    for (const std::string& entry : entries_) {
        if (system_.equalIgnoringCase(entry, flag)) return true;
    }
    return false;
}

}  // namespace vorlane
