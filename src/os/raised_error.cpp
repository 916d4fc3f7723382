#include "os/raised_error.h"

#include <string_view>

namespace vorlane {

namespace {

// FNV-1a over the file's base name and the line number: the same site gives
// the same number in every build on every platform.
std::uint32_t hashSite(const std::source_location& where) {
    std::string_view file = where.file_name();
    const auto slash = file.find_last_of("/\\");
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    const std::string site = std::string(file) + ":" + std::to_string(where.line());
    std::uint32_t hash = 2166136261u;
    for (unsigned char byte : site) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::EConvertError:
            return "EConvertError";
        case ErrorKind::EFOpenError:
            return "EFOpenError";
        case ErrorKind::EFCreateError:
            return "EFCreateError";
        case ErrorKind::EWriteError:
            return "EWriteError";
    }
    return "Exception";
}

RaisedError::RaisedError(ErrorKind kind, const std::string& message, std::source_location where)
    : std::runtime_error(message), kind_(kind), siteId_(hashSite(where)) {}

}  // namespace vorlane
