#include "photos/written_file.h"

#include "photos/last_error_text.h"

namespace kelvara {

std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path,
                                          std::span<const std::uint8_t> bytes, DWORD creationDisposition) {
    const HANDLE file = platform.CreateFileA(path, GENERIC_WRITE, 0, creationDisposition, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return LastErrorText(platform);

    std::optional<std::string> failure;
    DWORD written = 0;
    if (!platform.WriteFile(file, bytes, written))
        failure = LastErrorText(platform);
    else if (written != bytes.size())
        failure = "Only " + std::to_string(written) + " of " + std::to_string(bytes.size()) + " bytes were written.";
    // A close can be where a delayed write finally fails.
    if (!platform.CloseHandle(file) && !failure) failure = LastErrorText(platform);
    if (failure) platform.DeleteFileA(path);
    return failure;
}

}  // namespace kelvara
