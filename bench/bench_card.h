#pragma once
// What the benchmarks share: a large card image full of data, and timing of plain commands.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kelvara::bench {

// A FAT32 image of `mebibytes` MiB whose data area holds pseudo-random bytes and a photo
// signature every 5,003 sectors, so every sector is real data in the page cache.
void FillCardImage(const std::string& path, std::int64_t mebibytes);

// A camera card used for two sessions: `older` photos written one after another from the start
// of its data area (then deleted), `newer` photos written after them (deleted too), and old
// data of other files from there to the card's end. Photos are camera-sized JPEGs of 2 to 8 MB
// with thumbnails, some smaller ones with a Multi-Picture preview, and GIF89a, each unique by
// content; no more are laid than fill nine tenths of the card. Returns a fingerprint of every
// photo written, in card order.
std::vector<std::uint64_t> MakeTwoSessionCard(const std::string& path, std::int64_t gibibytes, int older, int newer);

// A fingerprint of a file's bytes, to tell recovered photos from the ones written.
std::uint64_t Fingerprint(std::span<const std::uint8_t> bytes);

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
