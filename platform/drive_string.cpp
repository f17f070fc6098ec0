#include "platform/drive_string.h"

#include <cctype>

namespace kelvara {

std::vector<std::string> DriveStrings(Platform& platform) {
    // A list longer than the buffer is asked for again at the size it needs, and once more should
    // a card come meanwhile.
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = platform.GetLogicalDriveStringsA(buffer);
        if (length == 0) return {};
        if (length >= buffer.size()) {
            buffer.assign(length + 1, '\0');
            continue;
        }
        // "C:\<NUL>E:\<NUL><NUL>": the list ends at the first empty string.
        std::vector<std::string> roots;
        for (std::size_t at = 0; at < length && buffer[at] != '\0';) {
            roots.emplace_back(buffer.data() + at);
            at += roots.back().size() + 1;
        }
        return roots;
    }
    return {};
}

char DriveLetter(const std::string& drive) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(drive.at(0))));
}

std::string DriveRoot(char letter) {
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) + ":\\";
}

std::string DriveRoot(const std::string& drive) { return DriveRoot(drive.at(0)); }

}  // namespace kelvara
