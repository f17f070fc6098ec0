#pragma once
// How much memory this process has held: for checking that long commands stay within bounds.

#include <cstdint>
#include <optional>

namespace kelvara {

// The most memory this process has had resident at once so far (its peak working set), in
// bytes; nullopt when the system cannot tell.
std::optional<std::uint64_t> PeakResidentBytes();

}  // namespace kelvara
