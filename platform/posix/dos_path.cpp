#include "platform/posix/dos_path.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace kelvara {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDriveLetter(const std::string& text, std::size_t at) {
    return text.size() >= at + 2 && std::isalpha(static_cast<unsigned char>(text[at])) && text[at + 1] == ':';
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

// "\\.\" or "\\?\" (either slash) at the start.
bool HasDeviceNamespacePrefix(const std::string& name) {
    return name.size() >= 4 && IsSeparator(name[0]) && IsSeparator(name[1]) && (name[2] == '.' || name[2] == '?') &&
           IsSeparator(name[3]);
}

// The parts of a path below a drive's root, with "." dropped and ".." applied, never above the root.
std::string NormalizeBelowRoot(const std::string& rest) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : rest) {
        if (IsSeparator(c)) {
            flush();
        } else {
            part += c;
        }
    }
    flush();
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out;
}

}  // namespace

std::optional<DeviceName> ParseDeviceName(const std::string& name) {
    if (!HasDeviceNamespacePrefix(name)) return std::nullopt;
    const std::string rest = name.substr(4);
    if (rest.size() == 2 && HasDriveLetter(rest, 0)) return DeviceName{DeviceName::Kind::Volume, Upper(rest[0])};
    if (HasDriveLetter(rest, 0)) return std::nullopt;  // "\\.\E:\folder": a path on the drive
    if (EqualsIgnoringCase(rest, "VWIN32")) return DeviceName{DeviceName::Kind::Vwin32, 0};
    return DeviceName{DeviceName::Kind::Unknown, 0};
}

std::optional<char> ParseDriveRoot(const std::string& root) {
    if (!HasDriveLetter(root, 0)) return std::nullopt;
    if (root.size() == 2 || (root.size() == 3 && IsSeparator(root[2]))) return Upper(root[0]);
    return std::nullopt;
}

std::optional<std::string> DosToPosixPath(const std::string& path, const DriveFolderLookup& folderOf, DWORD& error) {
    std::string dos = path;
    if (HasDeviceNamespacePrefix(dos) && HasDriveLetter(dos, 4)) dos = dos.substr(4);

    if (!HasDriveLetter(dos, 0)) {
        std::string posix = dos;
        std::replace(posix.begin(), posix.end(), '\\', '/');
        if (posix.empty()) {
            error = ERROR_PATH_NOT_FOUND;
            return std::nullopt;
        }
        return posix;
    }

    const auto folder = folderOf(Upper(dos[0]));
    if (!folder || folder->empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    const std::string below = NormalizeBelowRoot(dos.substr(2));
    if (below.empty()) return *folder;
    if (folder->back() == '/') return folder->substr(0, folder->size() - 1) + below;
    return *folder + below;
}

}  // namespace kelvara
