#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "naming/name_pattern.h"
#include "naming/number_reading.h"
#include "os/system_services.h"

namespace vorlane {

enum class SearchMode { Sequential, Random, Serial };

// Random mode gives up after this many probes, so that a resolver that
// answers every name cannot keep the run going for ever.
inline constexpr std::uint32_t kMaxRandomProbes = 1024;

// Brackets the pattern stage: the network is started once before the first
// probe and stopped once on every ending but the fatal one. Neither result is
// looked at: a failed start only makes every probe come back empty.
class NetworkScope {
public:
    explicit NetworkScope(SystemServices& system) : system_(system) {}
    void start() { system_.WSAStartup(kWinSockVersion11); }
    void stop() { system_.WSACleanup(); }

private:
    SystemServices& system_;
};

// True when a host-name lookup of name finds a host. Every call is a fresh
// lookup; a failed lookup of any kind counts as free.
bool isNameTaken(SystemServices& system, const std::string& name);

struct SearchRequest {
    SearchMode mode = SearchMode::Sequential;
    NamePattern pattern;
    std::string startText;  // start=, read by sequential mode
    std::string endText;    // end=, read by sequential and random mode
    std::uint32_t serial = 0;
    // A name this returns true for counts as taken without a lookup.
    std::function<bool(const std::string&)> isReserved;
    // Told about every candidate before it is judged: its place among the
    // candidates the mode may judge at most, counted from 1.
    std::function<void(const std::string&, std::uint64_t place, std::uint64_t most)> beforeProbe;
    // Told about every candidate that was judged, with the answer.
    std::function<void(const std::string&, bool taken)> onProbe;
};

struct SearchOutcome {
    enum class Kind { Found, NoFreeName, NameTooLong };
    Kind kind = Kind::NoFreeName;
    // Found: the name to apply, exactly as probed. NameTooLong: the
    // expansion that was refused, cut to kExpansionKeepLimit.
    std::string name;
};

// Runs the chosen mode once. Raises RaisedError(EConvertError) for a pattern
// the expander rejects; that happens at the first expansion, before any probe.
SearchOutcome chooseCandidate(SystemServices& system, RandomEngine& engine,
                              const SearchRequest& request);

}  // namespace vorlane
