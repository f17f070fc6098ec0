#include "platform/posix/low_memory_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kelvara {
namespace {

// The 9x scan asks for about one sector plus its control block per read, millions of times:
// freed blocks up to this size are kept and handed out again instead of being unmapped.
constexpr std::size_t kSpareMaxBytes = 64 * 1024;
constexpr std::size_t kSpareMaxCount = 16;
constexpr std::uint64_t kAddressLimit = std::uint64_t{1} << 32;

std::size_t PageSize() {
    static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

bool FitsLow(const void* base, std::size_t bytes) {
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    return start != 0 && start < kAddressLimit && bytes <= kAddressLimit - start;
}

}  // namespace

LowMemoryArena::~LowMemoryArena() {
    for (const auto& [address, mapping] : live_) Unmap(mapping);
    for (const Mapping& mapping : spare_) Unmap(mapping);
}

LowMemoryArena::Mapping LowMemoryArena::Map(std::size_t mappedBytes) {
#if defined(__x86_64__) && defined(MAP_32BIT)
    void* base = ::mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#else
    // No way to ask for low memory outright: hint at it and check what came back.
    void* hint = reinterpret_cast<void*>(std::uintptr_t{0x10000000});
    void* base = ::mmap(hint, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
#endif
    if (base == MAP_FAILED) return {};
    if (!FitsLow(base, mappedBytes)) {
        ::munmap(base, mappedBytes);
        return {};
    }
    return Mapping{static_cast<std::uint8_t*>(base), mappedBytes, 0};
}

void LowMemoryArena::Unmap(const Mapping& mapping) { ::munmap(mapping.base, mapping.mappedBytes); }

Platform::LowBlock LowMemoryArena::Allocate(std::size_t size) {
    if (size == 0 || size >= kAddressLimit) return {};
    const std::size_t page = PageSize();
    const std::size_t mappedBytes = (size + page - 1) / page * page;

    std::lock_guard lock(mutex_);
    Mapping mapping;
    const auto spare = std::find_if(spare_.begin(), spare_.end(),
                                    [&](const Mapping& m) { return m.mappedBytes == mappedBytes; });
    if (spare != spare_.end()) {
        mapping = *spare;
        spare_.erase(spare);
        std::memset(mapping.base, 0, mappedBytes);  // what the last user left is not for the next
    } else {
        mapping = Map(mappedBytes);  // fresh anonymous pages are zero
        if (!mapping.base) return {};
    }
    mapping.size = size;
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(mapping.base));
    live_[address] = mapping;
    return Platform::LowBlock{std::span<std::uint8_t>(mapping.base, size), address};
}

void LowMemoryArena::Free(const Platform::LowBlock& block) {
    std::lock_guard lock(mutex_);
    const auto found = live_.find(block.address);
    if (found == live_.end() || found->second.base != block.bytes.data()) return;
    const Mapping mapping = found->second;
    live_.erase(found);
    if (mapping.mappedBytes <= kSpareMaxBytes && spare_.size() < kSpareMaxCount) {
        spare_.push_back(mapping);
    } else {
        Unmap(mapping);
    }
}

std::span<std::uint8_t> LowMemoryArena::Resolve(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    auto after = live_.upper_bound(address);
    if (after == live_.begin()) return {};
    const auto& [start, mapping] = *std::prev(after);
    const std::uint64_t offset = std::uint64_t{address} - start;
    if (offset > mapping.size || length > mapping.size - offset) return {};
    return std::span<std::uint8_t>(mapping.base + offset, length);
}

}  // namespace kelvara
