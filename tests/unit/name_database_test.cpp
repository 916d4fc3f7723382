#include "identity/name_database.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database_reference.h"
#include "fake_system_services.h"

namespace vorlane {
namespace {

using namespace std::string_literals;
using testing::crLfText;
using testing::FakeSystemServices;
using testing::firstLineUnder;
using testing::givenToAnother;
using testing::linesOf;

using Lines = std::vector<std::string>;

TEST(NameDatabaseParseTest, ReadsBreaksAndTheNulEndAndWritesCrLfLines) {
    const struct {
        std::string bytes;
        Lines lines;
        std::string written;
        bool bytesAfterNul;
    } cases[] = {
        {"", {}, "", false},
        {"\r\n", {""}, "\r\n", false},
        {"\r", {""}, "\r\n", false},
        {"\n\r", {"", ""}, "\r\n\r\n", false},
        {"a", {"a"}, "a\r\n", false},
        {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n", false},
        {"a\nb", {"a", "b"}, "a\r\nb\r\n", false},
        {"a\rb\r", {"a", "b"}, "a\r\nb\r\n", false},
        {"a\n\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n", false},
        {"a\r\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n", false},
        {"a\n\rb", {"a", "", "b"}, "a\r\n\r\nb\r\n", false},
        {"a\n\n", {"a", ""}, "a\r\n\r\n", false},
        {"00001A2B=lab07\n\n3E9A07C4=lab08",
         {"00001A2B=lab07", "", "3E9A07C4=lab08"},
         "00001A2B=lab07\r\n\r\n3E9A07C4=lab08\r\n",
         false},
        {"# comment\r\n\r\nplain\r\n=\r\n",
         {"# comment", "", "plain", "="},
         "# comment\r\n\r\nplain\r\n=\r\n",
         false},
        // No byte-order mark is recognised: it stays in the first line.
        {"\xEF\xBB\xBF"
         "00001A2B=lab07\r\n",
         {"\xEF\xBB\xBF"
          "00001A2B=lab07"},
         "\xEF\xBB\xBF"
         "00001A2B=lab07\r\n",
         false},
        // The text ends at the first NUL.
        {"a=b\r\nc\0d\r\ne"s, {"a=b", "c"}, "a=b\r\nc\r\n", true},
        {"a\r\n\0"s, {"a"}, "a\r\n", false},
        {"a\0\0"s, {"a"}, "a\r\n", true},
        {"a\r\0b"s, {"a"}, "a\r\n", true},
        {"\0a\r\n"s, {}, "", true},
        {"\0"s, {}, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        NameDatabase database;
        database.parse(c.bytes);
        EXPECT_EQ(linesOf(database), c.lines);
        EXPECT_EQ(database.serialize(), c.written);
        EXPECT_EQ(database.hasBytesAfterNul(), c.bytesAfterNul);

        // What was written reads back as the same lines.
        NameDatabase reread;
        reread.parse(database.serialize());
        EXPECT_EQ(linesOf(reread), c.lines);
        EXPECT_FALSE(reread.hasBytesAfterNul());
    }
}

TEST(NameDatabaseParseTest, ReplacesStoredLinesAndTheNulFlag) {
    FakeSystemServices system;
    NameDatabase database;
    database.parse("a\0b"s);
    database.store(system, "00001A2B", "lab07");
    database.parse("c\r\n");
    EXPECT_EQ(linesOf(database), (Lines{"c"}));
    EXPECT_FALSE(database.hasBytesAfterNul());
}

TEST(NameDatabaseParseTest, AMillionLinesKeepTheirOrderAndText) {
    constexpr std::size_t kLines = 1'000'000;
    std::string bytes;
    bytes.reserve(kLines * 22);
    for (std::size_t i = 0; i < kLines; ++i) {
        bytes += std::to_string(10'000'000 + i);
        bytes += "=lab";
        bytes += std::to_string(100'000'000 + i);
        bytes += i % 2 == 0 ? "\r\n" : "\n";
    }
    NameDatabase database;
    database.parse(std::move(bytes));
    ASSERT_EQ(database.lineCount(), kLines);
    EXPECT_EQ(database.line(0), "10000000=lab100000000");
    EXPECT_EQ(database.line(kLines - 1), "10999999=lab100999999");
}

TEST(NameDatabaseLookupTest, GivesTheValueOfTheFirstLineWhoseWholeKeyPartMatches) {
    const struct {
        std::string file;
        std::string value;
    } cases[] = {
        {"00001A2B=lab07", "lab07"},
        {"00001A2B=lab07\r\n00001A2B=lab99", "lab07"},
        {"00001A2B=\r\n00001A2B=lab99", ""},
        {"00001a2b=lab07", "lab07"},
        {"00001A2B=a=b", "a=b"},
        {"00001A2B =lab07", ""},
        {"00001A2B= lab07", " lab07"},
        {" 00001A2B=lab07", ""},
        {"00001A2BC=lab07", ""},
        {"0001A2B=lab07", ""},
        {"0001A2B==lab07", ""},
        {"00001A2C=lab07", ""},
        {"00001A2B", ""},
        {"FFFFFFFF=00001A2B", ""},
        {"# 00001A2B=x\r\n\r\nFFFFFFFF=x\r\n00001A2B=lab07", "lab07"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FakeSystemServices system;
        NameDatabase database;
        database.parse(c.file);
        EXPECT_EQ(database.lookup(system, "00001A2B"), c.value);
    }
}

// Records what the logic asks the system to compare.
class ComparisonLog : public FakeSystemServices {
public:
    std::vector<std::pair<std::string, std::string>> compared;
    bool equalIgnoringCase(std::string_view a, std::string_view b) override {
        compared.emplace_back(a, b);
        return FakeSystemServices::equalIgnoringCase(a, b);
    }
};

TEST(NameDatabaseLookupTest, AsksTheSystemOnlyAboutKeyPartsOfTheKeysLength) {
    ComparisonLog system;
    NameDatabase database;
    database.parse("0001A2B=x\r\n00001A2BC=x\r\nno break\r\n00001a2b=lab07\r\n00001A2B=y");
    EXPECT_EQ(database.lookup(system, "00001A2B"), "lab07");
    EXPECT_EQ(system.compared,
              (std::vector<std::pair<std::string, std::string>>{{"00001a2b", "00001A2B"}}));
}

TEST(NameDatabaseStoreTest, ReplacesTheFirstMatchingLineWholeOrAppends) {
    const struct {
        std::string file;
        std::string written;
    } cases[] = {
        {"", "00001A2B=lab12\r\n"},
        {"00001a2b=\r\n00001A2B=lab99\r\n", "00001A2B=lab12\r\n00001A2B=lab99\r\n"},
        {"# c\r\n00001A2B=old\nz", "# c\r\n00001A2B=lab12\r\nz\r\n"},
        {"# c\r\nFFFFFFFF=x", "# c\r\nFFFFFFFF=x\r\n00001A2B=lab12\r\n"},
        {"00001A2B =x\r\n", "00001A2B =x\r\n00001A2B=lab12\r\n"},
        {"00001A2B\r\n", "00001A2B\r\n00001A2B=lab12\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FakeSystemServices system;
        NameDatabase database;
        database.parse(c.file);
        database.store(system, "00001A2B", "lab12");
        EXPECT_EQ(database.serialize(), c.written);
        EXPECT_EQ(database.lookup(system, "00001A2B"), "lab12");
    }
}

TEST(NameDatabaseStoreTest, AFirstChangeIsSeenByEveryReadAndByLaterChanges) {
    FakeSystemServices system;
    NameDatabase database;
    database.parse("a=1\r\nB=2\nc=3");
    database.store(system, "b", "two");
    EXPECT_EQ(database.lookup(system, "B"), "two");
    EXPECT_FALSE(database.givesNameToAnotherKey(system, "two", "b"));
    EXPECT_EQ(database.serialize(), "a=1\r\nb=two\r\nc=3\r\n");
    EXPECT_EQ(database.lineCount(), 3u);
    EXPECT_EQ(database.line(1), "b=two");
    database.store(system, "b", "again");
    database.store(system, "d", "4");
    EXPECT_EQ(database.serialize(), "a=1\r\nb=again\r\nc=3\r\nd=4\r\n");
}

TEST(NameDatabaseStoreTest, EarlierStoredLinesStayReadableAfterManyMore) {
    FakeSystemServices system;
    NameDatabase database;
    database.parse("keep\r\n");
    std::string expected = "keep\r\n";
    for (int i = 0; i < 200; ++i) {
        const std::string key = "K" + std::to_string(i);
        database.store(system, key, "first");
        database.store(system, key, "n" + std::to_string(i));
        expected += key + "=n" + std::to_string(i) + "\r\n";
    }
    EXPECT_EQ(database.serialize(), expected);
}

TEST(NameDatabaseTest, GivesNameToAnotherKeyOnlyForOtherKeysValues) {
    const struct {
        std::string file;
        std::string name;
        bool given;
    } cases[] = {
        {"FFFFFFFF=lab07", "lab07", true},
        {"FFFFFFFF=LAB07", "lab07", true},
        {"00001a2b=lab07", "lab07", false},
        {"00001A2B=lab07\r\nFFFFFFFF=lab07", "lab07", true},
        {"00001A2B =lab07", "lab07", true},
        {"=lab07", "lab07", true},
        {"FFFFFFFF=a=b", "a=b", true},
        {"FFFFFFFF=a=b", "b", false},
        {"FFFFFFFF= lab07", "lab07", false},
        {"FFFFFFFF=lab070", "lab07", false},
        {"lab07\r\n=\r\n", "lab07", false},
        {"FFFFFFFF=", "", false},
        {"", "lab07", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " / " + c.name);
        FakeSystemServices system;
        NameDatabase database;
        database.parse(c.file);
        EXPECT_EQ(database.givesNameToAnotherKey(system, c.name, "00001A2B"), c.given);
    }
}

// A system whose case-blind comparison also takes 0xDD for "i", as a
// Turkish code page takes its dotted capital I: letters outside ASCII can
// match ASCII ones.
class TurkishComparison : public FakeSystemServices {
public:
    bool equalIgnoringCase(std::string_view a, std::string_view b) override {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (fold(a[i]) != fold(b[i])) return false;
        }
        return true;
    }

private:
    static char fold(char c) {
        if (c == '\xDD') return 'i';
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
};

// The searches of a large file skip most of it; whatever the bytes, they must
// find what a look at every line finds, and a store must write what storing
// into the lines one by one writes.
TEST(NameDatabaseTest, SearchesAndWritesAgreeWithALookAtEveryLine) {
    TurkishComparison system;
    std::mt19937 random(7);
    const std::string_view bytes("ab=\r\n0iI\xDD\0", 11);
    const auto pick = [&](std::string_view from, std::size_t most) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, most)(random), ' ');
        for (char& c : text)
            c = from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        // Long enough that some places are tested sixteen at a time.
        const std::string file = pick(round % 50 == 0 ? bytes : bytes.substr(0, 10), 60);
        std::string key = pick("ab0iI\xDD", 3);
        std::string name = pick("ab0iI\xDD=", 3);
        if (key.empty()) key = "i";
        if (name.empty()) name = "0";
        SCOPED_TRACE(::testing::PrintToString(file) + " key " + key + " name " + name);

        NameDatabase database;
        database.parse(file);
        NameDatabase split;
        split.parse(file);
        Lines lines = linesOf(split);

        const std::size_t under = firstLineUnder(system, lines, key);
        const std::string value =
            under < lines.size() ? lines[under].substr(lines[under].find('=') + 1) : "";
        EXPECT_EQ(database.lookup(system, key), value);
        EXPECT_EQ(database.givesNameToAnotherKey(system, name, key),
                  givenToAnother(system, lines, name, key));

        database.store(system, key, name);
        if (under < lines.size()) {
            lines[under] = key + "=" + name;
        } else {
            lines.push_back(key + "=" + name);
        }
        EXPECT_EQ(database.serialize(), crLfText(lines));
    }
}

}  // namespace
}  // namespace vorlane
