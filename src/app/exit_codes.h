#pragma once

namespace vorlane::exit_code {

// Any other positive value is the operating system's error code of a refused
// computer-name change.
inline constexpr int kSuccess = 0;
inline constexpr int kUnhandledError = 1;  // the fatal-error report
inline constexpr int kNoFreeName = -1;     // "All spots taken."
inline constexpr int kWriteBackWithoutName = -2;
inline constexpr int kWriteBackWithoutFile = -3;
inline constexpr int kArgumentTooLong = -4;   // an argument over 255 characters
inline constexpr int kNameTooLong = -5;       // an expansion over 15 characters
inline constexpr int kDatabaseTooLarge = -6;  // a database file over 256 MiB

}  // namespace vorlane::exit_code
