#pragma once
// A camera card in use, as the tests and the benchmarks meet it: photos taken, some deleted in
// the camera, new ones written into the holes they left (a camera fills its card from the start,
// so the new ones land in pieces), then the card quick-formatted: nothing of the file system
// tells where any photo lies.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_photos.h"

namespace kelvara::testing {

struct FragmentedCard {
    std::vector<Bytes> photos;     // every photo whole on the card, in the order they were written
    std::vector<int> pieces;       // how many pieces each lies in
    std::uint64_t clusterBytes = 0;
};

// `count` photos taken on a FAT32 card image of `sectors` sectors (enough for FAT32) with clusters of
// `sectorsPerCluster`; every other one deleted, then `count` / 2 larger ones written into the
// holes; then formatted again. Photos wholly overwritten are not in the list. `scale` multiplies
// the photos' width and height (1: 160 to 720 pixels wide).
FragmentedCard MakeFragmentedCard(const std::string& image, int count, int seed, std::int64_t sectors = 600000,
                                  int sectorsPerCluster = 8, int scale = 1);

}  // namespace kelvara::testing
