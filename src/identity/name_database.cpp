#include "identity/name_database.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <cstdint>
#include <cstring>
#include <utility>

namespace vorlane {

namespace {

// The index of the first CR or LF at or after from, or size. Sixteen bytes
// are tested at a time, with the compiler's vector types: a compare gives 0xFF
// in each byte that matches, and the lowest set bit marks the first. On a
// large file this is several times faster than a byte at a time.
std::size_t nextBreak(const char* text, std::size_t from, std::size_t size) {
    static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
    using Bytes = char __attribute__((vector_size(16)));
    while (from + 16 <= size) {
        Bytes block;
        std::memcpy(&block, text + from, sizeof block);
        const auto marks = (block == '\n') | (block == '\r');
        std::uint64_t halves[2];
        std::memcpy(halves, &marks, sizeof halves);
        if (halves[0] != 0) return from + static_cast<std::size_t>(std::countr_zero(halves[0])) / 8;
        if (halves[1] != 0) {
            return from + 8 + static_cast<std::size_t>(std::countr_zero(halves[1])) / 8;
        }
        from += 16;
    }
    while (from < size && text[from] != '\n' && text[from] != '\r') ++from;
    return from;
}

bool isAsciiAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Only a line whose first "=" stands at key.size() has a key part as long as
// key, and two ASCII letters or digits that differ in more than case differ in
// every locale. Lines ruled out by these tests never reach the system's
// comparison, which matters on large files: almost every line is ruled out.
bool keyPartMatches(SystemServices& system, std::string_view line, std::string_view key) {
    const std::size_t n = key.size();
    if (line.size() <= n || line[n] != '=') return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = line[i];
        if (c == '=') return false;
        if (isAsciiAlphanumeric(c) && isAsciiAlphanumeric(key[i]) &&
            asciiLower(c) != asciiLower(key[i])) {
            return false;
        }
    }
    return system.equalIgnoringCase(line.substr(0, n), key);
}

}  // namespace

void NameDatabase::parse(std::string bytes) {
    buffer_ = std::move(bytes);
    added_.clear();
    lines_.clear();
    pendingSystem_ = nullptr;
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
    // The lines of the buffer, with the line store made in place of the
    // first one with its key, or after the last.
    bool stored = pendingSystem_ == nullptr;
    const auto visitChanged = [&](std::string_view line) {
        if (stored || !keyPartMatches(*pendingSystem_, line, pendingKey_)) return visit(line);
        stored = true;
        return visit(pendingLine_);
    };
    const char* text = text_.data();
    const std::size_t size = text_.size();
    std::size_t start = 0;
    for (std::size_t i = nextBreak(text, 0, size); i < size; i = nextBreak(text, start, size)) {
        if (visitChanged(std::string_view(text + start, i - start))) return true;
        if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') ++i;  // CR LF is one break
        start = i + 1;
    }
    // A break at the very end closes the last line; it does not open another.
    if (start < size && visitChanged(std::string_view(text + start, size - start))) return true;
    return !stored && visit(pendingLine_);
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
    pendingSystem_ = nullptr;
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
    // Room for the text as read, the lines store made, and CR LF breaks in
    // place of one-byte ones on a tenth of the lines; a file of mostly LF
    // breaks makes the string grow, which costs time but changes nothing else.
    std::size_t size = text_.size() + text_.size() / 10 + 2;
    for (const std::string& line : added_) size += line.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    // Lines that stand in the buffer one after another, each followed by
    // CR LF, are copied as one stretch: a file already written by this
    // program is copied in a few large pieces instead of a million small ones.
    const char* const bufferBegin = text_.data();
    const char* const bufferEnd = text_.data() + text_.size();
    const auto inBuffer = [&](const char* at) {
        return std::less_equal<const char*>()(bufferBegin, at) &&
               std::less<const char*>()(at, bufferEnd);
    };
    const char* stretch = nullptr;
    const char* stretchEnd = nullptr;
    forEachLine([&](std::string_view line) {
        const char* end = line.data() + line.size();
        const bool followedByCrLf = inBuffer(line.data()) && bufferEnd - end >= 2 &&
                                    end[0] == '\r' && end[1] == '\n';
        if (followedByCrLf && line.data() == stretchEnd) {
            stretchEnd = end + 2;
            return false;
        }
        if (stretch != nullptr) bytes.append(stretch, stretchEnd);
        stretch = nullptr;
        stretchEnd = nullptr;
        if (followedByCrLf) {
            stretch = line.data();
            stretchEnd = end + 2;
        } else {
            bytes.append(line);
            bytes.append("\r\n");
        }
        return false;
    });
    if (stretch != nullptr) bytes.append(stretch, stretchEnd);
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
    if (!split_ && added_.size() == 1) {
        // The first change of the lines as read needs no views of them, nor a
        // pass of its own: it is kept beside the buffer and made wherever the
        // lines are read, so that storing and then writing reads them once.
        pendingSystem_ = &system;
        pendingLine_ = line;
        pendingKey_ = line.substr(0, key.size());
        return;
    }
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
        // A value as long as name has its line's first "=" right before it,
        // which rules out most lines before anything is searched.
        if (line.size() <= name.size()) return false;
        const std::size_t equals = line.size() - name.size() - 1;
        if (line[equals] != '=' || line.substr(0, equals).find('=') != std::string_view::npos) {
            return false;
        }
        if (!system.equalIgnoringCase(line.substr(equals + 1), name)) return false;
        return !keyPartMatches(system, line, key);
    });
}

}  // namespace vorlane
