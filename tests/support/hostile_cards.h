#pragma once
// Cards an adversary crafts against the photo walkers and Save All: structures that reach across
// the whole card, indexes that point anywhere, a signature in every sector. Whole cards as bytes,
// from sector 0; no file system is needed, the scan reads sectors.

#include <cstdint>
#include <vector>

namespace kelvara::testing {

using Bytes = std::vector<std::uint8_t>;

// A JPEG of `length` bytes (at least 64) whose structure holds: a frame and a scan header, data
// that never form a marker, its end. `segments` go in after its start (each a whole segment).
Bytes TinyJpeg(std::size_t length, int seed, const Bytes& segments = {});

// An APP2 Multi-Picture segment: the photo's own entry, then one entry for each further image
// (its size and offset from the index's header, which starts 8 bytes into the segment). With
// `moreTags`, that many further entries tags follow the first, each pointing at its entries.
Bytes MultiPictureSegment(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& images, int moreTags = 0);

// Every sector starts a JPEG whose APP1 segments hop `hop` sectors on, to the card's end; in the
// last `hop` sectors each chain ends with a frame, a scan and an end of image.
Bytes HoppingJpegCard(std::size_t sectors, std::size_t hop = 127);

// Every sector starts a GIF89a whose image sub-blocks chain on to the card's last sector, where
// they all end in one trailer.
Bytes ChainedGifCard(std::size_t sectors);

// `count` JPEGs of 1.6 KB one after another from sector 0, each with a Multi-Picture index that
// declares as its preview the 64 KiB JPEG at the card's end.
Bytes FarPreviewCard(std::size_t sectors, int count);

// One small JPEG whose index declares a preview of `declared` bytes right after it, where a
// small JPEG indeed starts; the rest of the card is empty.
Bytes DeclaredGiantCard(std::size_t sectors, std::uint32_t declared);

// A JPEG whose index holds `entries` entries alternating between two JPEGs near the card's end.
Bytes AlternatingIndexCard(std::size_t sectors, int entries);

// A JPEG whose index segment is full of entries tags: `tags` of them.
Bytes ManyTagsCard(std::size_t sectors, int tags);

// Every sector starts with FF D8 FF; nothing else is there.
Bytes SignatureEverywhereCard(std::size_t sectors);

// Every sector starts a PNG whose image header is followed by a chunk declaring `declared` bytes.
Bytes PngChunkEverywhereCard(std::size_t sectors, std::uint32_t declared);
// A FAT32 card of one-sector clusters whose every cluster is a folder's first ("." and "..")
// holding 14 files of 4 GB that all start at cluster 2, each folder the parent of the next;
// the table chains every cluster to the next and the last back to the root, a loop through the
// whole card. In its last sectors a TinyJpeg, the one photo.
Bytes FoldersEverywhereCard(std::size_t sectors);

}  // namespace kelvara::testing
