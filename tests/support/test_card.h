#pragma once
// A camera card as the tests, the benchmarks and the demo meet it: a FAT32 image whose
// photos were copied into DCIM folders and then deleted again.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_photos.h"

namespace kelvara::testing {

struct CardPhoto {
    std::string name;    // its name on the card, e.g. "IMG_0003.JPG"
    std::string folder;  // the folder holding it, e.g. "DCIM/100KELVA"
    Bytes bytes;
    bool gif = false;
};

struct TestCard {
    std::string image;
    std::vector<CardPhoto> photos;  // in the order they lie on the card
};

// `count` photos of different sizes: JPEGs, every third one carrying an embedded thumbnail,
// and every fifth a GIF89a. Copied in order, then deleted when `deleted` is true.
TestCard MakePhotoCard(const std::string& image, int count, bool deleted = true, std::int64_t sectors = 140000);

// Lays files on a card image one after another from `firstSector`, each from the start of a
// sector, as a camera leaves a session in consecutive clusters once its files are deleted: the
// rest of each file's last sector keeps what it held. Returns the sector after the last file.
std::int64_t LayFiles(const std::string& image, std::int64_t firstSector, const std::vector<Bytes>& files);

}  // namespace kelvara::testing
