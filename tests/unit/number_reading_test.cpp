#include "naming/number_reading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

namespace vorlane {
namespace {

// A fallback no table row produces by reading its text.
constexpr std::int32_t kFallback = -777;

struct NumberCase {
    std::string text;
    std::int32_t expected;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << "\"" << c.text << "\"";
}

class ParseNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumberTest, ReadsWholeTextOrFallsBack) {
    EXPECT_EQ(parseNumber(GetParam().text, kFallback), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, ParseNumberTest,
    ::testing::Values(NumberCase{"42", 42}, NumberCase{"+42", 42}, NumberCase{"0042", 42},
                      NumberCase{"   42", 42}, NumberCase{"-42", -42}, NumberCase{"0", 0},
                      NumberCase{"-0", 0}, NumberCase{"010", 10},
                      NumberCase{"2147483647", 2147483647}, NumberCase{"2147483648", kFallback},
                      NumberCase{"-2147483648", -2147483648}, NumberCase{"-2147483649", kFallback},
                      NumberCase{"+2147483648", kFallback},
                      NumberCase{"00000000000000000000002147483647", 2147483647},
                      NumberCase{std::string(100, '9'), kFallback},
                      NumberCase{"-" + std::string(100, '9'), kFallback},
                      NumberCase{"4294967338", kFallback}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ParseNumberTest,
    ::testing::Values(NumberCase{"$1F", 31}, NumberCase{"x1F", 31}, NumberCase{"X1f", 31},
                      NumberCase{"0x1f", 31}, NumberCase{"0X1F", 31}, NumberCase{"  $1F", 31},
                      NumberCase{"$0000000001", 1}, NumberCase{"$7FFFFFFF", 2147483647},
                      NumberCase{"$80000000", -2147483648}, NumberCase{"$FFFFFFFF", -1},
                      NumberCase{"$100000000", kFallback},
                      NumberCase{"$" + std::string(100, 'F'), kFallback},
                      NumberCase{"-$1F", kFallback}, NumberCase{"+0x1F", kFallback},
                      NumberCase{"$", kFallback}, NumberCase{"0x", kFallback},
                      NumberCase{"$1G", kFallback}, NumberCase{"00x1F", kFallback},
                      NumberCase{"$-1", kFallback}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, ParseNumberTest,
    ::testing::Values(NumberCase{"", kFallback}, NumberCase{"   ", kFallback},
                      NumberCase{"42 ", kFallback}, NumberCase{"4 2", kFallback},
                      NumberCase{"42abc", kFallback}, NumberCase{"1e3", kFallback},
                      NumberCase{"abc", kFallback}, NumberCase{"- 42", kFallback},
                      NumberCase{"+ 42", kFallback}, NumberCase{"-", kFallback},
                      NumberCase{"+", kFallback}, NumberCase{"\t42", kFallback},
                      NumberCase{"--42", kFallback}, NumberCase{"3.0", kFallback}));

TEST(ParseNumberTest, FallbackIsReturnedUnchanged) {
    EXPECT_EQ(parseNumber("abc", 0), 0);
    EXPECT_EQ(parseNumber("", 2147483647), 2147483647);
}

// Draws many numbers below bound from a fixed seed.
std::set<std::int32_t> drawMany(std::int32_t bound, int count) {
    RandomEngine engine(20240611u);
    std::set<std::int32_t> seen;
    for (int i = 0; i < count; ++i) seen.insert(drawNumber(engine, bound));
    return seen;
}

TEST(DrawNumberTest, BoundsOfOneAndZeroAlwaysGiveZero) {
    EXPECT_EQ(drawMany(1, 1000), std::set<std::int32_t>{0});
    EXPECT_EQ(drawMany(0, 1000), std::set<std::int32_t>{0});
}

TEST(DrawNumberTest, SmallBoundGivesEveryValueBelowIt) {
    EXPECT_EQ(drawMany(3, 1000), (std::set<std::int32_t>{0, 1, 2}));
}

TEST(DrawNumberTest, NegativeBoundIsReadAsUnsigned) {
    // -1 is 4294967295: any 32-bit number but -1 itself, negatives included.
    const auto all = drawMany(-1, 100000);
    EXPECT_EQ(all.count(-1), 0u);
    EXPECT_LT(*all.begin(), 0);
    EXPECT_GT(*all.rbegin(), 0);

    // -3 is 4294967293: -3, -2 and -1 are left out.
    RandomEngine engine(7u);
    for (int i = 0; i < 100000; ++i) {
        const std::int32_t drawn = drawNumber(engine, -3);
        ASSERT_TRUE(drawn < -3 || drawn >= 0) << drawn;
    }

    // -2147483648 is 2147483648: exactly the non-negative numbers.
    const auto half = drawMany(-2147483648, 100000);
    EXPECT_GE(*half.begin(), 0);
}

TEST(DrawNumberTest, LargestPositiveBoundStaysBelowIt) {
    const auto all = drawMany(2147483647, 100000);
    EXPECT_GE(*all.begin(), 0);
    EXPECT_LT(*all.rbegin(), 2147483647);
}

}  // namespace
}  // namespace vorlane
