#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "os/system_services.h"

namespace vorlane {

// The lines of a name database file. A line "KEY=name" gives the machine with
// that key its name; any other line is carried along unchanged. The whole file
// is held in one buffer and the lines are views into it, so a large file costs
// little more than its own size. The views are made only when the lines are
// changed or counted: a lookup reads the buffer as it is.
//
// File format, reading: CR LF is one break, every other CR or LF a break of its
// own; the text ends at the end of the file or at the first NUL; a break at the
// very end adds no empty line; no byte-order mark is recognised. Writing: every
// line followed by CR LF; no lines is a file of 0 bytes.
class NameDatabase {
public:
    NameDatabase() = default;
    // The lines are views into buffer_: a copy or a move would leave them
    // pointing into the old one.
    NameDatabase(const NameDatabase&) = delete;
    NameDatabase& operator=(const NameDatabase&) = delete;

    // Replaces the lines with those of the file's bytes.
    void parse(std::string bytes);

    // The file's bytes for the current lines, as pieces to be written one
    // after another. They point into the database and stay good until it is
    // next changed. Where the file's breaks are all CR LF, they are the text
    // as read, with the line a first store made in its place.
    std::vector<std::string_view> serializedPieces() const;

    // The same bytes in one string.
    std::string serialize() const;

    // The bytes last parsed, all of them.
    std::string_view bytes() const { return buffer_; }

    // True when store has changed the lines since they were parsed.
    bool changed() const { return !added_.empty(); }

    // True when the bytes last parsed had anything after a NUL: those bytes
    // are not among the lines, so writing the lines back would drop them.
    bool hasBytesAfterNul() const { return bytesAfterNul_; }

    // The value of the first line whose key part (the text before its first
    // "=") equals key, compared whole and case-blind by the system; empty
    // when no line matches.
    std::string lookup(SystemServices& system, std::string_view key) const;

    // Makes the line key=name: replaces the first matching line whole, so its
    // key then reads as given, or appends it.
    void store(SystemServices& system, std::string_view key, std::string_view name);

    // True when some line whose key part is not key has name as its value,
    // compared case-blind: the name belongs to another machine.
    bool givesNameToAnotherKey(SystemServices& system, std::string_view name,
                               std::string_view key) const;

    std::size_t lineCount() const;
    std::string_view line(std::size_t index) const;

private:
    // Calls visit(line) for every line in order until it returns true;
    // returns whether it did.
    template <typename Visit>
    bool forEachLine(Visit visit) const;

    // Makes the views of the lines, once.
    void split() const;

    // The first line whose key part matches key; a view with no data when
    // there is none.
    std::string_view firstLineWith(SystemServices& system, std::string_view key) const;

    // The first line of the buffer as read whose key part matches key. The
    // last answer is kept: a name is looked up and then stored under the
    // same key, and a large buffer is searched once for both.
    std::string_view bufferLineWith(SystemServices& system, std::string_view key) const;

    // The current lines, each followed by CR LF, in one string.
    std::string normalize() const;

    std::string buffer_;             // the bytes the lines were read from
    std::string_view text_;          // the part of buffer_ before any NUL
    std::deque<std::string> added_;  // lines made by store (stable addresses)
    mutable std::vector<std::string_view> lines_;
    mutable bool split_ = true;  // lines_ holds every line
    // Until the lines are split, the first store is kept here and made
    // wherever they are read: its line, its key and the system's comparison.
    mutable SystemServices* pendingSystem_ = nullptr;
    std::string_view pendingLine_;
    std::string_view pendingKey_;
    bool bytesAfterNul_ = false;
    mutable std::string normalized_;  // what serializedPieces made, where it had to
    mutable bool searched_ = false;   // bufferLineWith has an answer for searchedKey_
    mutable std::string searchedKey_;
    mutable std::string_view searchedLine_;
};

}  // namespace vorlane
