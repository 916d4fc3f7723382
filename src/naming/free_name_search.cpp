#include "naming/free_name_search.h"

#include <unordered_set>

namespace vorlane {

bool isNameTaken(SystemServices& system, const std::string& name) {
    return system.gethostbyname(name.c_str());
}

namespace {

using Kind = SearchOutcome::Kind;

class Search {
public:
    Search(SystemServices& system, const SearchRequest& request)
        : system_(system), request_(request) {}

    // Expands the pattern for number and, when probe is set, judges the
    // candidate, the place-th of at most `most`. Sets the outcome and returns
    // true when the search is over.
    bool tryNumber(std::int32_t number, bool probe, std::uint64_t place = 1,
                   std::uint64_t most = 1) {
        std::string candidate = expandPattern(system_, request_.pattern, number);
        if (candidate.size() > kMaxNameLength) {
            outcome_ = {Kind::NameTooLong, std::move(candidate)};
            return true;
        }
        if (probe && request_.beforeProbe) request_.beforeProbe(candidate, place, most);
        if (probe && isTaken(candidate)) return false;
        outcome_ = {Kind::Found, std::move(candidate)};
        return true;
    }

    SearchOutcome outcome() const { return outcome_; }

private:
    bool isTaken(const std::string& candidate) {
        const bool taken = (request_.isReserved && request_.isReserved(candidate)) ||
                           isNameTaken(system_, candidate);
        if (request_.onProbe) request_.onProbe(candidate, taken);
        return taken;
    }

    SystemServices& system_;
    const SearchRequest& request_;
    SearchOutcome outcome_;
};

std::int32_t wrappingSubtract(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

SearchOutcome sequential(Search& search, const SearchRequest& request) {
    const std::int32_t start = parseNumber(request.startText, 0);
    std::int32_t end = parseNumber(request.endText, 0);
    if (wrappingSubtract(end, start) <= 0) end = wrappingAdd(start, 255);
    if (end < start) return {};
    // Counted in 64 bits so that an end of 2147483647 does not wrap the loop.
    const auto most = static_cast<std::uint64_t>(std::int64_t{end} - start + 1);
    for (std::int64_t number = start; number <= end; ++number) {
        const auto place = static_cast<std::uint64_t>(number - start + 1);
        if (search.tryNumber(static_cast<std::int32_t>(number), true, place, most)) {
            return search.outcome();
        }
    }
    return {};
}

SearchOutcome random(Search& search, const SearchRequest& request, RandomEngine& engine) {
    const std::int32_t bound = parseNumber(request.endText, 2147483647);
    const std::uint32_t unsignedBound = static_cast<std::uint32_t>(bound);
    // How many different numbers the bound allows: bound 0 allows only 0.
    const std::uint64_t available = unsignedBound == 0 ? 1 : unsignedBound;
    const std::uint64_t limit = available < kMaxRandomProbes ? available : kMaxRandomProbes;
    std::unordered_set<std::int32_t> probed;
    while (probed.size() < limit) {
        const std::int32_t number = drawNumber(engine, bound);
        if (!probed.insert(number).second) continue;
        if (search.tryNumber(number, true, probed.size(), limit)) return search.outcome();
    }
    return {};
}

}  // namespace

SearchOutcome chooseCandidate(SystemServices& system, RandomEngine& engine,
                              const SearchRequest& request) {
    Search search(system, request);
    switch (request.mode) {
        case SearchMode::Serial:
            search.tryNumber(static_cast<std::int32_t>(request.serial), false);
            return search.outcome();
        case SearchMode::Random:
            return random(search, request, engine);
        case SearchMode::Sequential:
            return sequential(search, request);
    }
    return {};
}

}  // namespace vorlane
