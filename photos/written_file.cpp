#include "photos/written_file.h"

#include "photos/last_error_text.h"

namespace kelvara {

std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, DWORD creationDisposition,
                                          const NextPiece& next) {
    const HANDLE file = platform.CreateFileA(path, GENERIC_WRITE, 0, creationDisposition, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return LastErrorText(platform);

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

NextPiece WholeContent(std::span<const std::uint8_t> bytes) {
    return [bytes, handedOut = false]() mutable -> std::span<const std::uint8_t> {
        if (handedOut) return {};
        handedOut = true;
        return bytes;
    };
}

std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path,
                                          std::span<const std::uint8_t> bytes, DWORD creationDisposition) {
    return WriteWholeFile(platform, path, creationDisposition, WholeContent(bytes));
}

}  // namespace kelvara
