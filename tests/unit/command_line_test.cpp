#include "os/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace vorlane {
namespace {

struct SplitCase {
    std::string line;
    std::vector<std::string> words;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << "[" << c.line << "]";
}

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsIntoWords) {
    EXPECT_EQ(splitCommandLine(GetParam().line), GetParam().words);
}

using Words = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(Plain, SplitCommandLineTest,
                         ::testing::Values(SplitCase{"", Words{}}, SplitCase{"   ", Words{}},
                                           SplitCase{"prog", Words{"prog"}},
                                           SplitCase{"prog name=pc?d /w",
                                                     Words{"prog", "name=pc?d", "/w"}},
                                           SplitCase{"  prog   a  ", Words{"prog", "a"}}));

INSTANTIATE_TEST_SUITE_P(
    Quotes, SplitCommandLineTest,
    ::testing::Values(SplitCase{"prog \"name=my pc?d\"", Words{"prog", "name=my pc?d"}},
                      SplitCase{"\"C:\\Program Files\\v.exe\" /d",
                                Words{"C:\\Program Files\\v.exe", "/d"}},
                      // A stretch may open and close inside a word; the word goes on after it.
                      SplitCase{"prog name=\"my pc\"?d x", Words{"prog", "name=my pc?d", "x"}},
                      SplitCase{"prog a\"\"b", Words{"prog", "ab"}},
                      // An unclosed stretch runs to the end of the line.
                      SplitCase{"prog \"a b", Words{"prog", "a b"}},
                      SplitCase{"prog a\"b  c", Words{"prog", "ab  c"}}));

INSTANTIATE_TEST_SUITE_P(
    EmptyQuotes, SplitCommandLineTest,
    ::testing::Values(SplitCase{"prog \"\"", Words{"prog"}},
                      SplitCase{"prog \"\" a", Words{"prog", "a"}},
                      SplitCase{"prog \"\"\"\" a", Words{"prog", "a"}},
                      // At the start of a word the pair is skipped like blank space.
                      SplitCase{"prog \"\"a", Words{"prog", "a"}},
                      SplitCase{"prog \"\"\"a b\"", Words{"prog", "a b"}}));

INSTANTIATE_TEST_SUITE_P(Separators, SplitCommandLineTest,
                         ::testing::Values(SplitCase{"prog\ta\001b\nc\rd\037e",
                                                     Words{"prog", "a", "b", "c", "d", "e"}},
                                           // Bytes above 0x7F are text, not control characters.
                                           SplitCase{"prog caf\xE9 \xA0x \xFF",
                                                     Words{"prog", "caf\xE9", "\xA0x", "\xFF"}},
                                           SplitCase{"prog \"a\tb\"", Words{"prog", "a\tb"}}));

INSTANTIATE_TEST_SUITE_P(
    Backslashes, SplitCommandLineTest,
    ::testing::Values(SplitCase{"prog C:\\dir\\ x", Words{"prog", "C:\\dir\\", "x"}},
                      SplitCase{"prog a\\\"b c\"", Words{"prog", "a\\b c"}},
                      SplitCase{"prog \\\\server\\share", Words{"prog", "\\\\server\\share"}}));

}  // namespace
}  // namespace vorlane
