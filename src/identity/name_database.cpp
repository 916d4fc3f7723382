#include "identity/name_database.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace vorlane {

namespace {

// The index of the first CR or LF at or after from, or size. Eight bytes are
// tested at a time (a word is free of a byte b when no byte of word ^ b is
// zero), which on a large file is several times faster than one at a time.
std::size_t nextBreak(const char* text, std::size_t from, std::size_t size) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    while (from + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, text + from, sizeof word);
        const std::uint64_t lf = word ^ (kOnes * '\n');
        const std::uint64_t cr = word ^ (kOnes * '\r');
        if ((((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighs) break;
        from += 8;
    }
    while (from < size && text[from] != '\n' && text[from] != '\r') ++from;
    return from;
}

// Only a line whose first "=" stands at key.size() has a key part as long as
// key; the others are ruled out before the system's comparison is asked, which
// matters on large files.
bool keyPartMatches(SystemServices& system, std::string_view line, std::string_view key) {
    const std::size_t n = key.size();
    if (line.size() <= n || line[n] != '=') return false;
    const std::string_view keyPart = line.substr(0, n);
    // A plain loop: for a key of 8 characters, a call to memchr costs more.
    for (const char c : keyPart) {
        if (c == '=') return false;
    }
    return system.equalIgnoringCase(keyPart, key);
}

}  // namespace

void NameDatabase::parse(std::string bytes) {
    buffer_ = std::move(bytes);
    added_.clear();
    lines_.clear();
    const std::size_t size = std::min(std::string_view(buffer_).find('\0'), buffer_.size());
    text_ = std::string_view(buffer_).substr(0, size);
    bytesAfterNul_ = size + 1 < buffer_.size();
    split_ = text_.empty();
}

template <typename Visit>
bool NameDatabase::forEachLine(Visit visit) const {
    if (split_) {
        for (const std::string_view line : lines_) {
            if (visit(line)) return true;
        }
        return false;
    }
    const char* text = text_.data();
    const std::size_t size = text_.size();
    std::size_t start = 0;
    for (std::size_t i = nextBreak(text, 0, size); i < size; i = nextBreak(text, start, size)) {
        if (visit(std::string_view(text + start, i - start))) return true;
        if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') ++i;  // CR LF is one break
        start = i + 1;
    }
    // A break at the very end closes the last line; it does not open another.
    return start < size && visit(std::string_view(text + start, size - start));
}

void NameDatabase::split() const {
    if (split_) return;
    // Sized for the LF breaks, the usual ones; other breaks only make it grow.
    lines_.reserve(static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1);
    forEachLine([this](std::string_view line) {
        lines_.push_back(line);
        return false;
    });
    split_ = true;
}

std::size_t NameDatabase::lineCount() const {
    split();
    return lines_.size();
}

std::string_view NameDatabase::line(std::size_t index) const {
    split();
    return lines_[index];
}

std::string NameDatabase::serialize() const {
    std::size_t size = 0;
    forEachLine([&size](std::string_view line) {
        size += line.size() + 2;
        return false;
    });
    std::string bytes;
    bytes.reserve(size);
    forEachLine([&bytes](std::string_view line) {
        bytes.append(line);
        bytes.append("\r\n");
        return false;
    });
    return bytes;
}

std::string NameDatabase::lookup(SystemServices& system, std::string_view key) const {
    std::string value;
    forEachLine([&](std::string_view line) {
        if (!keyPartMatches(system, line, key)) return false;
        value = line.substr(key.size() + 1);
        return true;
    });
    return value;
}

void NameDatabase::store(SystemServices& system, std::string_view key, std::string_view name) {
    std::string made;
    made.reserve(key.size() + 1 + name.size());
    made.append(key).append("=").append(name);
    // A deque never moves its elements, so the views of earlier stores stay good.
    const std::string_view line = added_.emplace_back(std::move(made));
    split();
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
    return forEachLine([&](std::string_view line) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return false;
        const std::string_view value = line.substr(equals + 1);
        // Same length first, as for keys: the cheap test spares most calls.
        if (value.size() != name.size() || !system.equalIgnoringCase(value, name)) return false;
        return !keyPartMatches(system, line, key);
    });
}

}  // namespace vorlane
