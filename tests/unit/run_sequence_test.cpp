#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "app/fatal_error.h"
#include "fake_system_services.h"
#include "os/raised_error.h"
#include "run_sequence_with.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;
using Calls = std::vector<std::string>;

using testing::run;

using testing::argumentsText;

std::vector<std::string> probes(const FakeSystemServices& fake) {
    std::vector<std::string> names;
    for (const std::string& call : fake.callsNamed("gethostbyname")) {
        names.push_back(call.substr(14, call.size() - 15));
    }
    return names;
}

std::ptrdiff_t positionOf(const FakeSystemServices& fake, const std::string& call) {
    return std::find(fake.calls.begin(), fake.calls.end(), call) - fake.calls.begin();
}

// The network is started once, after the serial was read, and stopped once,
// as the very last call of the run.
void expectNetworkBracket(const FakeSystemServices& fake) {
    EXPECT_EQ(fake.callsNamed("WSAStartup"), Calls{"WSAStartup(257)"});
    EXPECT_EQ(fake.callsNamed("WSACleanup"), Calls{"WSACleanup()"});
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls.back(), "WSACleanup()");
    EXPECT_LT(positionOf(fake, "GetVolumeInformationA(C:\\)"), positionOf(fake, "WSAStartup(257)"));
}

TEST(RunSequenceTest, ATypicalRunInOrder) {
    FakeSystemServices fake;
    fake.hostsThatAnswer = {"client100", "client101"};
    EXPECT_EQ(run(fake, {"start=100", "end=199", "name=client?d"}), 0);
    EXPECT_EQ(fake.output, "My name is client102\r\n");
    EXPECT_EQ(fake.computerName, "client102");
    EXPECT_EQ(fake.calls,
              (Calls{"GetWindowsDirectoryA(261)", "GetVolumeInformationA(C:\\)", "WSAStartup(257)",
                     "SetLastError(0)", "gethostbyname(client100)", "gethostbyname(client101)",
                     "gethostbyname(client102)", "SetComputerNameA(client102)", "WSACleanup()"}));
}

TEST(RunSequenceTest, TheModeIsSerialThenRandomThenSequential) {
    const struct {
        std::vector<std::string> arguments;
        std::string applied;
        std::vector<std::string> probes;
    } cases[] = {
        {{"name=pc?d", "/d", "/r", "start=7"}, "pc42", {}},
        {{"/r", "/D", "name=pc?x"}, "pc2A", {}},
        {{"name=pc?d", "/r", "end=1", "start=7"}, "pc0", {"pc0"}},
        {{"name=pc?d", "/R", "end=0"}, "pc0", {"pc0"}},
        {{"name=pc?d", "start=7"}, "pc7", {"pc7"}},
        // Neither /re nor /dx is /r or /d.
        {{"name=pc?d", "start=7", "/re", "/dx"}, "pc7", {"pc7"}},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.volumeSerial = 42;
        EXPECT_EQ(run(fake, c.arguments), 0) << argumentsText(c.arguments);
        EXPECT_EQ(fake.callsNamed("SetComputerNameA"), Calls{"SetComputerNameA(" + c.applied + ")"})
            << argumentsText(c.arguments);
        EXPECT_EQ(probes(fake), c.probes);
        EXPECT_EQ(fake.output, "My name is " + c.applied + "\r\n");
    }
}

TEST(RunSequenceTest, SerialModeTakesTheSerialAsSignedAndZeroWhenTheQueryFailed) {
    const struct {
        std::uint32_t serial;
        bool queryFails;
        std::string name;
        std::string applied;
    } cases[] = {
        {0x80000000, false, "name=pc?d", "pc-2147483648"},
        {0x3E9A07C4, false, "name=pc?x", "pc3E9A07C4"},
        {0x3E9A07C4, true, "name=pc?d", "pc0"},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.volumeSerial = c.serial;
        fake.everyHostAnswers = true;
        if (c.queryFails) fake.failAlways("GetVolumeInformationA", 21);
        EXPECT_EQ(run(fake, {"/d", c.name}), 0);
        EXPECT_EQ(fake.output, "My name is " + c.applied + "\r\n");
        EXPECT_TRUE(probes(fake).empty());
        expectNetworkBracket(fake);
    }
}

