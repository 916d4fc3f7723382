// Drives the database record step from tests, on Linux and under Wine:
//   record_tool record DATABASE KEY NAME [START_FILE]
//     waits until START_FILE exists (so that many writers start together),
//     reads the database and records KEY=NAME in it, prints "ok" or "error: <message>" and exits 0
//     or 1.
//   record_tool lock DATABASE SECONDS
//     takes the database's lock, prints "locked", holds it, then exits.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "identity/database_file.h"
#include "os/raised_error.h"
#include "os/system_services.h"

namespace {

int usage() {
    std::fputs(
        "usage: record_tool record DATABASE KEY NAME [START_FILE]\n"
        "       record_tool lock DATABASE SECONDS\n",
        stderr);
    return 2;
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int record(vorlane::SystemServices& system, int argc, char** argv) {
    if (argc == 6) {
        while (system.findEntry(argv[5]) == vorlane::EntryKind::Missing)
            system.sleepMilliseconds(1);
    }
    // As the program does: the file as it is at the start, then the record,
    // by which time other writers may have changed it. A file that cannot
    // be read at the start is read under the lock.
    vorlane::NameDatabase database;
    try {
        if (vorlane::databasePresent(system, argv[2])) {
            vorlane::loadDatabase(system, argv[2], database);
        }
    } catch (const vorlane::RaisedError&) {
        database.parse({});
    }
    try {
        vorlane::storeRecord(system, argv[2], argv[3], argv[4], database);
    } catch (const vorlane::RaisedError& error) {
        say(std::string("error: ") + error.what());
        return 1;
    }
    say("ok");
    return 0;
}

int lock(vorlane::SystemServices& system, char** argv) {
    vorlane::FileLock held = 0;
    if (system.tryLockFile(vorlane::lockFilePath(argv[2]), &held) != vorlane::LockResult::Taken) {
        say("busy");
        return 1;
    }
    say("locked");
    system.sleepMilliseconds(static_cast<vorlane::Dword>(std::atoi(argv[3]) * 1000));
    system.unlockFile(held);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    auto system = vorlane::makePlatformServices(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "record" && (argc == 5 || argc == 6)) return record(*system, argc, argv);
    if (command == "lock" && argc == 4) return lock(*system, argv);
    return usage();
}
