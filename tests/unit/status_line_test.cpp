#include "app/status_line.h"

#include <gtest/gtest.h>

#include "app/option_list.h"
#include "app/run_sequence.h"
#include "fake_system_services.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;

TEST(StatusLineTest, ShorterTextCoversTheLongerOneAndClearErasesIt) {
    FakeSystemServices system;
    system.errorTerminal = true;
    StatusLine status(system);
    status.showProbe("pc10", 10, 12);
    status.showProbe("pc9", 9, 12);
    status.clear();
    status.clear();
    EXPECT_EQ(system.errorOutput,
              "\rProbing pc10 (10 of 12)"
              "\rProbing pc9 (9 of 12)  "
              "\r                       \r");
}

TEST(StatusLineTest, WritesNothingWhenStandardErrorIsNoTerminal) {
    FakeSystemServices system;
    system.hostsThatAnswer = {"pc0"};
    const OptionList options(system, {"name=pc?d"});
    EXPECT_EQ(runSequence(system, options), 0);
    EXPECT_EQ(system.errorOutput, "");
}

TEST(StatusLineTest, ARunErasesTheLineBeforeEveryOutcomeLine) {
    FakeSystemServices system;
    system.errorTerminal = true;
    system.hostsThatAnswer = {"pc0"};
    const OptionList options(system, {"name=pc?d", "end=3", "/r"});
    EXPECT_EQ(runSequence(system, options), 0);
    // Whatever was drawn, the terminal ends on a blank, rewound line.
    ASSERT_FALSE(system.errorOutput.empty());
    EXPECT_EQ(system.errorOutput.back(), '\r');
    EXPECT_EQ(system.errorOutput.find('\n'), std::string::npos);
    EXPECT_NE(system.errorOutput.find(" of 3)"), std::string::npos);
}

}  // namespace
}  // namespace vorlane
