#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "identity/name_database.h"
#include "os/system_services.h"

namespace vorlane {

// A database larger than this is not read: it cannot be a list of names,
// and reading it whole would cost that much memory.
inline constexpr std::uint64_t kMaxDatabaseSize = std::uint64_t{256} << 20;

// How long the record step waits for another writer's lock.
inline constexpr std::uint64_t kLockWaitMilliseconds = 20000;

// The lock file every writer of the database at path takes first.
std::string lockFilePath(const std::string& path);

// True when path names an entry that is not a directory.
bool databasePresent(SystemServices& system, const std::string& path);

enum class LoadResult { Loaded, TooLarge };

// Reads the database at path into database. Raises EFOpenError
// "Cannot open file <path>" when it cannot be opened or read.
LoadResult loadDatabase(SystemServices& system, const std::string& path, NameDatabase& database);

// Records key=name in the database at path so that no other writer's record
// is lost and the file is never seen incomplete: under the lock, the file as
// it is now is taken, the line stored into those lines, the whole text
// written to a new file beside it and put in its place in one step, then read
// back. database holds the file as read before (nothing if it was missing);
// it serves as the file as it is now when the file still holds exactly those
// bytes, and is read afresh otherwise. On failure the file is left exactly as
// it was and a RaisedError carries the message.
void storeRecord(SystemServices& system, const std::string& path, std::string_view key,
                 std::string_view name, NameDatabase& database);

}  // namespace vorlane
