#pragma once

#include <cstdint>
#include <random>
#include <string_view>

namespace vorlane {

// Reads start= and end=: optional leading spaces, then a signed decimal
// number in 32-bit range, or a hexadecimal one ("$", "x", "X", "0x" or "0X"
// prefix, no sign) of at most 32 bits taken as signed. Any other text, the
// empty text included, gives fallback.
std::int32_t parseNumber(std::string_view text, std::int32_t fallback);

// The run's single pseudo-random source.
using RandomEngine = std::mt19937_64;

// One uniform draw from 0 to B - 1, B being bound read as an unsigned 32-bit
// number; bound 0 always gives 0. The 32 bits are returned as signed.
std::int32_t drawNumber(RandomEngine& engine, std::int32_t bound);

}  // namespace vorlane
