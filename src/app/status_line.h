#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "os/system_services.h"

namespace vorlane {

// One line on standard error that shows the name being probed, rewritten in
// place while a search runs. It is shown only when standard error is a
// terminal; otherwise nothing at all is written there.
class StatusLine {
public:
    explicit StatusLine(SystemServices& system)
        : system_(system), enabled_(system.errorIsTerminal()) {}

    // "Probing NAME (PLACE of MOST)".
    void showProbe(const std::string& name, std::uint64_t place, std::uint64_t most);

    // Erases the line, so that the outcome line starts on a clean one.
    void clear();

private:
    void rewrite(const std::string& text);

    SystemServices& system_;
    bool enabled_;
    std::size_t shownLength_ = 0;
};

}  // namespace vorlane