TEST(RunSequenceTest, RandomModeIsReproducibleFromItsSeed) {
    auto drawn = [](std::uint64_t seed) {
        FakeSystemServices fake;
        fake.seed = seed;
        fake.everyHostAnswers = true;
        EXPECT_EQ(run(fake, {"/r", "end=1000000", "name=pc?d"}), -1);
        return probes(fake);
    };
    EXPECT_EQ(drawn(7), drawn(7));
    EXPECT_NE(drawn(7), drawn(8));
}

// --- Every ending of the pattern stage ----------------------------------------

struct Ending {
    const char* what;
    std::vector<std::string> arguments;
    std::function<void(FakeSystemServices&)> setUp;
    int exitCode;
    std::string output;
};

TEST(RunEndingTest, EachTellsItsOutcomeAndStopsTheNetworkOnce) {
    const std::string sixteen = "abcdefghijklmn00";
    const Ending endings[] = {
        {"free name", {"name=pc?d"}, [](FakeSystemServices&) {}, 0, "My name is pc0\r\n"},
        {"refused change",
         {"name=pc?d"},
         [](FakeSystemServices& f) { f.failAlways("SetComputerNameA", 5); },
         5,
         "Access is denied\r\n"},
        {"all taken",
         {"name=pc?d", "start=10", "end=11"},
         [](FakeSystemServices& f) { f.everyHostAnswers = true; },
         -1,
         "All spots taken.\r\n"},
        {"empty range",
         {"name=pc?d", "start=2147483647"},
         [](FakeSystemServices&) {},
         -1,
         "All spots taken.\r\n"},
        {"random, all taken",
         {"name=pc?d", "/r", "end=2"},
         [](FakeSystemServices& f) { f.everyHostAnswers = true; },
         -1,
         "All spots taken.\r\n"},
        {"name too long",
         {"name=abcdefghijklmn?.2d"},
         [](FakeSystemServices&) {},
         -5,
         "The name \"" + sixteen + "\" is longer than 15 characters\r\n"},
        {"serial too long",
         {"/d", "name=abcdefghijklmn?.2d"},
         [](FakeSystemServices&) {},
         -5,
         "The name \"" + sixteen + "\" is longer than 15 characters\r\n"},
        {"serial", {"/d", "name=pc?d"}, [](FakeSystemServices&) {}, 0, "My name is pc0\r\n"},
        {"network start failed",
         {"name=pc?d"},
         [](FakeSystemServices& f) {
             f.failAlways("WSAStartup", 10091);
             f.everyHostAnswers = true;
         },
         0,
         "My name is pc0\r\n"},
        {"network stop failed",
         {"name=pc?d"},
         [](FakeSystemServices& f) { f.failAlways("WSACleanup", 10093); },
         0,
         "My name is pc0\r\n"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.what);
        FakeSystemServices fake;
        ending.setUp(fake);
        EXPECT_EQ(run(fake, ending.arguments), ending.exitCode);
        EXPECT_EQ(fake.output, ending.output);
        expectNetworkBracket(fake);
        // The last error is cleared once, after the start and before any probe.
        EXPECT_EQ(fake.callsNamed("SetLastError"), Calls{"SetLastError(0)"});
        EXPECT_EQ(positionOf(fake, "SetLastError(0)"), positionOf(fake, "WSAStartup(257)") + 1);
    }
}

