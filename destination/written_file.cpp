#include "destination/written_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "diskio/read_sectors_nt.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

constexpr int kMostNumberedNames = 9999;

// Whether `file` is the one the source drive reads: the same file on the same volume, by any of
// its names. Closes it.
bool IsSourceHandle(Platform& platform, HANDLE file, const std::string& sourceDrive) {
    if (file == INVALID_HANDLE_VALUE) return false;  // nothing there, or a link: removed below either way
    const HANDLE volume = platform.CreateFileA(VolumePath(sourceDrive), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               OPEN_EXISTING, 0);
    BY_HANDLE_FILE_INFORMATION a, b;
    const bool same = volume != INVALID_HANDLE_VALUE && platform.GetFileInformationByHandle(file, a) &&
                      platform.GetFileInformationByHandle(volume, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    platform.CloseHandle(file);
    if (volume != INVALID_HANDLE_VALUE) platform.CloseHandle(volume);
    return same;
}

bool IsSourceFile(Platform& platform, const std::string& path, const std::string& sourceDrive) {
    if (sourceDrive.empty()) return false;
    return IsSourceHandle(platform, platform.CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0),
                          sourceDrive);
}

bool IsSourceFileIn(Platform& platform, HANDLE folder, const std::string& name, const std::string& sourceDrive) {
    if (sourceDrive.empty()) return false;
    return IsSourceHandle(platform, platform.CreateFileInFolder(folder, name, 0, OPEN_EXISTING), sourceDrive);
}

// A name no other writer will pick: eight hex digits that differ between processes and calls.
std::string TemporaryName(const std::string& path) {
    static std::atomic<std::uint32_t> calls{0};
    static const std::uint32_t seed = [] {
        std::uint32_t value = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            value ^= std::random_device{}();
        } catch (...) {  // no entropy source: the clock and an address differ enough between processes
        }
        return value ^ static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&value));
    }();
    std::uint32_t mixed = seed + 0x9E3779B9u * ++calls;
    mixed ^= mixed >> 16;
    mixed *= 0x85EBCA6Bu;
    mixed ^= mixed >> 13;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".kelvara-%08x.tmp", static_cast<unsigned>(mixed));
    return path + suffix;
}

std::string SourceFileRefusal(const std::string& sourceDrive) {
    return "it is the card image being read from drive " + sourceDrive +
           ", and writing it would destroy that. Choose another folder.";
}

}  // namespace

HANDLE CreateInPlaceOf(Platform& platform, const std::string& path, const std::string& sourceDrive,
                       std::string& failure) {
    if (IsSourceFile(platform, path, sourceDrive)) {
        failure = SourceFileRefusal(sourceDrive);
        return INVALID_HANDLE_VALUE;
    }
    const bool deleted = platform.DeleteFileA(path);
    const DWORD deleteError = deleted ? 0 : platform.GetLastError();
    const HANDLE file = platform.CreateFileA(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE) return file;
    // Something of the name is still there: what kept it from going is the reason.
    if (platform.GetLastError() == ERROR_FILE_EXISTS && deleteError != 0)
        failure = "something of that name is there and could not be replaced: " + platform.FormatErrorMessage(deleteError);
    else
        failure = LastErrorText(platform);
    return INVALID_HANDLE_VALUE;
}

TemporaryFile::TemporaryFile(Destination& destination, std::string relativeName)
    : destination_(destination), platform_(destination.platform()) {
    if (!destination_.claimed()) {
        failure_ = *destination_.refusal();
        return;
    }
    folder_ = destination_.FolderOf(relativeName, leaf_);
    if (folder_ == INVALID_HANDLE_VALUE) {
        failure_ = LastErrorText(platform_);
        return;
    }
    relativeFolder_ = relativeName.substr(0, relativeName.size() - leaf_.size());
    // A new file of a name nobody has: nothing that was planted is opened or followed.
    for (int attempt = 0; attempt < 8 && handle_ == INVALID_HANDLE_VALUE; ++attempt) {
        temporary_ = TemporaryName(leaf_);
        handle_ = platform_.CreateFileInFolder(folder_, temporary_, GENERIC_WRITE, CREATE_NEW);
        if (handle_ == INVALID_HANDLE_VALUE && platform_.GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
        failure_ = LastErrorText(platform_);
        temporary_.clear();
        return;
    }
    destination_.Remember(folder_, temporary_, handle_);
}

TemporaryFile::~TemporaryFile() { Discard(); }

bool TemporaryFile::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!platform_.WriteFile(handle_, bytes, written)) {
            failure_ = LastErrorText(platform_);
            return false;
        }
        if (written == 0 || written > bytes.size()) {
            failure_ = "Only part of the data could be written.";
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

void TemporaryFile::SetLastWriteTime(const FILETIME& time) {
    if (handle_ != INVALID_HANDLE_VALUE) platform_.SetFileTime(handle_, nullptr, nullptr, &time);
}

void TemporaryFile::Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // A close can be where a delayed write finally fails.
    if (!platform_.CloseHandle(handle_)) {
        closeFailed_ = true;
        failure_ = LastErrorText(platform_);
    }
    handle_ = INVALID_HANDLE_VALUE;
}

