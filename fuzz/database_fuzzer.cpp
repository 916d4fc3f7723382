// Name database files: parse, write and parse again, then record one name.
// Input: byte 0 is the key's length, byte 1 the name's length, then the key,
// the name, and the rest is the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database_reference.h"
#include "fake_system_services.h"
#include "fuzz_check.h"
#include "identity/name_database.h"

namespace {

using vorlane::NameDatabase;
using vorlane::fuzz::check;
using vorlane::testing::crLfText;
using vorlane::testing::firstLineUnder;
using vorlane::testing::givenToAnother;
using vorlane::testing::linesOf;

// Writes the lines and reads them back.
void checkRoundTrip(const NameDatabase& database) {
    NameDatabase reread;
    reread.parse(database.serialize());
    check(linesOf(reread) == linesOf(database), "written lines read back the same");
    check(!reread.hasBytesAfterNul(), "written text has no NUL");
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
    check(fresh.serialize() == crLfText(expected), "a first store writes the lines stored into");

    database.store(system, key, name);
    check(linesOf(database) == expected, "store changes the one line under the key");
    check(database.lookup(system, key) == name, "the stored name is looked up");
    checkRoundTrip(database);
    return 0;
}
