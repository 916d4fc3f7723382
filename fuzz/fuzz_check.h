#pragma once

#include <cstdio>
#include <cstdlib>

namespace vorlane::fuzz {

// A broken property ends the run the way a crash does, so libFuzzer keeps the
// input that broke it.
inline void check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

}  // namespace vorlane::fuzz
