#include "identity/database_file.h"

#include <algorithm>

#include "os/raised_error.h"

namespace vorlane {

namespace {

[[noreturn]] void raise(ErrorKind kind, const std::string& message,
                        std::source_location where = std::source_location::current()) {
    throw RaisedError(kind, message, where);
}

enum class Try { Done, Again, GiveUp };

// Calls attempt until it is Done or gives up, or until the wait bound has
// passed. The pauses between tries start short and double up to 50 ms, so a
// lock that many writers want changes hands quickly. True when it was Done.
template <typename Attempt>
bool retryWithinBound(SystemServices& system, Attempt attempt) {
    const std::uint64_t deadline = system.tickMilliseconds() + kLockWaitMilliseconds;
    for (Dword pause = 5;; pause = std::min<Dword>(pause * 2, 50)) {
        switch (attempt()) {
            case Try::Done:
                return true;
            case Try::GiveUp:
                return false;
            case Try::Again:
                break;
        }
        if (system.tickMilliseconds() >= deadline) return false;
        system.sleepMilliseconds(pause);
    }
}

// Holds the database's lock for as long as it lives.
class HeldLock {
public:
    HeldLock(SystemServices& system, const std::string& lockPath) : system_(system) {
        LockResult result = LockResult::Busy;
        const bool taken = retryWithinBound(system, [&] {
            result = system.tryLockFile(lockPath, &lock_);
            if (result == LockResult::Busy) return Try::Again;
            return result == LockResult::Taken ? Try::Done : Try::GiveUp;
        });
        if (taken) return;
        if (result == LockResult::Failed) {
            raise(ErrorKind::EFCreateError, "Cannot open lock file " + lockPath);
        }
        raise(ErrorKind::EFCreateError,
              "Another program holds the lock file " + lockPath + " too long");
    }
    ~HeldLock() { system_.unlockFile(lock_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    SystemServices& system_;
    FileLock lock_ = 0;
};

// Makes database the file as it is now; no file leaves it empty. The lines
// read before serve as they are when the file still holds their bytes: a
// large file is then compared a part at a time, not read into memory again.
void loadCurrent(SystemServices& system, const std::string& path, NameDatabase& database) {
    const std::string_view before[] = {database.bytes()};
    if (!database.changed() && system.fileHolds(path, before)) return;
    switch (system.findEntry(path)) {
        case EntryKind::Missing:
            database.parse({});
            return;
        case EntryKind::Directory:
            // Windows refuses to replace a directory with "access denied",
            // the code a reader holding the file gives for a moment, so the
            // replace would be retried until the deadline for nothing.
            raise(ErrorKind::EFCreateError, "Cannot create file " + path);
        case EntryKind::Present:
            break;
    }
    if (loadDatabase(system, path, database) == LoadResult::TooLarge) {
        raise(ErrorKind::EFOpenError, "The file " + path + " is larger than 256 MiB");
    }
}

// Puts the new file in place, trying again while a reader holds the old one
// open for a moment.
bool replaceWithinBound(SystemServices& system, const std::string& temporary,
                        const std::string& path) {
    return retryWithinBound(system, [&] {
        if (system.replaceFile(temporary, path)) return Try::Done;
        return system.isTransientReplaceError(system.GetLastError()) ? Try::Again : Try::GiveUp;
    });
}

}  // namespace

std::string lockFilePath(const std::string& path) {
    return path + ".lock";
}

bool databasePresent(SystemServices& system, const std::string& path) {
    return system.findEntry(path) == EntryKind::Present;
}

LoadResult loadDatabase(SystemServices& system, const std::string& path, NameDatabase& database) {
    std::string bytes;
    switch (system.readWholeFile(path, kMaxDatabaseSize, &bytes)) {
        case ReadResult::Read:
            database.parse(std::move(bytes));
            return LoadResult::Loaded;
        case ReadResult::TooLarge:
            return LoadResult::TooLarge;
        case ReadResult::CannotOpen:
            break;
    }
    raise(ErrorKind::EFOpenError, "Cannot open file " + path);
}

void storeRecord(SystemServices& system, const std::string& path, std::string_view key,
                 std::string_view name, NameDatabase& database) {
    HeldLock lock(system, lockFilePath(path));

    loadCurrent(system, path, database);
    if (database.hasBytesAfterNul()) {
        raise(ErrorKind::EWriteError,
              "The file " + path + " holds bytes after a NUL byte and was left unchanged");
    }
    database.store(system, key, name);
    const std::vector<std::string_view> text = database.serializedPieces();

    std::string temporary;
    switch (system.writeFileBeside(path, text, &temporary)) {
        case WriteResult::Written:
            break;
        case WriteResult::CannotCreate:
            raise(ErrorKind::EFCreateError, "Cannot create file " + path);
        case WriteResult::WriteFailed:
            raise(ErrorKind::EWriteError, "Stream write error");
    }
    if (!replaceWithinBound(system, temporary, path)) {
        system.removeFile(temporary);
        raise(ErrorKind::EFCreateError, "Cannot create file " + path);
    }
    if (!system.fileHolds(path, text)) {
        raise(ErrorKind::EWriteError, "The file " + path + " does not read back as written");
    }
}

}  // namespace vorlane
