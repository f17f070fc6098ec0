#pragma once
// Memory whose addresses fit 32 bits, for the 9x disk service's control block and buffer, and
// the registry of what is live, so the emulated service only ever touches memory handed out here.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

class LowMemoryArena {
public:
    LowMemoryArena() = default;
    ~LowMemoryArena();
    LowMemoryArena(const LowMemoryArena&) = delete;
    LowMemoryArena& operator=(const LowMemoryArena&) = delete;

    // Zero-filled; empty when the size is 0, too large for 32 bits, or no low memory is left.
    Platform::LowBlock Allocate(std::size_t size);
    // Blocks not handed out here are ignored.
    void Free(const Platform::LowBlock& block);

    // The bytes [address, address + length) when they lie wholly inside one live block; an
    // empty span otherwise. The 9x service resolves every address it is given through this.
    std::span<std::uint8_t> Resolve(std::uint32_t address, std::size_t length) const;

private:
    struct Mapping {
        std::uint8_t* base = nullptr;
        std::size_t mappedBytes = 0;  // whole pages
        std::size_t size = 0;         // what the caller asked for
    };

    Mapping Map(std::size_t mappedBytes);
    static void Unmap(const Mapping& mapping);

    mutable std::mutex mutex_;
    std::map<std::uint32_t, Mapping> live_;  // by address
    std::vector<Mapping> spare_;             // freed small blocks, kept for reuse
};

}  // namespace kelvara
