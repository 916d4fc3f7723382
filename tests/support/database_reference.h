#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "identity/name_database.h"
#include "os/system_services.h"

namespace vorlane::testing {

// What a name database answers, worked out from its lines one at a time the
// plain way, to hold the database's own quicker answers against.

std::vector<std::string> linesOf(const NameDatabase& database);

// The index of the first line whose text before its first "=" is key, case
// aside; lines.size() when there is none.
std::size_t firstLineUnder(SystemServices& system, const std::vector<std::string>& lines,
                           std::string_view key);

// Whether a line whose text before its first "=" is not key has name as the
// text after it, case aside.
bool givenToAnother(SystemServices& system, const std::vector<std::string>& lines,
                    std::string_view name, std::string_view key);

// The lines, each followed by CR LF.
std::string crLfText(const std::vector<std::string>& lines);

}  // namespace vorlane::testing
