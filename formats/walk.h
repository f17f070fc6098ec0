#pragma once
// What walking a file's structure from its first byte shows: where it ends, or how far it held
// together before it broke off, and whether it met picture data on the way.

#include <cstdint>
#include <optional>

namespace kelvara {

struct Walk {
    // Where the structure ends; nullopt when it breaks off or leads nowhere: a damaged or
    // overwritten photo, one whose rest lies elsewhere, or a signature that was only chance.
    std::optional<std::uint64_t> end;
    // The bytes before this held together: the end of a whole one, where a broken one broke off.
    std::uint64_t reached = 0;
    // Picture data came before the end or the break: a JPEG's frame and scan, a GIF's image.
    bool image = false;
};

}  // namespace kelvara
