#pragma once
// Owns a block of 32-bit addressable memory from the platform for the length of a call.

#include <cstdint>
#include <span>

#include "platform/platform.h"

namespace kelvara {

class LowMemory {
public:
    LowMemory(Platform& platform, std::size_t size) : platform_(platform), block_(platform.AllocateLowMemory(size)) {}
    ~LowMemory() {
        if (!block_.bytes.empty()) platform_.FreeLowMemory(block_);
    }
    LowMemory(const LowMemory&) = delete;
    LowMemory& operator=(const LowMemory&) = delete;

    bool ok() const { return !block_.bytes.empty(); }
    std::span<std::uint8_t> bytes() const { return block_.bytes; }
    // The 32-bit address of byte `offset` of the block.
    std::uint32_t address(std::size_t offset = 0) const {
        return block_.address + static_cast<std::uint32_t>(offset);
    }

private:
    Platform& platform_;
    Platform::LowBlock block_;
};

}  // namespace kelvara
