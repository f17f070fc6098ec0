#pragma once
// DOS names as the program writes them ("E:\DCIM\a.jpg", "\\.\E:", "\\.\VWIN32"), read and
// turned into what they mean on this machine.

#include <functional>
#include <optional>
#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// A name in the device namespace: "\\.\E:" is a raw volume, "\\.\VWIN32" the 9x virtual device.
struct DeviceName {
    enum class Kind { Volume, Vwin32, Unknown };
    Kind kind = Kind::Unknown;
    char letter = 0;  // upper case, for a volume
};

// nullopt when the name is not in the device namespace (an ordinary path, also "\\.\E:\x").
std::optional<DeviceName> ParseDeviceName(const std::string& name);

// The letter of a drive root: "E:\", "E:", "e:/" give 'E'. nullopt for anything else.
std::optional<char> ParseDriveRoot(const std::string& root);

// Gives the folder that stands for a drive's root, or nullopt when the letter has none.
using DriveFolderLookup = std::function<std::optional<std::string>(char letter)>;

// "X:\a\b" becomes the drive's folder plus "/a/b"; ".." never climbs above the drive's root, as
// on Windows. A path starting with "/" is used as it is; a relative one stays relative.
// nullopt with ERROR_PATH_NOT_FOUND when the drive has no folder.
std::optional<std::string> DosToPosixPath(const std::string& path, const DriveFolderLookup& folderOf, DWORD& error);

}  // namespace kelvara
