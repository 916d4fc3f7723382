#include "identity/name_database.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
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

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return isAscii(c); });
}

// Only a line whose first "=" stands at key.size() has a key part as long as
// key, and two ASCII letters or digits that differ in more than case differ in
// every locale. Lines ruled out by these tests never reach the system's
// comparison, which matters on large files: almost every line is ruled out.
// Past a byte from 0x80 up the letter test stops: a byte there may be the
// second of a double-byte character.
bool keyPartMatches(SystemServices& system, std::string_view line, std::string_view key) {
    const std::size_t n = key.size();
    if (line.size() <= n || line[n] != '=') return false;
    bool ascii = true;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = line[i];
        if (c == '=') return false;
        ascii = ascii && isAscii(c) && isAscii(key[i]);
        if (ascii && isAsciiAlphanumeric(c) && isAsciiAlphanumeric(key[i]) &&
            asciiLower(c) != asciiLower(key[i])) {
            return false;
        }
    }
    return system.equalIgnoringCase(line.substr(0, n), key);
}

bool isBreak(char c) {
    return c == '\r' || c == '\n';
}

// A test of the byte at a fixed distance after a place in the text. It passes
// when the byte is one of two values or, with orHigh, any byte from 0x80 up.
struct ByteTest {
    std::size_t distance;
    char one;
    char other;
    bool orHigh;
};

// The test that lets through what a case-blind comparison with c may call
// equal: c in either case, or any byte a code page may fold into it.
ByteTest eitherCase(std::size_t distance, char c) {
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return {distance, asciiLower(c), upper, true};
}

// Calls visit(place) in order for every place in text where every test
// passes, until visit returns true; returns whether it did. A byte past the
// end of the text passes every test: the tests only rule places out cheaply,
// and visit decides. Sixteen places are tested at a time, with the
// compiler's vector types.
template <std::size_t N, typename Visit>
bool forEachPlaceWhere(std::string_view text, const std::array<ByteTest, N>& tests, Visit visit) {
    using Bytes = signed char __attribute__((vector_size(16)));
    struct VectorTest {
        std::size_t distance;
        Bytes one;
        Bytes other;
        Bytes high;  // all ones where a byte from 0x80 up passes
    };
    std::array<VectorTest, N> vectorTests;
    std::size_t reach = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const ByteTest& test = tests[i];
        const auto all = [](char c) { return Bytes{} + static_cast<signed char>(c); };
        vectorTests[i] = {test.distance, all(test.one), all(test.other),
                          test.orHigh ? ~Bytes{} : Bytes{}};
        reach = std::max(reach, test.distance);
    }
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t place = 0;
    for (; place + reach + 16 <= size; place += 16) {
        Bytes passed = ~Bytes{};
        for (const VectorTest& test : vectorTests) {
            Bytes block;
            std::memcpy(&block, data + place + test.distance, sizeof block);
            passed &= (block == test.one) | (block == test.other) | ((block < 0) & test.high);
        }
        std::uint64_t halves[2];
        std::memcpy(halves, &passed, sizeof halves);
        if ((halves[0] | halves[1]) == 0) continue;
        for (std::size_t half = 0; half < 2; ++half) {
            // One bit a byte; the lowest is the first place.
            for (std::uint64_t marks = halves[half] & 0x0101010101010101u; marks != 0;
                 marks &= marks - 1) {
                const std::size_t at =
                    half * 8 + static_cast<std::size_t>(std::countr_zero(marks)) / 8;
                if (visit(place + at)) return true;
            }
        }
    }
    for (; place < size; ++place) {
        const bool passes = std::all_of(tests.begin(), tests.end(), [&](const ByteTest& test) {
            const std::size_t at = place + test.distance;
            if (at >= size) return true;
            const char c = data[at];
            return c == test.one || c == test.other || (test.orHigh && !isAscii(c));
        });
        if (passes && visit(place)) return true;
    }
    return false;
}

// The first line of text whose key part matches key; a view with no data
// when there is none. Such a line starts with key's first letter or digit
// and has its last one in place, in either case; where key has none there,
// the "=" after the key part is tested instead.
std::string_view firstLineWithKey(SystemServices& system, std::string_view text,
                                  std::string_view key) {
    const ByteTest equals{key.size(), '=', '=', false};
    std::array<ByteTest, 2> tests{equals, equals};
    if (!key.empty() && isAscii(key)) {
        if (isAsciiAlphanumeric(key.front())) tests[0] = eitherCase(0, key.front());
        if (isAsciiAlphanumeric(key.back())) tests[1] = eitherCase(key.size() - 1, key.back());
    }
    std::string_view found;
    forEachPlaceWhere(text, tests, [&](std::size_t place) {
        if (place != 0 && !isBreak(text[place - 1])) return false;
        const std::string_view line =
            text.substr(place, nextBreak(text.data(), place, text.size()) - place);
        if (!keyPartMatches(system, line, key)) return false;
        found = line;
        return true;
    });
    return found;
}

