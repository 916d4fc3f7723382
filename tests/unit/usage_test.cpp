#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/option_list.h"
#include "app/run_sequence.h"
#include "fake_system_services.h"
#include "os/console.h"
#include "run_sequence_with.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;

using testing::run;

const std::string kReminder =
    "You forgot to define name= or file= in the command, please choose one and try again\r\n";

std::string usageScreen(const std::string& program, const std::string& key) {
    return "Usage: " + program +
           " [start=] [end=] [name=] [file=] [/w] [/r] [/re] [/d]\r\n"
           "start  Starting number, 0 is default\r\n"
           "end    Ending number default is start+255\r\n"
           "name   Computernaming, this or file must be specified\r\n"
           "/w     Writes to the text file the computer name chosen plus the hdd serial "
           "number(if not found in the database) the filename is from file= parameter.\r\n"
           "/re    Reboot the computer on a successful change.\r\n"
           "/r     Generates a random number in the name. Only [end=] is the optional parameter "
           "for this switch.\r\n"
           "/d     Uses the main harddrive serialnumber\r\n"
           "file   Gets computername from a text file and uses harddrive serial number to lookup "
           "the name\r\n"
           "Number Format specifers:\r\n"
           "?d     Decimal number\r\n"
           "?x     Hexadecimal number\r\n"
           "example: " +
           program +
           " start=100 end=199 name=client?d\r\n"
           "This computer's harddrive serial number is " +
           key +
           "\r\n"
           "Max. length:15 characters.\r\n"
           "Press enter to return...\r\n";
}

// --- The two rules for /w ----------------------------------------------------

TEST(CheckArgumentsTest, TheNameRuleComesBeforeTheFileRuleAndNothingIsReadAfterEither) {
    const std::string kNeedsName = "The /w command switch needs a name= parameter\r\n";
    const std::string kNeedsFile = "Can't store the name into a file without a filename\r\n";
    const struct {
        std::vector<std::string> arguments;
        std::string line;
        int exitCode;
    } cases[] = {
        {{"/w"}, kNeedsName, -2},
        {{"/w", "file=db.txt"}, kNeedsName, -2},
        {{"/W", "name=", "file=db.txt"}, kNeedsName, -2},
        {{"/w", "name=pc?d"}, kNeedsFile, -3},
        {{"name=pc?d", "/W", "file="}, kNeedsFile, -3},
        {{"/w", "name=pc?d", "/d", "/r"}, kNeedsFile, -3},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        EXPECT_EQ(run(fake, c.arguments), c.exitCode) << c.arguments[0];
        EXPECT_EQ(fake.output, c.line);
        EXPECT_TRUE(fake.calls.empty()) << "no call, not even the serial, after a failed rule";
    }
}

TEST(CheckArgumentsTest, PassesWithoutWriteBackOrWithBothOptions) {
    const std::vector<std::vector<std::string>> passing = {
        {}, {"/r"}, {"name=pc?d"}, {"/w", "name=pc?d", "file=db.txt"}, {"/re", "/wx"}};
    for (const auto& arguments : passing) {
        FakeSystemServices fake;
        const OptionList options(fake, arguments);
        EXPECT_FALSE(checkArguments(fake, options).has_value());
        EXPECT_EQ(fake.output, "");
    }
}

// --- The usage screen --------------------------------------------------------

TEST(UsageScreenTest, ShowsEveryRowWithTheProgramAndThisMachinesKey) {
    const struct {
        VolumeSerial serial;
        const char* key;
        const char* program;
    } cases[] = {
        {0x1A2B, "00001A2B", "vorlane.exe"},
        {0xFFFFFFFF, "FFFFFFFF", "VORLANE.EXE"},
        {0x3E9A07C4, "3E9A07C4", "rename"},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.volumeSerial = c.serial;
        fake.programName = c.program;
        EXPECT_EQ(run(fake, {}), 0);
        EXPECT_EQ(fake.output, usageScreen(c.program, c.key));
    }
}

TEST(UsageScreenTest, AFailedSerialQueryShowsZeroKey) {
    FakeSystemServices fake;
    fake.volumeSerial = 0x1A2B;
    fake.failAlways("GetVolumeInformationA", 21);
    EXPECT_EQ(run(fake, {}), 0);
    EXPECT_EQ(fake.output, usageScreen("vorlane.exe", "00000000"));
}

TEST(UsageScreenTest, ARemindersComesFirstWheneverAnyArgumentWasGiven) {
    const std::vector<std::vector<std::string>> cases = {
        {"start=5"},
        {"/r"},
        {"hello"},
        {"name="},
        {"name=", "file="},
        // The first name= wins, and it is empty.
        {"name=", "name=pc?d"},
        {"/n", "/re", "/d"},
    };
    for (const auto& arguments : cases) {
        FakeSystemServices fake;
        fake.volumeSerial = 0x1A2B;
        EXPECT_EQ(run(fake, arguments), 0);
        EXPECT_EQ(fake.output, kReminder + usageScreen("vorlane.exe", "00001A2B")) << arguments[0];
    }
}

TEST(UsageScreenTest, IsShownAfterTheSerialIsReadAndStartsNoNetwork) {
    FakeSystemServices fake;
    fake.input = "\r\n";
    EXPECT_EQ(run(fake, {"start=5"}), 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetWindowsDirectoryA(261)",
                                                    "GetVolumeInformationA(C:\\)"}));
    EXPECT_EQ(fake.unreadInput(), "") << "the screen waits for Enter";
}

// --- Over-long arguments -----------------------------------------------------

TEST(ArgumentLengthTest, An256CharacterArgumentIsRefusedBeforeAnythingIsRead) {
    const std::string longest(255, 'a');
    const std::string tooLong = "name=" + std::string(251, 'b');  // 256
    const std::string other = std::string(39, 'c') + "defgh" + std::string(300, 'x');
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{tooLong},
         "Argument 1 is longer than 255 characters: name=" + std::string(35, 'b') + "...\r\n"},
        {{"name=pc?d", other, tooLong},
         "Argument 2 is longer than 255 characters: " + std::string(39, 'c') + "d...\r\n"},
        // Before the rules for /w too.
        {{"/w", longest, tooLong},
         "Argument 3 is longer than 255 characters: name=" + std::string(35, 'b') + "...\r\n"},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        EXPECT_EQ(run(fake, c.arguments), -4);
        EXPECT_EQ(fake.output, c.line);
        EXPECT_TRUE(fake.calls.empty());
    }
}

TEST(ArgumentLengthTest, A255CharacterArgumentIsTakenWhole) {
    FakeSystemServices fake;
    const std::string file = "file=" + std::string(250, 'f');
    const OptionList options(fake, {file, std::string(255, 'z')});
    EXPECT_FALSE(checkArgumentLengths(fake, options).has_value());
    EXPECT_EQ(options.value("file"), std::string(250, 'f'));
    EXPECT_EQ(fake.output, "");
}

// --- Waiting for Enter -------------------------------------------------------

TEST(WaitForEnterTest, ReadsUpToTheLineEndOrTheEndOfInput) {
    const struct {
        std::string input;
        std::string left;
    } cases[] = {
        {"", ""},
        {"typed but never ended", ""},
        {"\r\n", ""},
        {"abc\r\nnext\r\n", "next\r\n"},
        {"abc\nnext", "next"},
        {"\n\r\n", "\r\n"},
        {"\r\n\r\n", "\r\n"},
        {"abc\r", ""},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.input = c.input;
        waitForEnter(fake);
        EXPECT_EQ(fake.unreadInput(), c.left) << c.input;
    }
}

}  // namespace
}  // namespace vorlane