TEST(RunEndingTest, NoChangeIsTriedWhenNoNameWasFound) {
    const std::vector<std::vector<std::string>> cases = {
        {"name=pc?d", "end=3"}, {"name=pc?d", "/r", "end=3"}, {"name=abcdefghijklmn?.2d"}};
    for (const auto& arguments : cases) {
        FakeSystemServices fake;
        fake.everyHostAnswers = true;
        EXPECT_NE(run(fake, arguments), 0);
        EXPECT_TRUE(fake.callsNamed("SetComputerNameA").empty()) << argumentsText(arguments);
        EXPECT_EQ(fake.computerName, "OLDNAME");
    }
}

TEST(RunEndingTest, WithoutANetworkTheFirstCandidateIsTaken) {
    const struct {
        std::vector<std::string> arguments;
        std::string applied;
    } cases[] = {
        {{"name=pc?d", "start=5"}, "pc5"},
        {{"name=pc?d", "/r", "end=1"}, "pc0"},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.failAlways("WSAStartup", 10091);
        fake.everyHostAnswers = true;
        EXPECT_EQ(run(fake, c.arguments), 0);
        EXPECT_EQ(probes(fake), Calls{c.applied}) << "only one probe";
        EXPECT_EQ(fake.output, "My name is " + c.applied + "\r\n");
    }
}

// --- A refused change ---------------------------------------------------------

TEST(RefusedChangeTest, TheErrorTextAloneIsTheLineAndTheCodeIsTheExitCode) {
    const struct {
        std::vector<std::string> arguments;
        std::uint32_t code;
        std::string line;
        int exitCode;
    } cases[] = {
        {{"name=pc?d"}, 5, "Access is denied", 5},
        {{"name=pc?d", "/r", "end=1"}, 5, "Access is denied", 5},
        {{"name=pc?d", "/d"}, 87, "The parameter is incorrect", 87},
        // A code the system has no text for still gives its line, empty.
        {{"name=pc?d"}, 1234, "", 1234},
        // All 32 bits of the code become the exit code.
        {{"name=pc?d"}, 0x80070005, "", -2147024891},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.failAlways("SetComputerNameA", c.code);
        EXPECT_EQ(run(fake, c.arguments), c.exitCode) << argumentsText(c.arguments);
        EXPECT_EQ(fake.output, c.line + "\r\n");
        const Calls tail(fake.calls.end() - 4, fake.calls.end());
        EXPECT_EQ(tail, (Calls{"SetComputerNameA(pc0)", "GetLastError()",
                               "systemErrorText(" + std::to_string(c.code) + ")", "WSACleanup()"}));
        EXPECT_EQ(fake.computerName, "OLDNAME");
    }
}

TEST(RefusedChangeTest, AnEmptyNameIsHandedOverAndRefusedByTheSystem) {
    FakeSystemServices fake;
    EXPECT_EQ(run(fake, {"name=?"}), 87);
    EXPECT_EQ(fake.callsNamed("SetComputerNameA"), Calls{"SetComputerNameA()"});
    EXPECT_EQ(fake.output, "The parameter is incorrect\r\n");
}

// --- Names at the length limit ------------------------------------------------

TEST(NameLimitTest, FifteenCharactersAreAppliedWhole) {
    FakeSystemServices fake;
    EXPECT_EQ(run(fake, {"name=abcdefghijklm?.2d"}), 0);
    EXPECT_EQ(fake.output, "My name is abcdefghijklm00\r\n");
    EXPECT_EQ(fake.computerName, "abcdefghijklm00");
}

TEST(NameLimitTest, SixteenCharactersAreRefusedWithoutAProbe) {
    FakeSystemServices fake;
    EXPECT_EQ(run(fake, {"name=abcdefghijklmn?.2d"}), -5);
    EXPECT_EQ(fake.calls, (Calls{"GetWindowsDirectoryA(261)", "GetVolumeInformationA(C:\\)",
                                 "WSAStartup(257)", "SetLastError(0)", "WSACleanup()"}));
}

// --- Preview ------------------------------------------------------------------