// Whether some line of text whose key part does not match key has name as
// its value. The places tested are those of the "=" before such a value: it
// is followed by name's first letter or digit, and name's last one stands
// in place, in either case; where name has none there, the "=" itself and
// the break after the value are tested instead.
bool textGivesNameToAnotherKey(SystemServices& system, std::string_view text, std::string_view name,
                               std::string_view key) {
    const std::size_t n = name.size();
    std::array<ByteTest, 2> tests{ByteTest{0, '=', '=', false}, ByteTest{n + 1, '\r', '\n', false}};
    if (isAscii(name)) {
        if (isAsciiAlphanumeric(name.front())) tests[0] = eitherCase(1, name.front());
        if (isAsciiAlphanumeric(name.back())) tests[1] = eitherCase(n, name.back());
    }
    return forEachPlaceWhere(text, tests, [&](std::size_t at) {
        const std::size_t end = at + 1 + n;
        if (text[at] != '=') return false;
        if (end > text.size() || (end < text.size() && !isBreak(text[end]))) return false;
        std::size_t start = at;
        while (start > 0 && !isBreak(text[start - 1])) --start;
        // The value begins after the line's first "=".
        if (text.substr(start, at - start).find('=') != std::string_view::npos) return false;
        if (!system.equalIgnoringCase(text.substr(at + 1, n), name)) return false;
        return !keyPartMatches(system, text.substr(start, end - start), key);
    });
}

// True when every break in text is CR LF and the text is empty or ends with
// one: written back, such a text is unchanged byte for byte. Sixteen pairs of
// neighbouring bytes are tested at a time: a CR must come right before an LF,
// and an LF right after a CR.
bool breaksAreCrLf(std::string_view text) {
    const std::size_t size = text.size();
    if (size == 0) return true;
    if (size < 2 || text[size - 2] != '\r' || text[size - 1] != '\n' || text[0] == '\n') {
        return false;
    }
    using Bytes = char __attribute__((vector_size(16)));
    std::size_t at = 0;
    for (; at + 17 <= size; at += 16) {
        Bytes here;
        Bytes next;
        std::memcpy(&here, text.data() + at, sizeof here);
        std::memcpy(&next, text.data() + at + 1, sizeof next);
        const auto mismatched = (here == '\r') != (next == '\n');
        std::uint64_t halves[2];
        std::memcpy(halves, &mismatched, sizeof halves);
        if ((halves[0] | halves[1]) != 0) return false;
    }
    for (; at + 1 < size; ++at) {
        if ((text[at] == '\r') != (text[at + 1] == '\n')) return false;
    }
    return true;
}

}  // namespace

void NameDatabase::parse(std::string bytes) {
    buffer_ = std::move(bytes);
    added_.clear();
    lines_.clear();
    pendingSystem_ = nullptr;
    searched_ = false;
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

std::vector<std::string_view> NameDatabase::serializedPieces() const {
    static constexpr std::string_view kCrLf = "\r\n";
    // A text whose breaks are all CR LF is written as it stands, with the
    // one line a first store made put in: no line is looked at but that one.
    if (added_.size() <= 1 && breaksAreCrLf(text_)) {
        if (added_.empty()) return {text_};
        if (pendingSystem_ != nullptr) {
            const std::string_view old = bufferLineWith(*pendingSystem_, pendingKey_);
            if (old.data() == nullptr) return {text_, pendingLine_, kCrLf};
            const std::size_t start = static_cast<std::size_t>(old.data() - text_.data());
            return {text_.substr(0, start), pendingLine_, text_.substr(start + old.size())};
        }
    }
    normalized_ = normalize();
    return {normalized_};
}

std::string NameDatabase::serialize() const {
    std::string bytes;
    for (const std::string_view piece : serializedPieces()) bytes.append(piece);
    return bytes;
}

std::string NameDatabase::normalize() const {
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
        const bool followedByCrLf =
            inBuffer(line.data()) && bufferEnd - end >= 2 && end[0] == '\r' && end[1] == '\n';
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

std::string_view NameDatabase::bufferLineWith(SystemServices& system, std::string_view key) const {
    if (!searched_ || searchedKey_ != key) {
        searchedLine_ = firstLineWithKey(system, text_, key);
        searchedKey_ = key;
        searched_ = true;
    }
    return searchedLine_;
}

std::string_view NameDatabase::firstLineWith(SystemServices& system, std::string_view key) const {
    if (added_.empty()) return bufferLineWith(system, key);
    std::string_view found;
    forEachLine([&](std::string_view line) {
        if (!keyPartMatches(system, line, key)) return false;
        found = line;
        return true;
    });
    return found;
}

std::string NameDatabase::lookup(SystemServices& system, std::string_view key) const {
    const std::string_view line = firstLineWith(system, key);
    if (line.data() == nullptr) return {};
    return std::string(line.substr(key.size() + 1));
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
    if (added_.empty()) return textGivesNameToAnotherKey(system, text_, name, key);
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
