#include "identity/database_file.h"

#include "os/raised_error.h"

namespace vorlane {

namespace {

[[noreturn]] void raise(ErrorKind kind, const std::string& message,
                        std::source_location where = std::source_location::current()) {
    throw RaisedError(kind, message, where);
}

// Holds the database's lock for as long as it lives.
class HeldLock {
public:
    HeldLock(SystemServices& system, const std::string& lockPath) : system_(system) {
        const std::uint64_t deadline = system.tickMilliseconds() + kLockWaitMilliseconds;
        Dword pause = 5;
        for (;;) {
            switch (system.tryLockFile(lockPath, &lock_)) {
                case LockResult::Taken:
                    return;
                case LockResult::Failed:
                    raise(ErrorKind::EFCreateError, "Cannot open lock file " + lockPath);
                case LockResult::Busy:
                    break;
            }
            if (system.tickMilliseconds() >= deadline) {
                raise(ErrorKind::EFCreateError,
                      "Another program holds the lock file " + lockPath + " too long");
            }
            system.sleepMilliseconds(pause);
            if (pause < 200) pause *= 2;
        }
    }
    ~HeldLock() { system_.unlockFile(lock_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    SystemServices& system_;
    FileLock lock_ = 0;
};

// The file's bytes as they are now; empty when there is no file.
std::string readCurrent(SystemServices& system, const std::string& path) {
    std::string bytes;
    switch (system.findEntry(path)) {
        case EntryKind::Missing:
            return bytes;
        case EntryKind::Directory:
            // Windows refuses to replace a directory with "access denied",
            // the code a reader holding the file gives for a moment, so the
            // replace would be retried until the deadline for nothing.
            raise(ErrorKind::EFCreateError, "Cannot create file " + path);
        case EntryKind::Present:
            break;
    }
    switch (system.readWholeFile(path, kMaxDatabaseSize, &bytes)) {
        case ReadResult::Read:
            return bytes;
        case ReadResult::TooLarge:
            raise(ErrorKind::EFOpenError, "The file " + path + " is larger than 256 MiB");
        case ReadResult::CannotOpen:
            break;
    }
    raise(ErrorKind::EFOpenError, "Cannot open file " + path);
}

// Puts the new file in place, trying again while a reader holds the old one
// open for a moment.
bool replaceWithin(SystemServices& system, const std::string& temporary, const std::string& path) {
    const std::uint64_t deadline = system.tickMilliseconds() + kLockWaitMilliseconds;
    Dword pause = 5;
    while (!system.replaceFile(temporary, path)) {
        if (!system.isTransientReplaceError(system.GetLastError()) ||
            system.tickMilliseconds() >= deadline) {
            return false;
        }
        system.sleepMilliseconds(pause);
        if (pause < 200) pause *= 2;
    }
    return true;
}

}  // namespace

std::string lockFilePath(const std::string& path) { return path + ".lock"; }

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
                 std::string_view name) {
    HeldLock lock(system, lockFilePath(path));

    NameDatabase current;
    current.parse(readCurrent(system, path));
    if (current.hasBytesAfterNul()) {
        raise(ErrorKind::EWriteError,
              "The file " + path + " holds bytes after a NUL byte and was left unchanged");
    }
    current.store(system, key, name);
    const std::string text = current.serialize();

    std::string temporary;
    switch (system.writeFileBeside(path, text, &temporary)) {
        case WriteResult::Written:
            break;
        case WriteResult::CannotCreate:
            raise(ErrorKind::EFCreateError, "Cannot create file " + path);
        case WriteResult::WriteFailed:
            raise(ErrorKind::EWriteError, "Stream write error");
    }
    if (!replaceWithin(system, temporary, path)) {
        system.removeFile(temporary);
        raise(ErrorKind::EFCreateError, "Cannot create file " + path);
    }
    if (readCurrent(system, path) != text) {
        raise(ErrorKind::EWriteError, "The file " + path + " does not read back as written");
    }
}

}  // namespace vorlane
