#include "platform/posix/file_pointer.h"

#include "platform/posix/posix_errors.h"

namespace kelvara {

std::optional<std::int64_t> FilePointerTarget(std::int64_t current, std::int64_t end, LONG low, const LONG* high,
                                              DWORD moveMethod, DWORD& error) {
    std::int64_t from = 0;
    switch (moveMethod) {
        case FILE_BEGIN: from = 0; break;
        case FILE_CURRENT: from = current; break;
        case FILE_END: from = end; break;
        default: error = ERROR_INVALID_PARAMETER; return std::nullopt;
    }
    const std::int64_t distance =
        high ? static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(*high)) << 32 |
                                         static_cast<std::uint32_t>(low))
             : std::int64_t{low};
    std::int64_t target = 0;
    if (__builtin_add_overflow(from, distance, &target)) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    if (target < 0) {
        error = ERROR_NEGATIVE_SEEK;
        return std::nullopt;
    }
    // Without a high part the caller could not learn a position past 4 GiB.
    if (!high && target > std::int64_t{0xFFFFFFFE}) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    return target;
}

}  // namespace kelvara
