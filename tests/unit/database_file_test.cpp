#include "identity/database_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/run_sequence.h"
#include "fake_system_services.h"
#include "os/raised_error.h"
#include "run_sequence_with.h"

namespace vorlane {
namespace {

using namespace std::string_literals;
using testing::FakeSystemServices;
using Calls = std::vector<std::string>;

const std::string kPath = "db.txt";
const std::string kLock = "db.txt.lock";
constexpr Dword kSerial = 0x1A2B;  // the key 00001A2B

// The fake with the others who share a database: a writer that acts when
// the record step first tries the lock, a holder of the lock who lets go at
// a set time, and a program that touches the file right after it was
// replaced.
class SharedDatabase : public FakeSystemServices {
public:
    SharedDatabase() { volumeSerial = kSerial; }

    std::function<void(SharedDatabase&)> atFirstLockAttempt;
    std::uint64_t releaseElsewhereAt = 0;  // 0: never
    std::function<void(SharedDatabase&)> afterReplace;
    std::vector<Dword> pauses;

    LockResult tryLockFile(const std::string& lockPath, FileLock* lock) override {
        if (atFirstLockAttempt) std::exchange(atFirstLockAttempt, nullptr)(*this);
        return FakeSystemServices::tryLockFile(lockPath, lock);
    }
    void sleepMilliseconds(Dword milliseconds) override {
        pauses.push_back(milliseconds);
        FakeSystemServices::sleepMilliseconds(milliseconds);
        if (releaseElsewhereAt != 0 && clock >= releaseElsewhereAt) locksHeldElsewhere.clear();
    }
    bool replaceFile(const std::string& source, const std::string& target) override {
        const bool replaced = FakeSystemServices::replaceFile(source, target);
        if (replaced && afterReplace) afterReplace(*this);
        return replaced;
    }
};

using testing::run;

// True when the fake holds no file but the database and its lock file.
bool onlyDatabaseAndLock(const FakeSystemServices& fake) {
    for (const auto& [name, file] : fake.files) {
        if (name != kPath && name != kLock) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The file operations on their own.

TEST(DatabaseFileTest, PresenceIsAnEntryThatIsNoDirectory) {
    const struct {
        const char* what;
        std::optional<FakeSystemServices::File> entry;
        bool present;
    } cases[] = {
        {"missing", std::nullopt, false},
        {"directory", FakeSystemServices::File{"", true, true}, false},
        {"regular file", FakeSystemServices::File{"", false, true}, true},
        {"FIFO", FakeSystemServices::File{"", false, false}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemServices fake;
        if (c.entry) fake.files[kPath] = *c.entry;
        EXPECT_EQ(databasePresent(fake, kPath), c.present);
    }
}

TEST(DatabaseFileTest, LoadStopsAt256MiBAndRaisesForAFileItCannotOpen) {
    constexpr std::uint64_t kLimit = std::uint64_t{256} * 1024 * 1024;
    for (const std::uint64_t size : {kLimit, kLimit + 1}) {
        FakeSystemServices fake;
        fake.files[kPath].bytes = "00001A2B=lab07\n";
        fake.files[kPath].apparentSize = size;
        NameDatabase database;
        const LoadResult result = loadDatabase(fake, kPath, database);
        EXPECT_EQ(result, size == kLimit ? LoadResult::Loaded : LoadResult::TooLarge) << size;
        EXPECT_EQ(database.serialize(), size == kLimit ? "00001A2B=lab07\r\n" : "") << size;
    }

    FakeSystemServices fake;
    fake.files[kPath].bytes = "00001A2B=lab07\r\n";
    fake.failAlways("readWholeFile", FakeSystemServices::kSharingViolation);
    NameDatabase database;
    try {
        loadDatabase(fake, kPath, database);
        ADD_FAILURE() << "no error raised";
    } catch (const RaisedError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::EFOpenError);
        EXPECT_STREQ(error.what(), "Cannot open file db.txt");
    }
}

TEST(DatabaseFileTest, StoreRecordWorksUnderTheLockOnTheFileAsItIsNow) {
    const std::string now = "# lab\nFFFFFFFF=x";
    const Calls reread{"tryLockFile(db.txt.lock)", "fileHolds(db.txt)",
                       "findEntry(db.txt)",        "readWholeFile(db.txt)",
                       "writeFileBeside(db.txt)",  "replaceFile(db.txt.tmp1,db.txt)",
                       "fileHolds(db.txt)",        "unlockFile(db.txt.lock)"};
    Calls unchanged = reread;
    unchanged.erase(unchanged.begin() + 2, unchanged.begin() + 4);
    const struct {
        const char* what;
        std::optional<std::string> readBefore;
        Calls calls;
    } cases[] = {
        {"nothing read before", std::nullopt, reread},
        {"the file changed since", "# lab\n", reread},
        {"the file as read before", now, unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemServices fake;
        fake.files[kPath].bytes = now;
        NameDatabase database;
        if (c.readBefore) database.parse(*c.readBefore);
        storeRecord(fake, kPath, "00001A2B", "lab12", database);
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_EQ(fake.files[kPath].bytes, "# lab\r\nFFFFFFFF=x\r\n00001A2B=lab12\r\n");
        EXPECT_EQ(database.serialize(), fake.files[kPath].bytes);
        EXPECT_TRUE(onlyDatabaseAndLock(fake));
    }
    EXPECT_EQ(lockFilePath(kPath), kLock);
}

TEST(DatabaseFileTest, StoreRecordWaitsForTheLockWithGrowingPauses) {
    SharedDatabase fake;
    fake.locksHeldElsewhere = {kLock};
    fake.releaseElsewhereAt = 3000;
    NameDatabase database;
    storeRecord(fake, kPath, "00001A2B", "lab12", database);
    EXPECT_EQ(fake.files[kPath].bytes, "00001A2B=lab12\r\n");
    ASSERT_FALSE(fake.pauses.empty());
    EXPECT_LE(fake.pauses.front(), 50u);
    EXPECT_GT(fake.pauses.back(), fake.pauses.front());
    for (std::size_t i = 1; i < fake.pauses.size(); ++i) {
        EXPECT_GE(fake.pauses[i], fake.pauses[i - 1]);
        EXPECT_LE(fake.pauses[i], 1000u);
    }
    // Taken at the first try after the release.
    EXPECT_LT(fake.clock, 3000u + fake.pauses.back());
    EXPECT_EQ(fake.callsNamed("tryLockFile").size(), fake.pauses.size() + 1);
}

TEST(DatabaseFileTest, StoreRecordTriesTheReplaceAgainWhileTheFileIsBusyForAMoment) {
    SharedDatabase fake;
    fake.files[kPath].bytes = "FFFFFFFF=x\r\n";
    fake.replaceBusyTimes = 3;
    NameDatabase database;
    storeRecord(fake, kPath, "00001A2B", "lab12", database);
    EXPECT_EQ(fake.files[kPath].bytes, "FFFFFFFF=x\r\n00001A2B=lab12\r\n");
    EXPECT_EQ(fake.callsNamed("replaceFile"), Calls(4, "replaceFile(db.txt.tmp1,db.txt)"));
    EXPECT_EQ(fake.pauses.size(), 3u);
    EXPECT_TRUE(onlyDatabaseAndLock(fake));
}

// ---------------------------------------------------------------------------
// The database stage of a run.

// The fatal report for a database that is there but cannot be read; the
// place it names changes with the source, so any 8 hex digits do.
void expectCannotOpenReport(const std::string& output) {
    const std::string head = "Exception EFOpenError in module vorlane.exe at ";
    const std::string tail = ".\nCannot open file db.txt.\r\n";
    ASSERT_EQ(output.size(), head.size() + 8 + tail.size()) << output;
    EXPECT_EQ(output.substr(0, head.size()), head);
    EXPECT_EQ(output.substr(head.size() + 8), tail);
    EXPECT_EQ(output.substr(head.size(), 8).find_first_not_of("0123456789ABCDEF"),
              std::string::npos)
        << output;
}

TEST(DatabaseStageTest, TheNameForTheKeyIsAppliedAndTheRunEndsThere) {
    for (const auto& arguments : {std::vector<std::string>{"file=db.txt", "name=pc?d"},
                                  std::vector<std::string>{"/w", "name=pc?d", "file=db.txt"}}) {
        SharedDatabase fake;
        fake.files[kPath].bytes = "FFFFFFFF=pc9\r\n00001a2b=lab07\r\n00001A2B=lab99";
        EXPECT_EQ(run(fake, arguments), 0);
        EXPECT_EQ(fake.output, "My name is lab07\r\n");
        // No network, no lock, nothing written.
        EXPECT_EQ(fake.calls,
                  (Calls{"GetWindowsDirectoryA(261)", "GetVolumeInformationA(C:\\)",
                         "findEntry(db.txt)", "readWholeFile(db.txt)", "SetComputerNameA(lab07)"}));
        EXPECT_EQ(fake.files[kPath].bytes, "FFFFFFFF=pc9\r\n00001a2b=lab07\r\n00001A2B=lab99");
    }
}

TEST(DatabaseStageTest, WithoutANameForTheKeyOrWriteBackTheEmptyNameIsRefused) {
    const struct {
        const char* what;
        std::optional<FakeSystemServices::File> entry;
        bool read;
    } cases[] = {
        {"missing", std::nullopt, false},
        {"directory", FakeSystemServices::File{"", true, true}, false},
        {"empty file", FakeSystemServices::File{"", false, true}, true},
        {"other keys", FakeSystemServices::File{"00001A2B =lab07\r\n0001A2B=x", false, true}, true},
        {"empty value", FakeSystemServices::File{"00001A2B=\r\n00001A2B=lab99", false, true}, true},
        {"after a NUL",
         FakeSystemServices::File{"x\0"
                                  "00001A2B=lab07"s,
                                  false, true},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedDatabase fake;
        if (c.entry) fake.files[kPath] = *c.entry;
        const auto before = fake.files;
        EXPECT_EQ(run(fake, {"name=pc?d", "file=db.txt"}), 87);
        EXPECT_EQ(fake.output, "The parameter is incorrect\r\n");
        EXPECT_EQ(fake.callsNamed("SetComputerNameA"), Calls{"SetComputerNameA()"});
        EXPECT_EQ(fake.callsNamed("readWholeFile").size(), c.read ? 1u : 0u);
        EXPECT_TRUE(fake.callsNamed("WSAStartup").empty());
        EXPECT_EQ(fake.files.size(), before.size());
    }
}

TEST(DatabaseStageTest, APresentFileThatCannotBeReadEndsTheRunBeforeAnyChange) {
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "held open for writing");
        SharedDatabase fake;
        fake.files[kPath].bytes = "00001A2B=lab07\r\n";
        if (fifo) {
            fake.files[kPath].regular = false;
        } else {
            fake.failAlways("readWholeFile", FakeSystemServices::kSharingViolation);
        }
        EXPECT_EQ(run(fake, {"/w", "/re", "name=pc?d", "file=db.txt"}), 1);
        expectCannotOpenReport(fake.output);
        EXPECT_TRUE(fake.callsNamed("SetComputerNameA").empty());
        EXPECT_TRUE(fake.callsNamed("WSAStartup").empty());
    }
}

TEST(DatabaseStageTest, ADatabaseOver256MiBEndsTheRunBeforeAnyChange) {
    for (const auto& arguments : {std::vector<std::string>{"file=db.txt"},
                                  std::vector<std::string>{"/w", "name=pc?d", "file=db.txt"}}) {
        SharedDatabase fake;
        fake.files[kPath].bytes = "00001A2B=lab07\r\n";
        fake.files[kPath].apparentSize = kMaxDatabaseSize + 1;
        EXPECT_EQ(run(fake, arguments), -6);
        EXPECT_EQ(fake.output, "The database db.txt is larger than 256 MiB\r\n");
        EXPECT_TRUE(fake.callsNamed("SetComputerNameA").empty());
        EXPECT_TRUE(fake.callsNamed("WSAStartup").empty());
    }
}

TEST(DatabaseStageTest, WithWriteBackANameTheFileGivesAnotherMachineIsTakenWithoutALookup) {
    SharedDatabase fake;
    fake.files[kPath].bytes = "FFFFFFFF=PC0\r\n00001A2B=\r\nEEEEEEEE=pc2\r\n";
    fake.hostsThatAnswer = {"pc1"};
    EXPECT_EQ(run(fake, {"name=pc?d", "/w", "file=db.txt"}), 0);
    EXPECT_EQ(fake.callsNamed("gethostbyname"),
              (Calls{"gethostbyname(pc1)", "gethostbyname(pc3)"}));
    EXPECT_EQ(fake.output, "My name is pc3\r\n");
    EXPECT_EQ(fake.files[kPath].bytes, "FFFFFFFF=PC0\r\n00001A2B=pc3\r\nEEEEEEEE=pc2\r\n");
}

// ---------------------------------------------------------------------------
// The record step of a run.

TEST(RecordStepTest, TheAppliedNameGoesIntoTheFileUnderTheKey) {
    const struct {
        const char* what;
        std::optional<std::string> file;
        std::string written;
    } cases[] = {
        {"missing", std::nullopt, "00001A2B=pc0\r\n"},
        {"empty", "", "00001A2B=pc0\r\n"},
        {"LF breaks", "# lab\n\nFFFFFFFF=x", "# lab\r\n\r\nFFFFFFFF=x\r\n00001A2B=pc0\r\n"},
        {"empty value", "00001a2b=\r\n00001A2B=lab99\r\n", "00001A2B=pc0\r\n00001A2B=lab99\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedDatabase fake;
        if (c.file) fake.files[kPath].bytes = *c.file;
        EXPECT_EQ(run(fake, {"name=pc?d", "/w", "file=db.txt"}), 0);
        EXPECT_EQ(fake.output, "My name is pc0\r\n");
        EXPECT_EQ(fake.files[kPath].bytes, c.written);
        EXPECT_TRUE(onlyDatabaseAndLock(fake));
        EXPECT_EQ(fake.callsNamed("unlockFile"), Calls{"unlockFile(db.txt.lock)"});
    }
}

TEST(RecordStepTest, NothingIsWrittenWithoutWriteBackOrInAPreview) {
    for (const auto& arguments :
         {std::vector<std::string>{"name=pc?d"},
          std::vector<std::string>{"name=pc?d", "/w", "/n", "file=db.txt"}}) {
        SharedDatabase fake;
        fake.files[kPath].bytes = "FFFFFFFF=x";
        EXPECT_EQ(run(fake, arguments), 0);
        EXPECT_TRUE(fake.callsNamed("tryLockFile").empty());
        EXPECT_TRUE(fake.callsNamed("writeFileBeside").empty());
        EXPECT_EQ(fake.files[kPath].bytes, "FFFFFFFF=x");
    }
}

TEST(RecordStepTest, WhatOtherWritersRecordedSinceTheLoadIsKept) {
    const struct {
        const char* what;
        std::optional<std::string> atLoad;
        std::string atRecord;
        std::string written;
    } cases[] = {
        {"line added", "AAAAAAAA=x\r\n", "AAAAAAAA=x\r\nCCCCCCCC=y\r\n",
         "AAAAAAAA=x\r\nCCCCCCCC=y\r\n00001A2B=pc0\r\n"},
        {"file created", std::nullopt, "CCCCCCCC=y\r\n", "CCCCCCCC=y\r\n00001A2B=pc0\r\n"},
        // Another run for this machine got there first: its line is replaced.
        {"same key", "AAAAAAAA=x\r\n", "AAAAAAAA=x\r\n00001A2B=pc7\r\n",
         "AAAAAAAA=x\r\n00001A2B=pc0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedDatabase fake;
        if (c.atLoad) fake.files[kPath].bytes = *c.atLoad;
        fake.atFirstLockAttempt = [&c](SharedDatabase& shared) {
            shared.files[kPath].bytes = c.atRecord;
        };
        EXPECT_EQ(run(fake, {"name=pc?d", "/w", "file=db.txt"}), 0);
        EXPECT_EQ(fake.output, "My name is pc0\r\n");
        EXPECT_EQ(fake.files[kPath].bytes, c.written);
    }
}

TEST(RecordStepTest, AFailureLeavesTheFileAsItWasAndTheRunGoesOn) {
    const std::string kFile = "AAAAAAAA=x\r\n";
    const struct {
        const char* what;
        std::function<void(SharedDatabase&)> arrange;
        std::string message;
        bool lockTaken;
        std::uint64_t waited;  // at least this long, and not much longer
    } cases[] = {
        {"lock file cannot be opened",
         [](SharedDatabase& fake) { fake.failAlways("tryLockFile", 5); },
         "Cannot open lock file db.txt.lock", false, 0},
        {"lock held too long", [](SharedDatabase& fake) { fake.locksHeldElsewhere = {kLock}; },
         "Another program holds the lock file db.txt.lock too long", false, 20000},
        {"file grown unreadable",
         [](SharedDatabase& fake) {
             fake.atFirstLockAttempt = [](SharedDatabase& shared) {
                 shared.failAlways("fileHolds", FakeSystemServices::kSharingViolation);
                 shared.failAlways("readWholeFile", FakeSystemServices::kSharingViolation);
             };
         },
         "Cannot open file db.txt", true, 0},
        {"file grown too large",
         [](SharedDatabase& fake) {
             fake.atFirstLockAttempt = [](SharedDatabase& shared) {
                 shared.files[kPath].apparentSize = kMaxDatabaseSize + 1;
             };
         },
         "The file db.txt is larger than 256 MiB", true, 0},
        {"bytes after a NUL",
         [](SharedDatabase& fake) { fake.files[kPath].bytes = "AAAAAAAA=x\r\n\0BBBBBBBB=y\r\n"s; },
         "The file db.txt holds bytes after a NUL byte and was left unchanged", true, 0},
        {"new file not created",
         [](SharedDatabase& fake) { fake.failAlways("writeFileBeside", 5); },
         "Cannot create file db.txt", true, 0},
        {"disk full", [](SharedDatabase& fake) { fake.diskFull = true; }, "Stream write error",
         true, 0},
        {"replace refused", [](SharedDatabase& fake) { fake.failAlways("replaceFile", 5); },
         "Cannot create file db.txt", true, 0},
        {"replace busy too long", [](SharedDatabase& fake) { fake.replaceBusyTimes = 1000000; },
         "Cannot create file db.txt", true, 20000},
        // Refused before anything is written, whether or not the system
        // would let a file take a directory's place.
        {"directory",
         [](SharedDatabase& fake) {
             fake.files[kPath] = FakeSystemServices::File{"", true, true};
         },
         "Cannot create file db.txt", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedDatabase fake;
        fake.files[kPath].bytes = kFile;
        c.arrange(fake);
        const FakeSystemServices::File before = fake.files[kPath];

        EXPECT_EQ(run(fake, {"name=pc?d", "/w", "/re", "file=db.txt"}), 0);
        EXPECT_EQ(fake.output,
                  "My name is pc0\r\nFailed to store name into database: " + c.message + "\r\n");
        EXPECT_EQ(fake.files[kPath].bytes, before.bytes);
        EXPECT_EQ(fake.files[kPath].directory, before.directory);
        EXPECT_TRUE(onlyDatabaseAndLock(fake));
        EXPECT_EQ(fake.callsNamed("unlockFile"),
                  c.lockTaken ? Calls{"unlockFile(db.txt.lock)"} : Calls{});
        EXPECT_GE(fake.clock, c.waited);
        EXPECT_LT(fake.clock, c.waited + 1000);
        // A long wait backs off instead of polling the shared file hard: at
        // most one try in 40 ms over the 20 s.
        EXPECT_LE(fake.callsNamed("tryLockFile").size(), 500u);
        EXPECT_LE(fake.callsNamed("replaceFile").size(), 500u);
        // The restart is still requested, and the network stopped last.
        EXPECT_EQ(fake.callsNamed("InitiateSystemShutdownA").size(), 1u);
        EXPECT_EQ(fake.calls.back(), "WSACleanup()");
    }
}

TEST(RecordStepTest, AFileThatDoesNotReadBackAsWrittenIsReported) {
    SharedDatabase fake;
    fake.afterReplace = [](SharedDatabase& shared) { shared.files[kPath].bytes += "tail"; };
    EXPECT_EQ(run(fake, {"name=pc?d", "/w", "file=db.txt"}), 0);
    EXPECT_EQ(fake.output,
              "My name is pc0\r\nFailed to store name into database: "
              "The file db.txt does not read back as written\r\n");
    EXPECT_EQ(fake.callsNamed("unlockFile"), Calls{"unlockFile(db.txt.lock)"});
    EXPECT_TRUE(onlyDatabaseAndLock(fake));
}

}  // namespace
}  // namespace vorlane
