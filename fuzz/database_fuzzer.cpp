// Name database files: parse, write and parse again, then record one name.
// Input: byte 0 is the key's length, byte 1 the name's length, then the key,
// the name, and the rest is the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fake_system_services.h"
#include "fuzz_check.h"
#include "identity/name_database.h"

namespace {

using vorlane::NameDatabase;
using vorlane::fuzz::check;

std::vector<std::string> linesOf(const NameDatabase& database) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < database.lineCount(); ++i) {
        lines.emplace_back(database.line(i));
    }
    return lines;
}

// Writes the lines and reads them back.
void checkRoundTrip(const NameDatabase& database) {
    NameDatabase reread;
    reread.parse(database.serialize());
    check(linesOf(reread) == linesOf(database), "written lines read back the same");
    check(!reread.hasBytesAfterNul(), "written text has no NUL");
}

// The index of the first line whose text before its first "=" is key, case
// aside; lines.size() when there is none.
std::size_t firstLineUnder(vorlane::SystemServices& system, const std::vector<std::string>& lines,
                           std::string_view key) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t equals = lines[i].find('=');
        if (equals != std::string::npos &&
            system.equalIgnoringCase(std::string_view(lines[i]).substr(0, equals), key)) {
            return i;
        }
    }
    return lines.size();
}

// Whether a line other than one under key has name as its value, case aside.
bool givenToAnother(vorlane::SystemServices& system, const std::vector<std::string>& lines,
                    std::string_view name, std::string_view key) {
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string_view text(line);
        if (system.equalIgnoringCase(text.substr(equals + 1), name) &&
            !system.equalIgnoringCase(text.substr(0, equals), key)) {
            return true;
        }
    }
    return false;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool fitsInALine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t keySize = data[0];
    const std::size_t nameSize = data[1];
    if (2 + keySize + nameSize > size) return 0;
    const std::string_view key = input.substr(2, keySize);
    const std::string_view name = input.substr(2 + keySize, nameSize);
    const std::string_view file = input.substr(2 + keySize + nameSize);

    vorlane::testing::FakeSystemServices system;
    NameDatabase database;
    database.parse(std::string(file));
    checkRoundTrip(database);

    if (!fitsInALine(key) || key.find('=') != std::string_view::npos || !fitsInALine(name) ||
        name.empty()) {
        return 0;
    }
    // What store must do: the first line under the key becomes key=name, or
    // the line is appended; nothing else changes.
    std::vector<std::string> expected = linesOf(database);
    const std::string made = std::string(key) + "=" + std::string(name);
    const std::size_t under = firstLineUnder(system, expected, key);
    if (under < expected.size()) {
        expected[under] = made;
    } else {
        expected.push_back(made);
    }

    // The same answers from a database as read, whose searches skip most
    // of the text, and the same bytes from its first store.
    NameDatabase fresh;
    fresh.parse(std::string(file));
    const std::vector<std::string> before = linesOf(database);
    const std::string value =
        under < before.size() ? before[under].substr(before[under].find('=') + 1) : "";
    check(fresh.lookup(system, key) == value, "a search finds the first line under the key");
    check(
        fresh.givesNameToAnotherKey(system, name, key) == givenToAnother(system, before, name, key),
        "a search finds the name given to another key");
    fresh.store(system, key, name);
    check(fresh.serialize() == joined(expected), "a first store writes the lines stored into");

    database.store(system, key, name);
    check(linesOf(database) == expected, "store changes the one line under the key");
    check(database.lookup(system, key) == name, "the stored name is looked up");
    checkRoundTrip(database);
    return 0;
}
