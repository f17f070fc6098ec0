#include "destination/written_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

#include "diskio/read_sectors_nt.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

// Whether the file at `path` is the one the source drive reads: the same file on the same
// volume, by any of its names.
bool IsSourceFile(Platform& platform, const std::string& path, const std::string& sourceDrive) {
    if (sourceDrive.empty()) return false;
    const HANDLE file = platform.CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
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

constexpr const char* kLeftoverPattern = "*.kelvara-*.tmp";

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

TemporaryFile::TemporaryFile(Platform& platform, std::string path, std::string sourceDrive)
    : platform_(platform), path_(std::move(path)), sourceDrive_(std::move(sourceDrive)) {
    if (IsSourceFile(platform_, path_, sourceDrive_)) {
        failure_ = SourceFileRefusal(sourceDrive_);
        return;
    }
    // A new file of a name nobody has: nothing that was planted is opened or followed.
    for (int attempt = 0; attempt < 8 && handle_ == INVALID_HANDLE_VALUE; ++attempt) {
        temporary_ = TemporaryName(path_);
        handle_ = platform_.CreateFileA(temporary_, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (handle_ == INVALID_HANDLE_VALUE && platform_.GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
        failure_ = LastErrorText(platform_);
        temporary_.clear();
    }
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

std::optional<std::string> TemporaryFile::Commit() { return CommitAs(path_); }

std::optional<std::string> TemporaryFile::CommitAs(const std::string& otherPath) {
    if (temporary_.empty()) return failure_.empty() ? std::string("it was not written.") : failure_;
    Close();
    std::optional<std::string> failure;
    if (closeFailed_)
        failure = failure_;
    else if (IsSourceFile(platform_, otherPath, sourceDrive_))
        failure = SourceFileRefusal(sourceDrive_);
    else if (!platform_.MoveFileExA(temporary_, otherPath, MOVEFILE_REPLACE_EXISTING))
        failure = LastErrorText(platform_);
    if (failure) {
        failure_ = *failure;
        Discard();
    }
    temporary_.clear();
    return failure;
}

void TemporaryFile::Discard() {
    Close();
    if (!temporary_.empty()) platform_.DeleteFileA(temporary_);
    temporary_.clear();
}

void RemoveLeftovers(Platform& platform, const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
    const auto entries = platform.FindFiles(prefix + kLeftoverPattern);
    if (!entries) return;
    for (const FindData& entry : *entries)
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) platform.DeleteFileA(prefix + entry.cFileName);
}

NextPiece WholeContent(std::span<const std::uint8_t> bytes) {
    return [bytes, handedOut = false]() mutable -> std::span<const std::uint8_t> {
        if (handedOut) return {};
        handedOut = true;
        return bytes;
    };
}

std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, const NextPiece& next,
                                          const std::string& sourceDrive, const std::optional<FILETIME>& lastWriteTime) {
    TemporaryFile file(platform, path, sourceDrive);
    if (!file.ok()) return file.failure();
    // What `next` throws leaves the destructor to remove the temporary.
    for (std::span<const std::uint8_t> piece = next(); !piece.empty(); piece = next())
        if (!file.Write(piece)) return file.failure();
    if (lastWriteTime) file.SetLastWriteTime(*lastWriteTime);
    return file.Commit();
}

}  // namespace kelvara
