#include "naming/name_pattern.h"

#include <algorithm>
#include <string>

#include "os/raised_error.h"

namespace vorlane {

namespace {

// Error messages quote at most this many characters of the faulty directive.
constexpr std::size_t kQuotedDirectiveLimit = 31;

// Precisions from this value up write no zeros at all.
constexpr std::uint32_t kNoPaddingPrecision = 16;

// The expansion's result, which silently stops growing at kExpansionKeepLimit
// so that a huge width costs neither memory nor time.
class BoundedText {
public:
    void append(std::string_view text) {
        text = text.substr(0, room());
        text_.append(text);
    }

    void appendRepeated(char c, std::uint64_t count) {
        text_.append(static_cast<std::size_t>(std::min<std::uint64_t>(count, room())), c);
    }

    std::string take() { return std::move(text_); }

private:
    std::size_t room() const { return kExpansionKeepLimit - text_.size(); }

    std::string text_;
};

struct Directive {
    bool leftAlign = false;
    std::uint32_t width = 0;
    bool hasPrecision = false;
    std::uint32_t precision = 0;
    char type = '\0';
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the directives of one pattern; the argument cursor lives as long as
// the reader, that is, for one expansion.
class DirectiveReader {
public:
    DirectiveReader(std::string_view text, std::int32_t number) : text_(text), number_(number) {}

    // True when the cursor still points at the one argument.
    bool argumentAvailable() const { return cursor_ == 0; }

    // Moves the cursor past the argument and returns it.
    std::int32_t takeArgument() {
        ++cursor_;
        return number_;
    }

    // Reads the directive whose "%" is just before pos. Leaves pos behind the
    // type character and returns true, or returns false when the text ends
    // before the type character.
    bool read(std::size_t& pos, Directive& directive) {
        for (;;) {
            directive.leftAlign = false;
            if (pos < text_.size() && text_[pos] == '-') {
                directive.leftAlign = true;
                ++pos;
            }
            const std::uint32_t value = readCount(pos);
            if (pos < text_.size() && text_[pos] == ':') {
                // An index: any "-" before it is forgotten.
                cursor_ = value;
                ++pos;
                continue;
            }
            directive.width = value;
            break;
        }
        if (pos < text_.size() && text_[pos] == '.') {
            ++pos;
            directive.hasPrecision = true;
            directive.precision = readCount(pos);
        }
        if (pos >= text_.size()) return false;
        directive.type = text_[pos++];
        return true;
    }

private:
    // A run of digits (wrapping to its low 32 bits, no digits being 0) or one
    // "*", which consumes the argument when the cursor is still on it.
    std::uint32_t readCount(std::size_t& pos) {
        if (pos < text_.size() && text_[pos] == '*') {
            ++pos;
            if (!argumentAvailable()) return 0;
            return static_cast<std::uint32_t>(takeArgument());
        }
        std::uint32_t value = 0;
        while (pos < text_.size() && isDigit(text_[pos])) {
            value = value * 10u + static_cast<std::uint32_t>(text_[pos] - '0');
            ++pos;
        }
        return value;
    }

    std::string_view text_;
    std::int32_t number_;
    std::uint32_t cursor_ = 0;
};

// The directive as quoted in an error message: cut short, and never ending
// in the first half of a double-byte character.
std::string quotedDirective(SystemServices& system, std::string_view directive) {
    std::string_view kept = directive.substr(0, kQuotedDirectiveLimit);
    bool endsInLeadByte = false;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (system.isLeadByte(static_cast<unsigned char>(kept[i]))) {
            if (i + 1 == kept.size()) {
                endsInLeadByte = true;
            } else {
                ++i;  // the trail byte, whatever its value
            }
        }
    }
    if (endsInLeadByte) kept.remove_suffix(1);
    return std::string(kept);
}

[[noreturn]] void raiseNoArgument(SystemServices& system, std::string_view directive) {
    throw RaisedError(ErrorKind::EConvertError,
                      "No argument for format '" + quotedDirective(system, directive) + "'");
}

[[noreturn]] void raiseInvalidFormat(SystemServices& system, std::string_view directive) {
    throw RaisedError(ErrorKind::EConvertError, "Format '" + quotedDirective(system, directive) +
                                                    "' invalid or incompatible with argument");
}

std::string hexDigits(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 16u]);
        value /= 16u;
    } while (value != 0);
    return digits;
}

// Steps 5 to 7 of a conversion; false for a type character that is none of
// d, u and x.
bool convert(const Directive& directive, std::int32_t number, BoundedText& result) {
    const auto bits = static_cast<std::uint32_t>(number);
    bool negative = false;
    std::string digits;
    switch (directive.type) {
        case 'd':
        case 'D':
            negative = number < 0;
            // Negating in unsigned arithmetic keeps -2147483648 whole.
            digits = std::to_string(negative ? 0u - bits : bits);
            break;
        case 'u':
        case 'U':
            digits = std::to_string(bits);
            break;
        case 'x':
        case 'X':
            digits = hexDigits(bits);
            break;
        default:
            return false;
    }
    if (directive.hasPrecision && directive.precision < kNoPaddingPrecision &&
        digits.size() < directive.precision) {
        digits.insert(0, directive.precision - digits.size(), '0');
    }
    if (negative) digits.insert(0, 1, '-');

    const std::uint64_t padding =
        digits.size() < directive.width ? directive.width - digits.size() : 0;
    if (directive.leftAlign) {
        result.append(digits);
        result.appendRepeated(' ', padding);
    } else {
        result.appendRepeated(' ', padding);
        result.append(digits);
    }
    return true;
}

}  // namespace

NamePattern makeNamePattern(std::string_view nameValue) {
    NamePattern pattern{std::string(nameValue)};
    std::replace(pattern.text.begin(), pattern.text.end(), '?', '%');
    return pattern;
}

std::string expandPattern(SystemServices& system, const NamePattern& pattern, std::int32_t number) {
    const std::string_view text = pattern.text;
    DirectiveReader reader(text, number);
    BoundedText result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        if (text[pos++] != '%') {
            result.append(text.substr(start, 1));
            continue;
        }
        if (pos == text.size()) break;
        if (text[pos] == '%') {
            result.append("%");
            ++pos;
            continue;
        }
        Directive directive;
        if (!reader.read(pos, directive)) break;  // unfinished: dropped without an error
        const std::string_view directiveText = text.substr(start, pos - start);
        // The argument is looked for before the type character is judged.
        if (!reader.argumentAvailable()) raiseNoArgument(system, directiveText);
        if (!convert(directive, reader.takeArgument(), result)) {
            raiseInvalidFormat(system, directiveText);
        }
    }
    return result.take();
}

}  // namespace vorlane
