#include "fake_system_services.h"

#include <cstring>

namespace vorlane::testing {

namespace {
constexpr Dword kErrorInvalidParameter = 87;
constexpr Dword kErrorNotAllAssigned = 1300;
constexpr Dword kWsaNotInitialised = 10093;
constexpr TokenHandle kFakeToken = 0x7041;
const Luid kShutdownLuid{19, 0};

std::string boolText(int value) {
    return std::to_string(value);
}

std::string joined(TextPieces pieces) {
    std::string text;
    for (const std::string_view piece : pieces) text.append(piece);
    return text;
}
}  // namespace

std::vector<std::string> FakeSystemServices::callsNamed(const std::string& call) const {
    std::vector<std::string> found;
    for (const auto& entry : calls) {
        if (entry.compare(0, call.size() + 1, call + "(") == 0) found.push_back(entry);
    }
    return found;
}

bool FakeSystemServices::enter(const std::string& call, const std::string& details) {
    calls.push_back(call + "(" + details + ")");
    const auto failure = failures_.find(call);
    if (failure == failures_.end()) return true;
    lastError = failure->second;
    return false;
}

Dword FakeSystemServices::GetWindowsDirectoryA(char* buffer, Dword size) {
    if (!enter("GetWindowsDirectoryA", std::to_string(size))) return 0;
    if (windowsDirectory.size() + 1 > size) return static_cast<Dword>(windowsDirectory.size() + 1);
    std::memcpy(buffer, windowsDirectory.c_str(), windowsDirectory.size() + 1);
    return static_cast<Dword>(windowsDirectory.size());
}

bool FakeSystemServices::GetVolumeInformationA(const char* rootPath, Dword* serialNumber,
                                               Dword* maximumComponentLength,
                                               Dword* fileSystemFlags) {
    if (!enter("GetVolumeInformationA", rootPath)) return false;
    *serialNumber = volumeSerial;
    *maximumComponentLength = 255;
    *fileSystemFlags = 0;
    return true;
}

bool FakeSystemServices::SetComputerNameA(const char* name) {
    if (!enter("SetComputerNameA", name)) return false;
    if (*name == '\0') {
        lastError = kErrorInvalidParameter;
        return false;
    }
    computerName = name;
    return true;
}

void FakeSystemServices::SetLastError(Dword code) {
    calls.push_back("SetLastError(" + std::to_string(code) + ")");
    lastError = code;
}

Dword FakeSystemServices::GetLastError() {
    calls.push_back("GetLastError()");
    return lastError;
}

std::string FakeSystemServices::systemErrorText(Dword code) {
    calls.push_back("systemErrorText(" + std::to_string(code) + ")");
    const auto text = errorTexts.find(code);
    return text == errorTexts.end() ? std::string() : text->second;
}

bool FakeSystemServices::isNtPlatform() {
    return ntPlatform;
}

bool FakeSystemServices::OpenProcessToken(TokenHandle* token) {
    if (!enter("OpenProcessToken", "")) return false;
    *token = kFakeToken;
    return true;
}

bool FakeSystemServices::LookupPrivilegeValueA(const char* systemName, const char* name,
                                               Luid* luid) {
    if (!enter("LookupPrivilegeValueA", std::string(systemName ? systemName : "null") + "," + name))
        return false;
    *luid = kShutdownLuid;
    return true;
}

bool FakeSystemServices::AdjustTokenPrivileges(TokenHandle token, bool disableAll,
                                               const TokenPrivileges& newState,
                                               TokenPrivileges* previousState, Dword bufferLength,
                                               Dword* returnLength) {
    (void)token;
    if (!enter("AdjustTokenPrivileges",
               boolText(disableAll) + "," + std::to_string(newState.privilegeCount) + "," +
                   std::to_string(newState.luid.lowPart) + "," +
                   std::to_string(newState.attributes) + "," + std::to_string(bufferLength)))
        return false;
    if (previousState != nullptr) *previousState = TokenPrivileges{1, kShutdownLuid, 0};
    if (returnLength != nullptr) *returnLength = sizeof(TokenPrivileges);
    lastError = holdsShutdownPrivilege ? 0 : kErrorNotAllAssigned;
    return true;
}

bool FakeSystemServices::CloseHandle(TokenHandle handle) {
    return enter("CloseHandle", std::to_string(handle));
}

bool FakeSystemServices::InitiateSystemShutdownA(const char* machineName, const char* message,
                                                 Dword timeoutSeconds, int forceAppsClosed,
                                                 int rebootAfterShutdown) {
    if (!enter("InitiateSystemShutdownA", std::string(machineName ? machineName : "null") + "," +
                                              message + "," + std::to_string(timeoutSeconds) + "," +
                                              boolText(forceAppsClosed) + "," +
                                              boolText(rebootAfterShutdown)))
        return false;
    shutdownMessages.push_back(message);
    return true;
}

int FakeSystemServices::MessageBoxA(const char* text, const char* caption, unsigned type) {
    enter("MessageBoxA", std::string(caption) + "," + std::to_string(type));
    messageBoxes.push_back(text);
    return 1;
}

int FakeSystemServices::WSAStartup(std::uint16_t versionRequested) {
    if (!enter("WSAStartup", std::to_string(versionRequested))) return static_cast<int>(lastError);
    networkStarted = true;
    return 0;
}

int FakeSystemServices::WSACleanup() {
    if (!enter("WSACleanup", "")) return -1;
    networkStarted = false;
    return 0;
}

bool FakeSystemServices::gethostbyname(const char* name) {
    if (!enter("gethostbyname", name)) return false;
    if (!networkStarted) {
        lastError = kWsaNotInitialised;
        return false;
    }
    return everyHostAnswers || hostsThatAnswer.count(name) != 0;
}

int FakeSystemServices::readInputByte() {
    if (inputPosition_ >= input.size()) return -1;
    return static_cast<unsigned char>(input[inputPosition_++]);
}

bool FakeSystemServices::equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

EntryKind FakeSystemServices::findEntry(const std::string& path) {
    if (!enter("findEntry", path)) return EntryKind::Missing;
    const auto file = files.find(path);
    if (file == files.end()) {
        lastError = kFileNotFound;
        return EntryKind::Missing;
    }
    return file->second.directory ? EntryKind::Directory : EntryKind::Present;
}

ReadResult FakeSystemServices::readWholeFile(const std::string& path, std::uint64_t sizeLimit,
                                             std::string* contents) {
    if (!enter("readWholeFile", path)) return ReadResult::CannotOpen;
    const auto file = files.find(path);
    if (file == files.end() || file->second.directory || !file->second.regular) {
        lastError = kFileNotFound;
        return ReadResult::CannotOpen;
    }
    const std::uint64_t size =
        file->second.apparentSize != 0 ? file->second.apparentSize : file->second.bytes.size();
    if (size > sizeLimit) return ReadResult::TooLarge;
    *contents = file->second.bytes;
    return ReadResult::Read;
}

bool FakeSystemServices::fileHolds(const std::string& path, TextPieces pieces) {
    if (!enter("fileHolds", path)) return false;
    const auto file = files.find(path);
    // A file given an apparent size that large holds no such text.
    return file != files.end() && !file->second.directory && file->second.regular &&
           file->second.apparentSize == 0 && file->second.bytes == joined(pieces);
}

LockResult FakeSystemServices::tryLockFile(const std::string& lockPath, FileLock* lock) {
    if (!enter("tryLockFile", lockPath)) return LockResult::Failed;
    files.try_emplace(lockPath);
    bool held = locksHeldElsewhere.count(lockPath) != 0;
    for (const auto& entry : heldLocks_) held = held || entry.second == lockPath;
    if (held) {
        lastError = kLockViolation;
        return LockResult::Busy;
    }
    *lock = nextLock_++;
    heldLocks_[*lock] = lockPath;
    return LockResult::Taken;
}

void FakeSystemServices::unlockFile(FileLock lock) {
    const auto held = heldLocks_.find(lock);
    calls.push_back("unlockFile(" + (held == heldLocks_.end() ? std::string("?") : held->second) +
                    ")");
    if (held != heldLocks_.end()) heldLocks_.erase(held);
}

WriteResult FakeSystemServices::writeFileBeside(const std::string& target, TextPieces contents,
                                                std::string* temporaryPath) {
    if (!enter("writeFileBeside", target)) return WriteResult::CannotCreate;
    if (diskFull) {
        lastError = kDiskFull;
        return WriteResult::WriteFailed;
    }
    const std::string name = target + ".tmp" + std::to_string(++temporaryCount_);
    files[name].bytes = joined(contents);
    *temporaryPath = name;
    return WriteResult::Written;
}

bool FakeSystemServices::replaceFile(const std::string& source, const std::string& target) {
    if (!enter("replaceFile", source + "," + target)) return false;
    if (replaceBusyTimes > 0) {
        --replaceBusyTimes;
        lastError = kSharingViolation;
        return false;
    }
    const auto file = files.find(source);
    if (file == files.end()) {
        lastError = kFileNotFound;
        return false;
    }
    files[target] = file->second;
    files.erase(source);
    return true;
}

bool FakeSystemServices::removeFile(const std::string& path) {
    if (!enter("removeFile", path)) return false;
    return files.erase(path) != 0;
}

void FakeSystemServices::sleepMilliseconds(Dword milliseconds) {
    clock += milliseconds;
}

}  // namespace vorlane::testing
