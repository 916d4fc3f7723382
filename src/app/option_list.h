#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "os/system_services.h"

namespace vorlane {

// The command-line arguments after the program's own path, in order and
// exactly as received. Keys and flags are compared whole and case-blind by
// the system's comparison for the user's locale.
class OptionList {
public:
    OptionList(SystemServices& system, std::vector<std::string> entries)
        : system_(system), entries_(std::move(entries)) {}

    // The text after the first "=" of the first entry whose text before its
    // first "=" equals key; empty when none does. The first match wins even
    // when its value is empty, so "name=" hides a later "name=pc?d".
    std::string value(std::string_view key) const;

    // True when some entry, compared whole, equals flag: "/re" is not "/r".
    bool hasFlag(std::string_view flag) const;

    std::size_t count() const { return entries_.size(); }
    const std::vector<std::string>& entries() const { return entries_; }

private:
    SystemServices& system_;
    std::vector<std::string> entries_;
};

}  // namespace vorlane
