#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vorlane {

// A text made of pieces that follow one another, so that a large text with a
// small change need not be copied into one string to be written or compared.
using TextPieces = std::span<const std::string_view>;

std::uint64_t totalSize(TextPieces pieces);

// Compares a text that arrives in parts, such as the reads of a file, with
// pieces: each part must be the pieces' next bytes.
class PiecesMatcher {
public:
    explicit PiecesMatcher(TextPieces pieces) : pieces_(pieces) {}

    // True when part is the next bytes of the pieces; they are then used up.
    bool matchNext(std::string_view part);

    // True when every byte of the pieces has been matched.
    bool atEnd();

private:
    TextPieces pieces_;
    std::size_t used_ = 0;  // bytes of pieces_.front() already matched
};

}  // namespace vorlane
