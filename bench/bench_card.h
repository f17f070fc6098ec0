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

// A file laid on a card: its fingerprint, and its extension as the camera or phone named it.
struct CardFile {
    std::uint64_t fingerprint;
    std::string extension;  // ".HEIC"
};

// A phone's card used for a while: sets of 25 HEIC photos, 9 JPEGs (three of them motion photos
// carrying their clip after the image), 6 PNG screenshots, 2 MOV and 2 MP4 clips of full-HD
// video, laid one after another from the start of its data area (deleted), as many sets as fill
// half of the card, and old data to its end. The HEIC photos and clips are made with heif-enc
// and ffmpeg in `scratch`; a format whose tool is missing is left out, and said so.
std::vector<CardFile> MakePhoneCard(const std::string& path, std::int64_t gibibytes, const std::string& scratch);

// A camera's card shooting RAW + JPEG: DNG, CR2, NEF, ARW and RAF files of 16 to 24 MB (their
// RAW data is noise), each followed by its JPEG, as many as fill half of the card, and old data
// to its end.
std::vector<CardFile> MakeRawCard(const std::string& path, std::int64_t gibibytes);

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
