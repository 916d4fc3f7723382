#include "naming/free_name_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fake_system_services.h"
#include "os/raised_error.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;
using Kind = SearchOutcome::Kind;

// A fake whose network is up, as it is inside the pattern stage.
struct SearchFixture {
    FakeSystemServices fake;
    RandomEngine engine{2024};

    SearchFixture() { fake.networkStarted = true; }

    SearchOutcome search(SearchMode mode, const std::string& name, const std::string& start = "",
                         const std::string& end = "", std::uint32_t serial = 0) {
        SearchRequest request;
        request.mode = mode;
        request.pattern = makeNamePattern(name);
        request.startText = start;
        request.endText = end;
        request.serial = serial;
        return chooseCandidate(fake, engine, request);
    }

    // The names looked up, in order.
    std::vector<std::string> probes() const {
        std::vector<std::string> names;
        for (const std::string& call : fake.callsNamed("gethostbyname")) {
            names.push_back(call.substr(14, call.size() - 15));
        }
        return names;
    }
};

std::vector<std::string> namesFrom(std::int64_t first, std::int64_t last) {
    std::vector<std::string> names;
    for (std::int64_t n = first; n <= last; ++n) names.push_back("pc" + std::to_string(n));
    return names;
}

// The number in a name "pc<number>".
std::int64_t numberIn(const std::string& name) {
    return std::stoll(name.substr(2));
}

// --- Sequential mode: the range -------------------------------------------

struct RangeCase {
    std::string start;
    std::string end;
    std::int64_t first;
    std::int64_t last;
};

// A range with no number in it: nothing is probed.
RangeCase emptyRange(std::string start, std::string end) {
    return {std::move(start), std::move(end), 0, -1};
}

void PrintTo(const RangeCase& c, std::ostream* os) {
    *os << "start=[" << c.start << "] end=[" << c.end << "]";
}

class SequentialRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SequentialRangeTest, ProbesEveryNumberOfTheRangeInAscendingOrder) {
    SearchFixture f;
    f.fake.everyHostAnswers = true;
    const SearchOutcome outcome =
        f.search(SearchMode::Sequential, "pc?d", GetParam().start, GetParam().end);
    EXPECT_EQ(outcome.kind, Kind::NoFreeName);
    EXPECT_EQ(f.probes(), namesFrom(GetParam().first, GetParam().last));
}

constexpr std::int64_t kMax = 2147483647;
constexpr std::int64_t kMin = -2147483648LL;

INSTANTIATE_TEST_SUITE_P(Plain, SequentialRangeTest,
                         ::testing::Values(RangeCase{"", "", 0, 255}, RangeCase{"10", "11", 10, 11},
                                           RangeCase{"$10", "0x1F", 16, 31},
                                           RangeCase{"5", "6", 5, 6}, RangeCase{"0", "1", 0, 1}));

// An end that is not above the start makes the range the 256 numbers from it.
INSTANTIATE_TEST_SUITE_P(EndNotAboveStart, SequentialRangeTest,
                         ::testing::Values(RangeCase{"10", "10", 10, 265},
                                           RangeCase{"10", "5", 10, 265},
                                           RangeCase{"100", "-100", 100, 355},
                                           RangeCase{"-5", "-5", -5, 250},
                                           RangeCase{"", "abc", 0, 255}));

// The missing end counts as 0, which is above a negative start.
INSTANTIATE_TEST_SUITE_P(NegativeStart, SequentialRangeTest,
                         ::testing::Values(RangeCase{"-5", "", -5, 0},
                                           RangeCase{"$FFFFFFFF", "", -1, 0},
                                           RangeCase{"-3", "x", -3, 0}));

INSTANTIATE_TEST_SUITE_P(UnreadableStart, SequentialRangeTest,
                         ::testing::Values(RangeCase{"abc", "", 0, 255},
                                           RangeCase{"2147483648", "", 0, 255},
                                           RangeCase{"7 ", "", 0, 255},
                                           RangeCase{"\t7", "", 0, 255}));

INSTANTIATE_TEST_SUITE_P(
    Wrapping, SequentialRangeTest,
    ::testing::Values(
        // start + 255 wraps below the start: no candidate at all.
        emptyRange("2147483647", ""), emptyRange("2147483393", ""),
        // The last start whose range still fits ends exactly at the largest number.
        RangeCase{"2147483392", "", kMax - 255, kMax},
        // end - start wraps to -1.
        RangeCase{"-2147483648", "2147483647", kMin, kMin + 255},
        // A difference of exactly 2147483648 wraps to the smallest number.
        RangeCase{"-2147483648", "", kMin, kMin + 255}, RangeCase{"-10", "2147483647", -10, 245},
        // end - start wraps to a positive number but the end stays below.
        emptyRange("2147483647", "-10")));

