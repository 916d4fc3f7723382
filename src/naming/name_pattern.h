#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "os/system_services.h"

namespace vorlane {

// The longest computer name the system accepts.
inline constexpr std::size_t kMaxNameLength = 15;

// An expansion keeps at most this many characters; the rest is dropped, so a
// huge width ("?999999999d") costs no memory. Anything over kMaxNameLength is
// refused by the caller anyway.
inline constexpr std::size_t kExpansionKeepLimit = 64;

// The name= text with every "?" made "%": fixed text with number directives.
struct NamePattern {
    std::string text;
};

NamePattern makeNamePattern(std::string_view nameValue);

// A name chosen for the machine. Callers hand on only names of at most
// kMaxNameLength characters.
using CandidateName = std::string;

// Expands the pattern with the one number every directive can use. Raises
// RaisedError(EConvertError) for a directive that finds no argument or has an
// invalid type. The same pattern and number always give the same result.
// `system` answers whether a byte begins a double-byte character, for the
// directive text in error messages.
std::string expandPattern(SystemServices& system, const NamePattern& pattern, std::int32_t number);

}  // namespace vorlane
