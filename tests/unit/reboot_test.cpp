#include "system/reboot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "fake_system_services.h"
#include "run_sequence_with.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;
using Calls = std::vector<std::string>;

// The fake's token handle and its shutdown privilege's LUID, as logged.
const std::string kClose = "CloseHandle(28737)";
const std::string kOpen = "OpenProcessToken()";
const std::string kLookup = "LookupPrivilegeValueA(null,SeShutdownPrivilege)";
// Disable-all false, one privilege, the LUID, the attributes, and the size of
// the record that receives the previous state.
const std::string kEnable = "AdjustTokenPrivileges(0,1,19,2,16)";
const std::string kDisable = "AdjustTokenPrivileges(0,1,19,0,16)";

std::string shutdownCall(const std::string& name) {
    return "InitiateSystemShutdownA(null,ComputerName was changed to " + name + ",10,-1,-1)";
}

std::ptrdiff_t positionOf(const FakeSystemServices& fake, const std::string& call) {
    return std::find(fake.calls.begin(), fake.calls.end(), call) - fake.calls.begin();
}

TEST(ShutdownPrivilegeTest, TheLastErrorAfterTheCloseDecides) {
    const struct {
        const char* what;
        bool enable;
        bool nt;
        bool held;
        const char* failingCall;
        Dword code;
        bool result;
        Calls calls;
    } cases[] = {
        {"enable",
         true,
         true,
         true,
         nullptr,
         0,
         true,
         {kOpen, kLookup, kEnable, kClose, "GetLastError()"}},
        {"disable",
         false,
         true,
         true,
         nullptr,
         0,
         true,
         {kOpen, kLookup, kDisable, kClose, "GetLastError()"}},
        {"not held",
         true,
         true,
         false,
         nullptr,
         0,
         false,
         {kOpen, kLookup, kEnable, kClose, "GetLastError()"}},
        // Without a token there is nothing to close.
        {"no token", true, true, true, "OpenProcessToken", 5, false, {kOpen}},
        // The token is closed all the same, and nothing is adjusted.
        {"no LUID",
         true,
         true,
         true,
         "LookupPrivilegeValueA",
         1313,
         false,
         {kOpen, kLookup, kClose, "GetLastError()"}},
        {"outside NT", true, false, false, "OpenProcessToken", 5, true, {}},
        {"outside NT, disable", false, false, false, nullptr, 0, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemServices fake;
        fake.ntPlatform = c.nt;
        fake.holdsShutdownPrivilege = c.held;
        if (c.failingCall != nullptr) fake.failAlways(c.failingCall, c.code);
        EXPECT_EQ(setShutdownPrivilege(fake, c.enable), c.result);
        EXPECT_EQ(fake.calls, c.calls);
    }
}

TEST(RebootAfterChangeTest, AnAcceptedRequestIsBracketedByThePrivilegeAndSaysNothing) {
    FakeSystemServices fake;
    rebootAfterChange(fake, "pc5");
    EXPECT_EQ(fake.calls,
              (Calls{kOpen, kLookup, kEnable, kClose, "GetLastError()", shutdownCall("pc5"), kOpen,
                     kLookup, kDisable, kClose, "GetLastError()"}));
    EXPECT_EQ(fake.shutdownMessages, Calls{"ComputerName was changed to pc5"});
    EXPECT_EQ(fake.output, "");
    EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST(RebootAfterChangeTest, AMissingPrivilegeIsToldAndTheRestartIsRequestedAnyway) {
    const struct {
        const char* what;
        bool held;
        const char* failingCall;
        Dword code;
        bool textKnown;
        std::string line;
        std::string lastCall;  // of the final disabling
    } cases[] = {
        {"not all assigned", false, nullptr, 1300, true,
         "PrivilegeErr:Not all privileges or groups referenced are assigned to the caller\r\n",
         "GetLastError()"},
        {"not all assigned, no text", false, nullptr, 1300, false, "PrivilegeErr:\r\n",
         "GetLastError()"},
        {"no token", true, "OpenProcessToken", 5, true, "PrivilegeErr:Access is denied\r\n", kOpen},
        {"no LUID", true, "LookupPrivilegeValueA", 1313, true,
         "PrivilegeErr:A specified privilege does not exist\r\n", "GetLastError()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemServices fake;
        fake.holdsShutdownPrivilege = c.held;
        fake.errorTexts[1313] = "A specified privilege does not exist";
        if (!c.textKnown) fake.errorTexts.clear();
        if (c.failingCall != nullptr) fake.failAlways(c.failingCall, c.code);
        rebootAfterChange(fake, "pc5");
        EXPECT_EQ(fake.output, c.line);
        ASSERT_EQ(fake.callsNamed("InitiateSystemShutdownA"), Calls{shutdownCall("pc5")});
        // The line is written before the request, and the privilege is
        // still given back after it.
        EXPECT_LT(positionOf(fake, "systemErrorText(" + std::to_string(c.code) + ")"),
                  positionOf(fake, shutdownCall("pc5")));
        EXPECT_EQ(fake.calls.back(), c.lastCall);
        EXPECT_TRUE(fake.messageBoxes.empty());
    }
}

TEST(RebootAfterChangeTest, ARefusedRequestIsToldInAMessageBoxBeforeThePrivilegeIsDropped) {
    const struct {
        std::string name;
        bool textKnown;
        std::string notice;
    } cases[] = {
        {"pc5", true, "The computer is now called pc5\r\nBut failed to reboot\r\nAccess is denied"},
        {"pc5", false, "The computer is now called pc5\r\nBut failed to reboot\r\n"},
        {"ABCDEFGHIJKLMNO", true,
         "The computer is now called ABCDEFGHIJKLMNO\r\nBut failed to reboot\r\nAccess is denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notice);
        FakeSystemServices fake;
        if (!c.textKnown) fake.errorTexts.clear();
        fake.failAlways("InitiateSystemShutdownA", 5);
        rebootAfterChange(fake, c.name);
        EXPECT_EQ(fake.messageBoxes, Calls{c.notice});
        EXPECT_EQ(fake.calls,
                  (Calls{kOpen, kLookup, kEnable, kClose, "GetLastError()", shutdownCall(c.name),
                         "GetLastError()", "systemErrorText(5)", "MessageBoxA(vorlane,64)", kOpen,
                         kLookup, kDisable, kClose, "GetLastError()"}));
        EXPECT_EQ(fake.output, "");
    }
}

TEST(RebootAfterChangeTest, OutsideNtTheRequestIsMadeAtOnceWithoutAToken) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "accepted");
        FakeSystemServices fake;
        fake.ntPlatform = false;
        fake.holdsShutdownPrivilege = false;
        if (refused) fake.failAlways("InitiateSystemShutdownA", 5);
        rebootAfterChange(fake, "ABCDEFGHIJKLMNO");
        const Calls requestOnly{shutdownCall("ABCDEFGHIJKLMNO")};
        const Calls refusedRequest{shutdownCall("ABCDEFGHIJKLMNO"), "GetLastError()",
                                   "systemErrorText(5)", "MessageBoxA(vorlane,64)"};
        EXPECT_EQ(fake.calls, refused ? refusedRequest : requestOnly);
        EXPECT_EQ(fake.output, "");
    }
}

using testing::run;

using testing::argumentsText;

TEST(RebootPointTest, FollowsTheRecordStepInEveryModeAndPrecedesTheNetworkStop) {
    const struct {
        std::vector<std::string> arguments;
        std::set<std::string> answering;
        std::string applied;
    } cases[] = {
        {{"name=pc?d", "/re", "/w", "file=db.txt"}, {"pc0"}, "pc1"},
        {{"/RE", "name=pc?d", "/r", "end=1", "/w", "file=db.txt"}, {}, "pc0"},
        {{"name=pc?x", "/d", "/w", "/re", "file=db.txt"}, {"pc2A"}, "pc2A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(argumentsText(c.arguments));
        FakeSystemServices fake;
        fake.volumeSerial = 0x2A;
        fake.hostsThatAnswer = c.answering;
        EXPECT_EQ(run(fake, c.arguments), 0);
        EXPECT_EQ(fake.output, "My name is " + c.applied + "\r\n");
        EXPECT_EQ(fake.files["db.txt"].bytes, "0000002A=" + c.applied + "\r\n");
        ASSERT_EQ(fake.callsNamed("InitiateSystemShutdownA"), Calls{shutdownCall(c.applied)});
        const auto changed = positionOf(fake, "SetComputerNameA(" + c.applied + ")");
        const auto recorded = positionOf(fake, "unlockFile(db.txt.lock)");
        const auto enabled = positionOf(fake, kOpen);
        const auto requested = positionOf(fake, shutdownCall(c.applied));
        EXPECT_LT(changed, recorded);
        EXPECT_LT(recorded, enabled);
        EXPECT_LT(enabled, requested);
        EXPECT_EQ(fake.calls.back(), "WSACleanup()");
        EXPECT_EQ(fake.callsNamed("WSACleanup").size(), 1u);
    }
}

TEST(RebootPointTest, WhateverTheRestartDoesTheExitCodeStaysZero) {
    const struct {
        const char* what;
        bool held;
        const char* failingCall;
        std::string output;
        std::size_t boxes;
    } cases[] = {
        {"accepted", true, nullptr, "My name is pc0\r\n", 0},
        {"not held", false, nullptr,
         "My name is pc0\r\n"
         "PrivilegeErr:Not all privileges or groups referenced are assigned to the caller\r\n",
         0},
        {"no token", true, "OpenProcessToken",
         "My name is pc0\r\nPrivilegeErr:Access is denied\r\n", 0},
        {"refused", true, "InitiateSystemShutdownA", "My name is pc0\r\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemServices fake;
        fake.holdsShutdownPrivilege = c.held;
        if (c.failingCall != nullptr) fake.failAlways(c.failingCall, 5);
        EXPECT_EQ(run(fake, {"name=pc?d", "/re"}), 0);
        EXPECT_EQ(fake.output, c.output);
        EXPECT_EQ(fake.messageBoxes.size(), c.boxes);
        EXPECT_EQ(fake.callsNamed("InitiateSystemShutdownA"), Calls{shutdownCall("pc0")});
        EXPECT_EQ(fake.calls.back(), "WSACleanup()");
    }
}

TEST(RebootPointTest, NoRestartWithoutAChangeByPatternAndTheFlag) {
    const struct {
        std::vector<std::string> arguments;
        const char* refusedCall;
        std::string output;
        int exitCode;
    } cases[] = {
        {{"name=pc?d"}, nullptr, "My name is pc0\r\n", 0},
        {{"name=pc?d", "/ree", "re", "/r/e"}, nullptr, "My name is pc0\r\n", 0},
        {{"name=pc?d", "/re", "/n"}, nullptr, "pc0 is free\r\nMy name would be pc0\r\n", 0},
        {{"name=pc?d", "/re"}, "SetComputerNameA", "Access is denied\r\n", 5},
        // A name the database gives, with or without /w.
        {{"file=db.txt", "/re"}, nullptr, "My name is lab07\r\n", 0},
        {{"file=db.txt", "/re", "/w", "name=pc?d"}, nullptr, "My name is lab07\r\n", 0},
        // The database has no name, so the empty one is applied and refused.
        {{"file=none.txt", "/re", "name=pc?d"}, nullptr, "The parameter is incorrect\r\n", 87},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(argumentsText(c.arguments));
        FakeSystemServices fake;
        fake.files["db.txt"].bytes = "00000000=lab07\r\n";
        if (c.refusedCall != nullptr) fake.failAlways(c.refusedCall, 5);
        EXPECT_EQ(run(fake, c.arguments), c.exitCode);
        EXPECT_EQ(fake.output, c.output);
        EXPECT_TRUE(fake.callsNamed("InitiateSystemShutdownA").empty());
        EXPECT_TRUE(fake.callsNamed("OpenProcessToken").empty());
        EXPECT_TRUE(fake.messageBoxes.empty());
    }
}

}  // namespace
}  // namespace vorlane
