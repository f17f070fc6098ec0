#include "platform/drive_string.h"

#include <array>
#include <cctype>

namespace kelvara {

std::vector<std::string> DriveStrings(Platform& platform) {
    // Every drive string is a letter's root, "E:\": 26 of them at the most, and the final NUL.
    std::array<char, 26 * 4 + 1> buffer{};
    const DWORD length = platform.GetLogicalDriveStringsA(buffer);
    if (length == 0 || length >= buffer.size()) return {};
    // "C:\<NUL>E:\<NUL><NUL>": the list ends at the first empty string.
    std::vector<std::string> roots;
    for (std::size_t at = 0; at < length && buffer[at] != '\0';) {
        roots.emplace_back(buffer.data() + at);
        at += roots.back().size() + 1;
    }
    return roots;
}

char DriveLetter(const std::string& drive) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(drive.at(0))));
}

std::string DriveRoot(char letter) {
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) + ":\\";
}

std::string DriveRoot(const std::string& drive) { return DriveRoot(drive.at(0)); }

}  // namespace kelvara
