#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/option_list.h"
#include "app/run_sequence.h"
#include "fake_system_services.h"

namespace vorlane::testing {

// One whole run against the fake, with these arguments; returns its exit code.
inline int run(FakeSystemServices& fake, std::vector<std::string> arguments) {
    const OptionList options(fake, std::move(arguments));
    return runSequence(fake, options);
}

// The arguments on one line, for naming a case in a failure message.
inline std::string argumentsText(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) text += argument + " ";
    return text;
}

}  // namespace vorlane::testing
