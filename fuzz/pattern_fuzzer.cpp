// name= values and numbers through makeNamePattern and expandPattern.
// Input: the first 4 bytes are the number (host byte order), the rest is the
// name= value.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fake_system_services.h"
#include "fuzz_check.h"
#include "naming/name_pattern.h"
#include "os/raised_error.h"

namespace {

using vorlane::fuzz::check;

struct Outcome {
    std::optional<std::string> name;  // empty when the expander raised
    std::string message;
    bool operator==(const Outcome&) const = default;
};

Outcome expand(vorlane::SystemServices& system, std::string_view nameValue, std::int32_t number) {
    try {
        return {vorlane::expandPattern(system, vorlane::makeNamePattern(nameValue), number), {}};
    } catch (const vorlane::RaisedError& error) {
        check(error.kind() == vorlane::ErrorKind::EConvertError, "only EConvertError is raised");
        const std::string_view message = error.what();
        check(message.starts_with("No argument for format '") || message.starts_with("Format '"),
              "the message names the directive");
        return {std::nullopt, std::string(message)};
    }
}

vorlane::testing::FakeSystemServices& services() {
    // Double-byte lead bytes as in code page 932, so that the cut of a quoted
    // directive before a half character is reached too.
    static vorlane::testing::FakeSystemServices fake = [] {
        vorlane::testing::FakeSystemServices made;
        for (unsigned byte = 0x81; byte <= 0xFC; ++byte) {
            if (byte <= 0x9F || byte >= 0xE0) {
                made.leadBytes.insert(static_cast<unsigned char>(byte));
            }
        }
        return made;
    }();
    return fake;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(std::int32_t)) return 0;
    std::int32_t number;
    std::memcpy(&number, data, sizeof number);
    const std::string_view nameValue(reinterpret_cast<const char*>(data) + sizeof number,
                                     size - sizeof number);

    const Outcome first = expand(services(), nameValue, number);
    if (first.name) {
        check(first.name->size() <= vorlane::kExpansionKeepLimit, "the expansion is kept short");
        if (nameValue.find_first_of("?%") == std::string_view::npos) {
            check(*first.name == nameValue.substr(0, vorlane::kExpansionKeepLimit),
                  "text without directives is kept as it is");
        }
    }
    check(expand(services(), nameValue, number) == first, "the same input gives the same outcome");
    return 0;
}
