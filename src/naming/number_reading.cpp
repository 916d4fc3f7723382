#include "naming/number_reading.h"

#include <optional>

namespace vorlane {

namespace {

constexpr std::uint64_t kLargestMagnitude = 2147483648u;  // of -2147483648
constexpr std::uint64_t kLargestHex = 0xFFFFFFFFu;

std::optional<unsigned> digitValue(char c, unsigned base) {
    unsigned value;
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
        value = static_cast<unsigned>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a' + 10);
    } else {
        return std::nullopt;
    }
    if (value >= base) return std::nullopt;
    return value;
}

// The whole of digits as one number of the base, no bigger than limit. Stops
// as soon as the limit is passed, so any number of digits is safe.
std::optional<std::uint64_t> readDigits(std::string_view digits, unsigned base,
                                        std::uint64_t limit) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const auto digit = digitValue(c, base);
        if (!digit) return std::nullopt;
        value = value * base + *digit;
        if (value > limit) return std::nullopt;
    }
    return value;
}

std::size_t hexPrefixLength(std::string_view text) {
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) return 1;
    if (text.starts_with("0x") || text.starts_with("0X")) return 2;
    return 0;
}

}  // namespace

std::int32_t parseNumber(std::string_view text, std::int32_t fallback) {
    const std::size_t firstNonBlank = text.find_first_not_of(' ');
    if (firstNonBlank == std::string_view::npos) return fallback;
    text.remove_prefix(firstNonBlank);

    if (const std::size_t prefix = hexPrefixLength(text); prefix != 0) {
        const auto value = readDigits(text.substr(prefix), 16, kLargestHex);
        return value ? static_cast<std::int32_t>(static_cast<std::uint32_t>(*value)) : fallback;
    }

    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    const auto magnitude =
        readDigits(text, 10, negative ? kLargestMagnitude : kLargestMagnitude - 1);
    if (!magnitude) return fallback;
    const auto signedValue =
        negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(signedValue);
}

std::int32_t drawNumber(RandomEngine& engine, std::int32_t bound) {
    const auto range = static_cast<std::uint32_t>(bound);
    if (range == 0) return 0;
    std::uniform_int_distribution<std::uint32_t> distribution(0, range - 1);
    return static_cast<std::int32_t>(distribution(engine));
}

}  // namespace vorlane