std::optional<std::string> TemporaryFile::Commit() { return CommitAs(leaf_); }

std::optional<std::string> TemporaryFile::CommitAs(const std::string& otherName) {
    if (temporary_.empty()) return failure_.empty() ? std::string("it was not written.") : failure_;
    Close();
    std::optional<std::string> failure = closeFailed_ ? std::optional<std::string>(failure_) : Place(otherName);
    if (failure) {
        failure_ = *failure;
        Discard();
    }
    temporary_.clear();
    return failure;
}

bool TemporaryFile::SameBytes(const std::string& a, const std::string& b) {
    const HANDLE first = platform_.CreateFileInFolder(folder_, a, GENERIC_READ, OPEN_EXISTING);
    const HANDLE second =
        first == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE : platform_.CreateFileInFolder(folder_, b, GENERIC_READ, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION one{}, two{};
    bool same = second != INVALID_HANDLE_VALUE && platform_.GetFileInformationByHandle(first, one) &&
                platform_.GetFileInformationByHandle(second, two) && one.nFileSizeHigh == two.nFileSizeHigh &&
                one.nFileSizeLow == two.nFileSizeLow;
    std::vector<std::uint8_t> x(same ? 1 << 20 : 0), y(x.size());
    while (same) {
        DWORD gotX = 0, gotY = 0;
        if (!platform_.ReadFile(first, x, gotX) || !platform_.ReadFile(second, y, gotY) || gotX != gotY ||
            std::memcmp(x.data(), y.data(), gotX) != 0) {
            same = false;
            break;
        }
        if (gotX == 0) break;
    }
    if (second != INVALID_HANDLE_VALUE) platform_.CloseHandle(second);
    if (first != INVALID_HANDLE_VALUE) platform_.CloseHandle(first);
    return same;
}

std::optional<std::string> TemporaryFile::Place(const std::string& leaf) {
    if (destination_.replaces()) {
        // Only the destination's own files are replaced there, and never a card image being read.
        for (const std::string& drive : destination_.sourceDrives())
            if (IsSourceFileIn(platform_, folder_, leaf, drive)) return SourceFileRefusal(drive);
        if (!platform_.MoveFileInFolder(folder_, temporary_, leaf, MOVEFILE_REPLACE_EXISTING)) return LastErrorText(platform_);
        committed_ = Committed{relativeFolder_ + leaf, false, false};
        return std::nullopt;
    }
    for (int n = 1; n <= kMostNumberedNames; ++n) {
        const std::string name = NumberedName(leaf, n);
        if (platform_.MoveFileInFolder(folder_, temporary_, name, 0)) {
            committed_ = Committed{relativeFolder_ + name, n > 1, false};
            return std::nullopt;
        }
        if (platform_.GetLastError() != ERROR_ALREADY_EXISTS) return LastErrorText(platform_);
        // Saved before, from this card or another copy of it: that file is this one.
        if (SameBytes(temporary_, name)) {
            platform_.DeleteFileInFolder(folder_, temporary_);
            committed_ = Committed{relativeFolder_ + name, n > 1, true};
            return std::nullopt;
        }
    }
    return "every name from " + leaf + " to " + NumberedName(leaf, kMostNumberedNames) + " is taken by other files.";
}

void TemporaryFile::Discard() {
    Close();
    if (!temporary_.empty()) platform_.DeleteFileInFolder(folder_, temporary_);
    temporary_.clear();
}

NextPiece WholeContent(std::span<const std::uint8_t> bytes) {
    return [bytes, handedOut = false]() mutable -> std::span<const std::uint8_t> {
        if (handedOut) return {};
        handedOut = true;
        return bytes;
    };
}

std::optional<std::string> WriteWholeFile(Destination& destination, const std::string& relativeName,
                                          const NextPiece& next, const std::optional<FILETIME>& lastWriteTime,
                                          Committed* committed) {
    TemporaryFile file(destination, relativeName);
    if (!file.ok()) return file.failure();
    // What `next` throws leaves the destructor to remove the temporary.
    for (std::span<const std::uint8_t> piece = next(); !piece.empty(); piece = next())
        if (!file.Write(piece)) return file.failure();
    if (lastWriteTime) file.SetLastWriteTime(*lastWriteTime);
    auto failure = file.Commit();
    if (!failure && committed) *committed = file.committed();
    return failure;
}

std::string NumberedName(const std::string& name, int n) {
    if (n <= 1) return name;
    const std::size_t dot = name.find_last_of('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace kelvara