TEST(SequentialSearchTest, StopsAtTheFirstFreeNameAndGivesItAsProbed) {
    SearchFixture f;
    f.fake.hostsThatAnswer = {"pc010", "pc011", "pc013"};
    const SearchOutcome outcome = f.search(SearchMode::Sequential, "pc?.3d", "10", "20");
    EXPECT_EQ(outcome.kind, Kind::Found);
    EXPECT_EQ(outcome.name, "pc012");
    EXPECT_EQ(f.probes(), (std::vector<std::string>{"pc010", "pc011", "pc012"}));
}

TEST(SequentialSearchTest, AHugeRangeIsScannedOnlyUntilAFreeName) {
    SearchFixture f;
    f.fake.hostsThatAnswer = {"pc0", "pc1", "pc2"};
    const SearchOutcome outcome = f.search(SearchMode::Sequential, "pc?d", "0", "2147483647");
    EXPECT_EQ(outcome.name, "pc3");
    EXPECT_EQ(f.probes(), namesFrom(0, 3));
}

TEST(SequentialSearchTest, WithoutANetworkTheStartIsFree) {
    SearchFixture f;
    f.fake.networkStarted = false;
    f.fake.everyHostAnswers = true;
    const SearchOutcome outcome = f.search(SearchMode::Sequential, "pc?d", "40");
    EXPECT_EQ(outcome.kind, Kind::Found);
    EXPECT_EQ(outcome.name, "pc40");
}

// --- Random mode -------------------------------------------------------------

struct RandomCase {
    std::string end;
    std::size_t probes;  // with every name taken
    std::int64_t lowest;
    std::int64_t highest;
};

void PrintTo(const RandomCase& c, std::ostream* os) {
    *os << "end=[" << c.end << "]";
}

class RandomSearchTest : public ::testing::TestWithParam<RandomCase> {};

