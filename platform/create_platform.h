#pragma once
// The platform of the system Kelvara was built for.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

struct PlatformOptions {
    struct Image {
        std::string path;
        int partition = 0;  // 0: every partition (or the whole file without a table); N: only N
    };
    // Disk image files to present as removable drives, in order, where the system can.
    std::vector<Image> images;
    // The family to report instead of the system's own (1: 9x, 2: NT), where the system can.
    std::optional<DWORD> platformId;
};

// Throws std::runtime_error, with a message naming it, for an image that can hold no card
// (a FIFO, a socket, a character device, a folder).
std::unique_ptr<Platform> CreatePlatform(const PlatformOptions& options);

}  // namespace kelvara
