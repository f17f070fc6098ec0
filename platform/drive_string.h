#pragma once
// Drive strings: the roots the system lists ("C:\", "E:\", ...), and the drive a drive text
// names. Only a drive text's first character names its drive, in either case.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

// The drive strings GetLogicalDriveStringsA lists, in its order; empty when it cannot list them
// (a system always has a drive).
std::vector<std::string> DriveStrings(Platform& platform);

// The drive letter of a drive text, upper-cased: 'E' for "e:", "E:\" or "E:\DCIM". Throws
// std::out_of_range for an empty text.
char DriveLetter(const std::string& drive);

// The root string of a drive: "E:\".
std::string DriveRoot(char letter);
std::string DriveRoot(const std::string& drive);

}  // namespace kelvara
