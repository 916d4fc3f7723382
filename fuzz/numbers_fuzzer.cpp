// Any text through parseNumber.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "naming/number_reading.h"

namespace {

using vorlane::parseNumber;
using vorlane::fuzz::check;

std::string hexText(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16u]);
        value /= 16u;
    } while (value != 0);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Two fallbacks tell "absent" from a number that happens to equal one.
    const std::int32_t withZero = parseNumber(text, 0);
    const std::int32_t withOne = parseNumber(text, 1);
    if (withZero != withOne) {
        check(withZero == 0 && withOne == 1, "absent text gives the fallback");
        return 0;
    }

    const std::int32_t value = withZero;
    check(parseNumber(std::to_string(value), ~value) == value, "the decimal text reads back");
    check(parseNumber("0x" + hexText(static_cast<std::uint32_t>(value)), ~value) == value,
          "the hexadecimal text reads back");
    check(parseNumber("  " + std::string(text), ~value) == value, "leading blanks are skipped");
    return 0;
}
