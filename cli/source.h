#pragma once
// Where a command reads from: a drive string as it is, or an image file or block device that
// is attached as the next removable drive.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/create_platform.h"
#include "platform/platform.h"

namespace kelvara::cli {

struct Source {
    std::optional<std::string> drive;         // "E:\" when SOURCE named a drive
    std::optional<PlatformOptions::Image> image;  // otherwise the image or device to attach
};

// "E:", "e:\" name drives; anything else is a path, with "@N" for partition N.
Source ParseSource(const std::string& text);

// The drive string of the source on this platform: the drive it names, or the first drive the
// attached image gave that holds a FAT or exFAT file system (else its first). nullopt when the image could not
// be attached here.
std::optional<std::string> DriveOf(Platform& platform, const Source& source);

// "E:\" and what it stands for, "" when the platform cannot tell.
std::string DriveTarget(Platform& platform, const std::string& root);

}  // namespace kelvara::cli