TEST(PreviewTest, TellsEveryProbeAndTheNameWithoutChangingIt) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string output;
    } cases[] = {
        {{"/n", "name=pc?d"},
         0,
         "pc0 is taken\r\npc1 is taken\r\npc2 is free\r\nMy name would be pc2\r\n"},
        {{"name=pc?d", "/N", "start=10", "end=11"},
         -1,
         "pc10 is taken\r\npc11 is taken\r\nAll spots taken.\r\n"},
        {{"/n", "/r", "end=1", "name=pc?d"}, -1, "pc0 is taken\r\nAll spots taken.\r\n"},
        {{"/n", "/d", "name=pc?x"}, 0, "My name would be pc1A2B\r\n"},
        {{"/n", "name=abcdefghijklmn?.2d"},
         -5,
         "The name \"abcdefghijklmn00\" is longer than 15 characters\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(argumentsText(c.arguments));
        FakeSystemServices fake;
        fake.volumeSerial = 0x1A2B;
        fake.hostsThatAnswer = {"pc0", "pc1", "pc10", "pc11"};
        EXPECT_EQ(run(fake, c.arguments), c.exitCode);
        EXPECT_EQ(fake.output, c.output);
        EXPECT_TRUE(fake.callsNamed("SetComputerNameA").empty());
        EXPECT_EQ(fake.computerName, "OLDNAME");
        expectNetworkBracket(fake);
    }
}

// --- The fatal-error report ---------------------------------------------------

// Checks the one-report output around its eight site digits, and returns them.
std::string expectFatalReport(const FakeSystemServices& fake, const std::string& head,
                              const std::string& message) {
    static const std::regex report("([^\n]*) at ([0-9A-F]{8})\\.\n([^\n]*)\r\n");
    std::smatch match;
    if (!std::regex_match(fake.output, match, report)) {
        ADD_FAILURE() << "not a fatal report: " << fake.output;
        return {};
    }
    EXPECT_EQ(match[1].str(), head);
    EXPECT_EQ(match[3].str(), message);
    return match[2].str();
}

TEST(FatalReportTest, AFaultyPatternEndsTheRunBeforeAnyProbeInEveryMode) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"name=pc?s"}, "Format '%s' invalid or incompatible with argument."},
        {{"name=pc?s", "/r"}, "Format '%s' invalid or incompatible with argument."},
        {{"name=pc?s", "/d", "/n"}, "Format '%s' invalid or incompatible with argument."},
        {{"name=pc?d?d"}, "No argument for format '%d'."},
    };
    std::vector<std::string> sites;
    for (const auto& c : cases) {
        SCOPED_TRACE(argumentsText(c.arguments));
        FakeSystemServices fake;
        EXPECT_EQ(run(fake, c.arguments), 1);
        sites.push_back(
            expectFatalReport(fake, "Exception EConvertError in module vorlane.exe", c.message));
        // The network was started, and is left to end with the process.
        EXPECT_EQ(fake.calls, (Calls{"GetWindowsDirectoryA(261)", "GetVolumeInformationA(C:\\)",
                                     "WSAStartup(257)", "SetLastError(0)"}));
    }
    // One raise site gives the same digits every time; another site others.
    EXPECT_EQ(sites[0], sites[1]);
    EXPECT_EQ(sites[0], sites[2]);
    EXPECT_NE(sites[0], sites[3]);
}

TEST(FatalReportTest, EndsTheMessageWithOneFullStop) {
    const struct {
        std::string message;
        std::string shown;
    } cases[] = {
        {"Cannot open file \"db.txt\"", "Cannot open file \"db.txt\"."},
        {"Cannot open file \"db.txt\".", "Cannot open file \"db.txt\"."},
        {"", "."},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.programName = "VL.EXE";
        const RaisedError error(ErrorKind::EFOpenError, c.message);
        EXPECT_EQ(reportFatalError(fake, error), 1);
        expectFatalReport(fake, "Exception EFOpenError in module VL.EXE", c.shown);
    }
}

}  // namespace
}  // namespace vorlane
