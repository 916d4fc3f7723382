#include "identity/name_database.h"

#include <algorithm>
#include <utility>

namespace vorlane {

namespace {

// Calls onLine(begin, end) for every line of text[0, size). Shared by the
// counting pass and the collecting pass so the two can never disagree.
template <typename OnLine>
void forEachLine(const char* text, std::size_t size, OnLine onLine) {
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < size) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        onLine(start, i);
        i += (c == '\r' && i + 1 < size && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    // A break at the very end closes the last line; it does not open another.
    if (start < size) onLine(start, size);
}

// Only a line whose first "=" stands at key.size() has a key part as long as
// key; the others are ruled out before the system's comparison is asked, which
// matters on large files.
bool keyPartMatches(SystemServices& system, std::string_view line, std::string_view key) {
    const std::size_t n = key.size();
    if (line.size() <= n || line[n] != '=') return false;
    const std::string_view keyPart = line.substr(0, n);
    return keyPart.find('=') == std::string_view::npos && system.equalIgnoringCase(keyPart, key);
}

}  // namespace

void NameDatabase::parse(std::string bytes) {
    buffer_ = std::move(bytes);
    added_.clear();
    lines_.clear();

    const char* text = buffer_.data();
    const std::size_t size = std::min(std::string_view(buffer_).find('\0'), buffer_.size());
    bytesAfterNul_ = size + 1 < buffer_.size();

    // Counting first keeps a large file to one allocation for the views,
    // where growing the vector would copy them over and over.
    std::size_t count = 0;
    forEachLine(text, size, [&count](std::size_t, std::size_t) { ++count; });
    lines_.reserve(count);
    forEachLine(text, size, [this, text](std::size_t begin, std::size_t end) {
        lines_.emplace_back(text + begin, end - begin);
    });
}

std::string NameDatabase::serialize() const {
    std::size_t size = 0;
    for (const std::string_view line : lines_) size += line.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const std::string_view line : lines_) {
        bytes.append(line);
        bytes.append("\r\n");
    }
    return bytes;
}

std::string NameDatabase::lookup(SystemServices& system, std::string_view key) const {
    for (const std::string_view line : lines_) {
        if (keyPartMatches(system, line, key)) return std::string(line.substr(key.size() + 1));
    }
    return {};
}

void NameDatabase::store(SystemServices& system, std::string_view key, std::string_view name) {
    std::string made;
    made.reserve(key.size() + 1 + name.size());
    made.append(key).append("=").append(name);
    // A deque never moves its elements, so the views of earlier stores stay good.
    const std::string_view line = added_.emplace_back(std::move(made));
    for (std::string_view& existing : lines_) {
        if (keyPartMatches(system, existing, key)) {
            existing = line;
            return;
        }
    }
    lines_.push_back(line);
}

bool NameDatabase::givesNameToAnotherKey(SystemServices& system, std::string_view name,
                                         std::string_view key) const {
    if (name.empty()) return false;
    for (const std::string_view line : lines_) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view value = line.substr(equals + 1);
        // Same length first, as for keys: the cheap test spares most calls.
        if (value.size() != name.size() || !system.equalIgnoringCase(value, name)) continue;
        if (keyPartMatches(system, line, key)) continue;
        return true;
    }
    return false;
}

}  // namespace vorlane
