#include "app/status_line.h"

namespace vorlane {

void StatusLine::showProbe(const std::string& name, std::uint64_t place, std::uint64_t most) {
    if (!enabled_) return;
    rewrite("Probing " + name + " (" + std::to_string(place) + " of " + std::to_string(most) + ")");
}

void StatusLine::clear() {
    if (!enabled_ || shownLength_ == 0) return;
    std::string blank(shownLength_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    system_.writeErrorOutput(blank);
    shownLength_ = 0;
}

// Blanks pad the text over what is left of a longer line before it: no
// terminal control sequences are needed, so any console shows it right.
void StatusLine::rewrite(const std::string& text) {
    std::string line(1, '\r');
    line.append(text);
    if (text.size() < shownLength_) line.append(shownLength_ - text.size(), ' ');
    system_.writeErrorOutput(line);
    shownLength_ = text.size() > shownLength_ ? text.size() : shownLength_;
}

}  // namespace vorlane
