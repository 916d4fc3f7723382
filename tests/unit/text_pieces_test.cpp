#include "os/text_pieces.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace vorlane {
namespace {

using Views = std::vector<std::string_view>;

TEST(PiecesMatcherTest, MatchesPartsThatCutThePiecesAnywhere) {
    const Views pieces{"ab", "", "cde", "f"};
    const struct {
        const char* what;
        Views parts;
        bool matched;  // every part matched
        bool atEnd;    // and nothing of the pieces is left
    } cases[] = {
        {"the same cuts", {"ab", "cde", "f"}, true, true},
        {"other cuts", {"a", "bcd", "", "ef"}, true, true},
        {"one part", {"abcdef"}, true, true},
        {"a part short", {"abcde"}, true, false},
        {"a byte more", {"abcdefg"}, false, false},
        {"a byte other", {"abcdeF"}, false, false},
        {"a difference across a cut", {"abX"}, false, false},
        {"nothing", {}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PiecesMatcher matcher(pieces);
        bool matched = true;
        for (const std::string_view part : c.parts) matched = matched && matcher.matchNext(part);
        EXPECT_EQ(matched, c.matched);
        EXPECT_EQ(matched && matcher.atEnd(), c.atEnd);
    }
    EXPECT_EQ(totalSize(pieces), 6u);
}

TEST(PiecesMatcherTest, NoPiecesOrOnlyEmptyOnesAreAtTheEndAtOnce) {
    for (const Views& pieces : {Views{}, Views{"", ""}}) {
        PiecesMatcher matcher(pieces);
        EXPECT_TRUE(matcher.matchNext(""));
        EXPECT_TRUE(matcher.atEnd());
        EXPECT_FALSE(matcher.matchNext("x"));
    }
}

}  // namespace
}  // namespace vorlane
