#pragma once
// What the benchmarks share: a large card image full of data, and timing of plain commands.

#include <cstdint>
#include <functional>
#include <string>

namespace kelvara::bench {

// A FAT32 image of `mebibytes` MiB whose data area holds pseudo-random bytes and a photo
// signature every 5,003 sectors, so every sector is real data in the page cache.
void FillCardImage(const std::string& path, std::int64_t mebibytes);

// The card to measure: IMAGE from the command line, or one made in `folder` of the size
// --size-mib N gives (1024 MiB by default). Left in the page cache.
std::string CardFromArguments(int argc, char** argv, const std::string& folder);

// Seconds a shell command takes.
double SecondsOf(const std::string& command);

// The best of three runs, in seconds.
double BestOfThree(const std::function<double()>& run);

// Reads the file once so it is in the page cache.
void WarmUp(const std::string& path);

}  // namespace kelvara::bench
