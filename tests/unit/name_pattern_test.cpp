#include "naming/name_pattern.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

#include "fake_system_services.h"
#include "os/raised_error.h"

namespace vorlane {
namespace {

constexpr std::int32_t kAny = 7;

// Patterns are written as typed in name=, so "?" is the directive sign.
struct ExpansionCase {
    std::string nameValue;
    std::int32_t number;
    std::string expected;
};

void PrintTo(const ExpansionCase& c, std::ostream* os) {
    *os << "name=" << c.nameValue << " number=" << c.number;
}

class ExpansionTest : public ::testing::TestWithParam<ExpansionCase> {
protected:
    testing::FakeSystemServices system;
};

TEST_P(ExpansionTest, WritesExpectedName) {
    const ExpansionCase& c = GetParam();
    EXPECT_EQ(expandPattern(system, makeNamePattern(c.nameValue), c.number), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ExpansionTest,
    ::testing::Values(ExpansionCase{"client?d", 7, "client7"}, ExpansionCase{"?d", 0, "0"},
                      ExpansionCase{"pc?d", -5, "pc-5"},
                      ExpansionCase{"?d", -2147483648, "-2147483648"},
                      ExpansionCase{"?D", 2147483647, "2147483647"},
                      ExpansionCase{"?u", -1, "4294967295"}, ExpansionCase{"?U", 12, "12"},
                      ExpansionCase{"pc?x", -5, "pcFFFFFFFB"}, ExpansionCase{"?x", -1, "FFFFFFFF"},
                      ExpansionCase{"?X", 255, "FF"}, ExpansionCase{"?x", 0, "0"}));

INSTANTIATE_TEST_SUITE_P(
    PrecisionAndWidth, ExpansionTest,
    ::testing::Values(ExpansionCase{"pc?.3d", 5, "pc005"}, ExpansionCase{"pc?.3d", -5, "pc-005"},
                      ExpansionCase{"pc?.8x", 11259375, "pc00ABCDEF"},
                      ExpansionCase{"?.15d", 42, "000000000000042"},
                      ExpansionCase{"?.15d", -1, "-000000000000001"},
                      ExpansionCase{"?.16d", 42, "42"}, ExpansionCase{"?.2d", 12345, "12345"},
                      ExpansionCase{"?.d", 0, "0"}, ExpansionCase{"?5d", 42, "   42"},
                      ExpansionCase{"?-5d", 42, "42   "}, ExpansionCase{"?08d", 5, "       5"},
                      ExpansionCase{"?2d", 12345, "12345"}, ExpansionCase{"?6.3d", -5, "  -005"},
                      ExpansionCase{"?-6.3x", 10, "00A   "},
                      // Digit runs keep only their low 32 bits.
                      ExpansionCase{"?4294967301d", 42, "   42"},
                      ExpansionCase{"?.4294967299d", 42, "042"},
                      ExpansionCase{"?4294967296:d", 42, "42"}));

INSTANTIATE_TEST_SUITE_P(IndexesAndStars, ExpansionTest,
                         ::testing::Values(ExpansionCase{"?:d", 5, "5"},
                                           ExpansionCase{"pc?d-?0:d", 3, "pc3-3"},
                                           ExpansionCase{"?-0:5d", 7, "    7"},
                                           ExpansionCase{"?0:-5d", 7, "7    "},
                                           ExpansionCase{"?*:d", 0, "0"},
                                           // Past the argument a "*" is 0, so this
                                           // index points back at the number.
                                           ExpansionCase{"?d-?*:d", 3, "3-3"}));

INSTANTIATE_TEST_SUITE_P(
    PercentSignsAndUnfinishedDirectives, ExpansionTest,
    ::testing::Values(ExpansionCase{"lab??", kAny, "lab%"}, ExpansionCase{"??d", kAny, "%d"},
                      // A "%" typed in name= is a directive sign as well.
                      ExpansionCase{"pc%d", 3, "pc3"}, ExpansionCase{"50%?", kAny, "50%"},
                      ExpansionCase{"pc?", kAny, "pc"}, ExpansionCase{"pc?5", kAny, "pc"},
                      ExpansionCase{"pc?-", kAny, "pc"}, ExpansionCase{"pc?.", kAny, "pc"},
                      ExpansionCase{"pc?0:", kAny, "pc"}, ExpansionCase{"pc?*", kAny, "pc"},
                      // An unfinished directive is dropped even when it could
                      // find no argument.
                      ExpansionCase{"pc?d-?3.", 1, "pc1-"}, ExpansionCase{"", kAny, ""}));

struct FailureCase {
    std::string nameValue;
    std::int32_t number;
    std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << "name=" << c.nameValue << " number=" << c.number;
}

std::string noArgument(const std::string& directive) {
    return "No argument for format '" + directive + "'";
}

std::string invalidFormat(const std::string& directive) {
    return "Format '" + directive + "' invalid or incompatible with argument";
}

// Runs the expansion and returns the message of the conversion error it
// raised; fails the test when it raises nothing or something else.
std::string conversionErrorOf(SystemServices& system, const std::string& nameValue,
                              std::int32_t number) {
    try {
        const std::string name = expandPattern(system, makeNamePattern(nameValue), number);
        ADD_FAILURE() << "expanded to \"" << name << "\" instead of failing";
    } catch (const RaisedError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::EConvertError);
        return error.what();
    }
    return {};
}

class FailureTest : public ::testing::TestWithParam<FailureCase> {
protected:
    testing::FakeSystemServices system;
};

TEST_P(FailureTest, RaisesConversionError) {
    const FailureCase& c = GetParam();
    EXPECT_EQ(conversionErrorOf(system, c.nameValue, c.number), c.message);
}

INSTANTIATE_TEST_SUITE_P(InvalidFormat, FailureTest,
                         ::testing::Values(FailureCase{"pc?s", kAny, invalidFormat("%s")},
                                           FailureCase{"?e", kAny, invalidFormat("%e")},
                                           FailureCase{"?+d", kAny, invalidFormat("%+")},
                                           FailureCase{"?--5d", kAny, invalidFormat("%--")},
                                           FailureCase{"?5*d", kAny, invalidFormat("%5*")},
                                           FailureCase{"? d", kAny, invalidFormat("% ")},
                                           FailureCase{"?0:-3.2q", kAny, invalidFormat("%0:-3.2q")},
                                           FailureCase{"?" + std::string(40, '9') + "s", kAny,
                                                       invalidFormat("%" + std::string(30, '9'))}));

INSTANTIATE_TEST_SUITE_P(NoArgument, FailureTest,
                         ::testing::Values(FailureCase{"pc?d?d", kAny, noArgument("%d")},
                                           FailureCase{"pc?d?s", kAny, noArgument("%s")},
                                           FailureCase{"pc?1:d", kAny, noArgument("%1:d")},
                                           FailureCase{"pc?*d", kAny, noArgument("%*d")},
                                           FailureCase{"pc?.*d", kAny, noArgument("%.*d")},
                                           FailureCase{"?*5d", kAny, noArgument("%*5")},
                                           FailureCase{"?*:d", 1, noArgument("%*:d")},
                                           FailureCase{"?*:d", -1, noArgument("%*:d")}));

struct LeadByteCase {
    std::string nameValue;
    std::set<unsigned char> leadBytes;
    std::string directive;
};

void PrintTo(const LeadByteCase& c, std::ostream* os) {
    *os << "name=" << c.nameValue;
}

class LeadByteTest : public ::testing::TestWithParam<LeadByteCase> {};

// The quoted directive never ends in the first half of a double-byte
// character, whether or not it was cut to 31 characters.
TEST_P(LeadByteTest, QuotedDirectiveDropsTrailingLeadByte) {
    const LeadByteCase& c = GetParam();
    testing::FakeSystemServices system;
    system.leadBytes = c.leadBytes;
    EXPECT_EQ(conversionErrorOf(system, c.nameValue, kAny), invalidFormat(c.directive));
}

const std::string kDigits29(29, '1');

INSTANTIATE_TEST_SUITE_P(
    DoubleByteText, LeadByteTest,
    ::testing::Values(
        // A double-byte character as the type: only its first byte belongs
        // to the directive.
        LeadByteCase{"pc?\x81\x40", {0x81}, "%"}, LeadByteCase{"pc?\x81\x40", {}, "%\x81"},
        LeadByteCase{"?" + kDigits29 + "\x81\x40", {0x81}, "%" + kDigits29},
        // A byte that may begin a character but ends one is no first byte.
        LeadByteCase{"?2" + kDigits29 + "s", {'1'}, "%2" + std::string(28, '1')},
        LeadByteCase{"?" + kDigits29 + "1s", {'1'}, "%" + kDigits29 + "1"}));

// An overlong expansion is cut, not refused, and must stay cheap.
TEST(ExpansionLimitTest, KeepsOnlyTheFirstCharacters) {
    testing::FakeSystemServices system;
    const std::string literal(100, 'a');
    EXPECT_EQ(expandPattern(system, makeNamePattern(literal), kAny),
              literal.substr(0, kExpansionKeepLimit));
    EXPECT_EQ(expandPattern(system, makeNamePattern("?4000000000d"), 5),
              std::string(kExpansionKeepLimit, ' '));
    EXPECT_EQ(expandPattern(system, makeNamePattern("?-4000000000d"), 5),
              "5" + std::string(kExpansionKeepLimit - 1, ' '));
    EXPECT_EQ(expandPattern(system, makeNamePattern("?60d?0:4000000000d"), 5),
              std::string(59, ' ') + "5" + std::string(4, ' '));
}

TEST(ExpansionLimitTest, ErrorsAfterTheLimitAreStillRaised) {
    testing::FakeSystemServices system;
    EXPECT_EQ(conversionErrorOf(system, "?4000000000d?d", kAny), noArgument("%d"));
    EXPECT_EQ(conversionErrorOf(system, std::string(100, 'a') + "?0:4000000000s", kAny),
              invalidFormat("%0:4000000000s"));
}

}  // namespace
}  // namespace vorlane
