#include "app/option_list.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fake_system_services.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;

struct ValueCase {
    std::vector<std::string> entries;
    std::string key;
    std::string expected;
};

void printEntries(const std::vector<std::string>& entries, std::ostream* os) {
    for (const std::string& entry : entries) *os << "[" << entry << "]";
}

void PrintTo(const ValueCase& c, std::ostream* os) {
    printEntries(c.entries, os);
    *os << " value(" << c.key << ")";
}

class OptionValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(OptionValueTest, FirstEntryWhoseKeyMatchesGivesTheTextAfterItsFirstEquals) {
    FakeSystemServices fake;
    const OptionList options(fake, GetParam().entries);
    EXPECT_EQ(options.value(GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionValueTest,
    ::testing::Values(ValueCase{{}, "name", ""}, ValueCase{{"name=pc?d"}, "name", "pc?d"},
                      ValueCase{{"NAME=pc?d"}, "name", "pc?d"},
                      ValueCase{{"name=pc?d"}, "NaMe", "pc?d"},
                      ValueCase{{"name=a=b"}, "name", "a=b"},
                      // The first match wins even when empty, hiding a later one.
                      ValueCase{{"name=", "name=pc?d"}, "name", ""},
                      ValueCase{{"name=one", "name=two"}, "name", "one"},
                      // Only the text before the first "=" is the key, compared whole.
                      ValueCase{{"names=pc", "nam=pc", "name"}, "name", ""},
                      ValueCase{{"name =pc"}, "name", ""},
                      ValueCase{{"=pc", "hello", "/w", "name=x"}, "name", "x"},
                      ValueCase{{"file=db.txt", "start=5"}, "name", ""},
                      ValueCase{{"file=C:\\dir\\names.txt"}, "file", "C:\\dir\\names.txt"},
                      // Values are kept as received: no trimming.
                      ValueCase{{"name= pc "}, "name", " pc "}));

struct FlagCase {
    std::vector<std::string> entries;
    std::string flag;
    bool expected;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
    printEntries(c.entries, os);
    *os << " hasFlag(" << c.flag << ")";
}

class OptionFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(OptionFlagTest, AWholeEntryMatchesIgnoringCase) {
    FakeSystemServices fake;
    const OptionList options(fake, GetParam().entries);
    EXPECT_EQ(options.hasFlag(GetParam().flag), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionFlagTest,
    ::testing::Values(FlagCase{{}, "/w", false}, FlagCase{{"/re"}, "/re", true},
                      FlagCase{{"/re"}, "/r", false}, FlagCase{{"/r"}, "/re", false},
                      FlagCase{{"/W"}, "/w", true}, FlagCase{{"/RE"}, "/re", true},
                      FlagCase{{"name=pc?d", "x", "/d"}, "/d", true},
                      FlagCase{{"/w=1"}, "/w", false}, FlagCase{{" /w"}, "/w", false},
                      FlagCase{{"w"}, "/w", false}));

TEST(OptionListTest, CountsEveryEntryWhetherItMeansAnythingOrNot) {
    FakeSystemServices fake;
    EXPECT_EQ(OptionList(fake, {}).count(), 0u);
    EXPECT_EQ(OptionList(fake, {"hello", "name=pc?d", "", "/x"}).count(), 4u);
}

}  // namespace
}  // namespace vorlane
