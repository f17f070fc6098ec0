#include "cli/source.h"

#include <cctype>
#include <vector>

#include "diskio/get_total_sectors.h"
#include "platform/drive_string.h"

namespace kelvara::cli {
namespace {

bool IsDriveString(const std::string& text) {
    return (text.size() == 2 || (text.size() == 3 && text[2] == '\\')) &&
           std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

}  // namespace

Source ParseSource(const std::string& text) {
    Source source;
    if (IsDriveString(text)) {
        source.drive = DriveRoot(text);
        return source;
    }
    PlatformOptions::Image image{text, 0};
    const auto at = text.rfind('@');
    if (at != std::string::npos && at + 1 < text.size()) {
        const std::string number = text.substr(at + 1);
        if (number.find_first_not_of("0123456789") == std::string::npos && number.size() < 4) {
            image.path = text.substr(0, at);
            image.partition = std::stoi(number);
        }
    }
    source.image = image;
    return source;
}

std::string DriveTarget(Platform& platform, const std::string& root) {
    char target[4096];
    const std::string device = root.substr(0, 2);
    return platform.QueryDosDeviceA(device, target) ? std::string(target) : std::string();
}

std::optional<std::string> DriveOf(Platform& platform, const Source& source) {
    if (source.drive) return source.drive;
    const std::string& path = source.image->path;
    std::optional<std::string> first;
    for (const std::string& root : DriveStrings(platform)) {
        const std::string target = DriveTarget(platform, root);
        const bool ofImage = target == path || target.rfind(path + "@", 0) == 0;
        if (!ofImage || platform.GetDriveTypeA(root) != DRIVE_REMOVABLE) continue;
        if (!first) first = root;
        if (FileSystemSectors(platform, root)) return root;  // the first with a file system
    }
    return first;
}

}  // namespace kelvara::cli
