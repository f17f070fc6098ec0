#pragma once
#include <cstdint>

namespace kelvara {

// A scan reads the drive in this many runs, then whatever is left in one final read.
inline constexpr int kScanRuns = 50;

// A run is read in pieces of this many sectors (512 KiB): a piece stays in the processor's cache
// from the kernel's copy into it to the test of its sectors, few enough that opening the volume
// for each costs little, and memory stays small on any card.
inline constexpr std::int32_t kScanPieceSectors = 1024;

// Sectors per run: total / 50 rounded to the nearest whole number, halves to the even one
// (1,025 sectors give 20, 1,075 give 22, 25 give 0).
std::int64_t RunLength(std::int64_t total);

}  // namespace kelvara
