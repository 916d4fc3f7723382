#pragma once

#include <cstdint>
#include <source_location>
#include <stdexcept>
#include <string>

namespace vorlane {

// The kinds of error that the pattern expander and the database file
// operations raise instead of returning a code. Their names are printed by
// the fatal-error report, so they are part of the program's output.
enum class ErrorKind { EConvertError, EFOpenError, EFCreateError, EWriteError };

const char* errorKindName(ErrorKind kind);

// An error raised as an object: a kind, a message, and the place in the
// source it was raised from. The record step catches it and prints the
// message; everywhere else it ends the run through the fatal-error report.
class RaisedError : public std::runtime_error {
public:
    RaisedError(ErrorKind kind, const std::string& message,
                std::source_location where = std::source_location::current());

    ErrorKind kind() const { return kind_; }

    // A stable 32-bit identification of the raise site (source file name and
    // line), printed by the fatal-error report in place of a code address.
    std::uint32_t siteId() const { return siteId_; }

private:
    ErrorKind kind_;
    std::uint32_t siteId_;
};

}  // namespace vorlane
