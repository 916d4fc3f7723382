#include "os/text_pieces.h"

#include <algorithm>

namespace vorlane {

std::uint64_t totalSize(TextPieces pieces) {
    std::uint64_t size = 0;
    for (const std::string_view piece : pieces) size += piece.size();
    return size;
}

bool PiecesMatcher::matchNext(std::string_view part) {
    while (!part.empty()) {
        if (atEnd()) return false;
        const std::string_view rest = pieces_.front().substr(used_);
        const std::size_t length = std::min(rest.size(), part.size());
        if (part.substr(0, length) != rest.substr(0, length)) return false;
        part.remove_prefix(length);
        used_ += length;
    }
    return true;
}

bool PiecesMatcher::atEnd() {
    // Pieces used up, and empty ones, are passed over.
    while (!pieces_.empty() && used_ == pieces_.front().size()) {
        pieces_ = pieces_.subspan(1);
        used_ = 0;
    }
    return pieces_.empty();
}

}  // namespace vorlane
