#pragma once
#include <cstdint>

namespace kelvara {

// A scan reads the drive in this many runs, then whatever is left in one final read.
inline constexpr int kScanRuns = 50;

// No single read holds more than this many sectors (32 MiB): longer runs are read in pieces,
// so memory stays bounded on large cards and the byte count never overflows.
inline constexpr std::int32_t kMaxReadSectors = 65536;

// Sectors per run: total / 50 rounded to the nearest whole number, halves to the even one
// (1,025 sectors give 20, 1,075 give 22, 25 give 0).
std::int64_t RunLength(std::int64_t total);

}  // namespace kelvara
