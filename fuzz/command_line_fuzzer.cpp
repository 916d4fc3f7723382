// Any bytes as a Windows process command line through splitCommandLine.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "os/command_line.h"

namespace {

using vorlane::splitCommandLine;
using vorlane::fuzz::check;

bool isSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// The bytes that end up in words: every double quote toggles a stretch and is
// dropped, separators outside a stretch are dropped, all else is kept. A pair
// of quotes skipped at the start of a word toggles twice, so it fits in too.
std::string keptBytes(std::string_view line) {
    std::string kept;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted || !isSeparator(c)) {
            kept += c;
        }
    }
    return kept;
}

std::vector<std::string> splitAtSeparators(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (!isSeparator(c)) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> words = splitCommandLine(line);

    std::string joined;
    std::vector<std::string> nonEmpty;
    for (std::size_t i = 0; i < words.size(); ++i) {
        check(words[i].find('"') == std::string::npos, "quotes never reach a word");
        if (words[i].empty()) {
            // Only a lone quote at the very end opens a word and gives it nothing.
            check(i + 1 == words.size() && line.ends_with('"'),
                  "an empty word comes only from a quote at the end");
            continue;
        }
        joined += words[i];
        nonEmpty.push_back(words[i]);
    }
    check(joined == keptBytes(line), "words hold the line's bytes less quotes and separators");
    if (line.find('"') == std::string_view::npos) {
        check(words == splitAtSeparators(line), "without quotes, separators split words");
    }

    // Each word quoted whole reads back as itself; an empty one would be a
    // skipped pair.
    std::string requoted;
    for (const std::string& word : nonEmpty) requoted += "\"" + word + "\" ";
    check(splitCommandLine(requoted) == nonEmpty, "quoted words split back the same");
    return 0;
}
