#include "destination/written_file.h"

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

}  // namespace

HANDLE CreateInPlaceOf(Platform& platform, const std::string& path, const std::string& sourceDrive,
                       std::string& failure) {
    if (IsSourceFile(platform, path, sourceDrive)) {
        failure = "it is the card image being read from drive " + sourceDrive +
                  ", and writing it would destroy that. Choose another folder.";
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

NextPiece WholeContent(std::span<const std::uint8_t> bytes) {
    return [bytes, handedOut = false]() mutable -> std::span<const std::uint8_t> {
        if (handedOut) return {};
        handedOut = true;
        return bytes;
    };
}

std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, const NextPiece& next,
                                          const std::string& sourceDrive) {
    std::string failureToOpen;
    const HANDLE file = CreateInPlaceOf(platform, path, sourceDrive, failureToOpen);
    if (file == INVALID_HANDLE_VALUE) return failureToOpen;

    std::optional<std::string> failure;
    try {
        for (std::span<const std::uint8_t> piece = next(); !piece.empty() && !failure; piece = next()) {
            DWORD written = 0;
            if (!platform.WriteFile(file, piece, written))
                failure = LastErrorText(platform);
            else if (written != piece.size())
                failure = "Only " + std::to_string(written) + " of " + std::to_string(piece.size()) +
                          " bytes were written.";
        }
    } catch (...) {
        platform.CloseHandle(file);
        platform.DeleteFileA(path);
        throw;
    }
    // A close can be where a delayed write finally fails.
    if (!platform.CloseHandle(file) && !failure) failure = LastErrorText(platform);
    if (failure) platform.DeleteFileA(path);
    return failure;
}

}  // namespace kelvara