TEST_P(RandomSearchTest, DrawsDistinctNumbersBelowTheBoundUntilTheyRunOutOrTheLimit) {
    SearchFixture f;
    f.fake.everyHostAnswers = true;
    // start= is not read in this mode.
    const SearchOutcome outcome = f.search(SearchMode::Random, "pc?d", "100", GetParam().end);
    EXPECT_EQ(outcome.kind, Kind::NoFreeName);
    const std::vector<std::string> probes = f.probes();
    EXPECT_EQ(probes.size(), GetParam().probes);
    EXPECT_EQ(std::set<std::string>(probes.begin(), probes.end()).size(), probes.size());
    for (const std::string& name : probes) {
        EXPECT_GE(numberIn(name), GetParam().lowest) << name;
        EXPECT_LE(numberIn(name), GetParam().highest) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RandomSearchTest,
    ::testing::Values(RandomCase{"3", 3, 0, 2}, RandomCase{"1", 1, 0, 0}, RandomCase{"0", 1, 0, 0},
                      RandomCase{"1024", 1024, 0, 1023}, RandomCase{"1025", 1024, 0, 1024},
                      RandomCase{"", 1024, 0, kMax - 1}, RandomCase{"abc", 1024, 0, kMax - 1},
                      RandomCase{"-1", 1024, kMin, kMax}));

TEST(RandomSearchTest, ANegativeBoundReachesNegativeNumbersButNeverTheBoundItself) {
    SearchFixture f;
    f.fake.everyHostAnswers = true;
    f.search(SearchMode::Random, "pc?d", "", "-1");
    bool sawNegative = false;
    for (const std::string& name : f.probes()) {
        EXPECT_NE(name, "pc-1");
        sawNegative = sawNegative || numberIn(name) < 0;
    }
    EXPECT_TRUE(sawNegative);
}

TEST(RandomSearchTest, TheFirstFreeDrawIsTheCandidate) {
    SearchFixture f;
    f.fake.hostsThatAnswer = {"pc0", "pc1", "pc2", "pc3"};
    const SearchOutcome outcome = f.search(SearchMode::Random, "pc?d", "", "5");
    EXPECT_EQ(outcome.kind, Kind::Found);
    EXPECT_EQ(outcome.name, "pc4");
    ASSERT_FALSE(f.probes().empty());
    EXPECT_EQ(f.probes().back(), "pc4");
}

// --- Serial mode -------------------------------------------------------------

TEST(SerialSearchTest, ExpandsTheSerialAsASignedNumberWithoutAProbe) {
    const struct {
        const char* name;
        std::uint32_t serial;
        const char* expected;
    } cases[] = {
        {"pc?d", 0, "pc0"},           {"pc?d", 0x80000000, "pc-2147483648"},
        {"pc?d", 0xFFFFFFFB, "pc-5"}, {"pc?x", 0x3E9A07C4, "pc3E9A07C4"},
        {"?.8x", 0x1A2B, "00001A2B"}, {"pc?u", 0xFFFFFFFF, "pc4294967295"},
    };
    for (const auto& c : cases) {
        SearchFixture f;
        f.fake.everyHostAnswers = true;
        const SearchOutcome outcome = f.search(SearchMode::Serial, c.name, "5", "9", c.serial);
        EXPECT_EQ(outcome.kind, Kind::Found);
        EXPECT_EQ(outcome.name, c.expected);
        EXPECT_TRUE(f.fake.calls.empty());
    }
}

// --- The length limit and faulty patterns --------------------------------------

TEST(NameLengthTest, FifteenCharactersPassAndSixteenAreRefusedBeforeTheirProbe) {
    const std::string stem = "abcdefghijklm";  // 13 characters
    const struct {
        SearchMode mode;
        std::string name;
        std::string start;
        std::uint32_t serial;
        Kind kind;
        std::string candidate;
        std::vector<std::string> probes;
    } cases[] = {
        {SearchMode::Serial, stem + "?.2d", "", 7, Kind::Found, stem + "07", {}},
        {SearchMode::Serial, "pc?.15d", "", 5, Kind::NameTooLong, "pc000000000000005", {}},
        {SearchMode::Sequential, stem + "?d", "98", 0, Kind::Found, stem + "98", {stem + "98"}},
        {SearchMode::Sequential, stem + "no?d", "", 0, Kind::NameTooLong, stem + "no0", {}},
        {SearchMode::Random, stem + "xy?d", "", 0, Kind::NameTooLong, stem + "xy0", {}},
    };
    for (const auto& c : cases) {
        SearchFixture f;
        const SearchOutcome outcome = f.search(c.mode, c.name, c.start, "0", c.serial);
        EXPECT_EQ(outcome.kind, c.kind) << c.name;
        EXPECT_EQ(outcome.name, c.candidate);
        EXPECT_EQ(f.probes(), c.probes);
    }
}

TEST(NameLengthTest, ALongerNameLaterInTheRangeEndsTheScanThere) {
    SearchFixture f;
    f.fake.everyHostAnswers = true;
    const SearchOutcome outcome = f.search(SearchMode::Sequential, "abcdefghijklm?d", "98", "300");
    EXPECT_EQ(outcome.kind, Kind::NameTooLong);
    EXPECT_EQ(outcome.name, "abcdefghijklm100");
    EXPECT_EQ(f.probes(), (std::vector<std::string>{"abcdefghijklm98", "abcdefghijklm99"}));
}

TEST(FaultyPatternTest, RaisesAtTheFirstExpansionBeforeAnyProbe) {
    for (const SearchMode mode : {SearchMode::Sequential, SearchMode::Random, SearchMode::Serial}) {
        for (const char* name : {"pc?s", "pc?d?d"}) {
            SearchFixture f;
            EXPECT_THROW(f.search(mode, name), RaisedError) << name;
            EXPECT_TRUE(f.fake.calls.empty()) << name;
        }
    }
}

// --- What the caller can hook in ----------------------------------------------

TEST(SearchHooksTest, EveryProbedCandidateIsToldWithItsAnswer) {
    SearchFixture f;
    f.fake.hostsThatAnswer = {"pc0", "pc1"};
    std::vector<std::pair<std::string, bool>> told;
    SearchRequest request;
    request.pattern = makeNamePattern("pc?d");
    request.onProbe = [&told](const std::string& name, bool taken) {
        told.emplace_back(name, taken);
    };
    EXPECT_EQ(chooseCandidate(f.fake, f.engine, request).name, "pc2");
    EXPECT_EQ(told, (std::vector<std::pair<std::string, bool>>{
                        {"pc0", true}, {"pc1", true}, {"pc2", false}}));
}

TEST(SearchHooksTest, AReservedNameIsTakenWithoutALookup) {
    SearchFixture f;
    SearchRequest request;
    request.pattern = makeNamePattern("pc?d");
    request.isReserved = [](const std::string& name) { return name == "pc0"; };
    EXPECT_EQ(chooseCandidate(f.fake, f.engine, request).name, "pc1");
    EXPECT_EQ(f.probes(), (std::vector<std::string>{"pc1"}));
}

}  // namespace
}  // namespace vorlane
