#include "tests/support/fragmented_card.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/fat_image.h"

namespace kelvara::testing {
namespace {

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) throw std::runtime_error(command + " failed: " + out);
    return out;
}

std::string Name(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "::/DCIM/100KELVA/IMG_%04d.JPG", number);
    return name;
}

}  // namespace

FragmentedCard MakeFragmentedCard(const std::string& image, int count, int seed, std::int64_t sectors,
                                  int sectorsPerCluster, int scale) {
    MakeFatImage(image, 32, sectors, sectorsPerCluster);
    const std::string scratch = image + ".photo";
    struct Taken {
        Bytes bytes;
        int number;
        bool kept;
    };
    std::vector<Taken> taken;
    const auto take = [&](const Bytes& bytes) {
        const int number = static_cast<int>(taken.size()) + 1;
        WriteFileBytes(scratch, bytes);
        CopyIntoImage(image, scratch, Name(number));
        taken.push_back({bytes, number, true});
    };
    for (int i = 0; i < count; ++i)
        take(MakeJpeg(scale * (160 + (i * 37 + seed) % 200), scale * (120 + (i * 23 + seed) % 150), seed + i, 90));
    for (int i = 1; i < count; i += 2) {
        DeleteFromImage(image, Name(i + 1));
        taken[static_cast<std::size_t>(i)].kept = false;
    }
    // The camera looks for free clusters from the card's start: the hint of where the last one
    // was given out goes (the FSInfo sector's next-free field).
    const auto bpb = ReadBytesAt(image, 48, 2);
    const std::int64_t fsInfo = bpb[0] | bpb[1] << 8;
    WriteBytesAt(image, fsInfo * 512 + 492, Bytes{0xFF, 0xFF, 0xFF, 0xFF});
    for (int i = 0; i < count / 2; ++i)
        take(MakeJpeg(scale * (420 + (i * 53 + seed) % 300), scale * (300 + (i * 31 + seed) % 200), seed + 100 + i, 95));

    FragmentedCard card;
    card.clusterBytes = static_cast<std::uint64_t>(sectorsPerCluster) * 512;
    for (const Taken& photo : taken) {
        if (!photo.kept) continue;
        const std::string chain = Run("mshowfat -i '" + image + "' '" + Name(photo.number) + "'");
        int pieces = 0;
        for (const char c : chain) pieces += c == '<';
        card.photos.push_back(photo.bytes);
        card.pieces.push_back(pieces);
    }
    // A quick format: new tables and an empty root, the data area as it was.
    Run("mkfs.vfat -F 32 -s " + std::to_string(sectorsPerCluster) + " '" + image + "'");
    std::remove(scratch.c_str());
    return card;
}

}  // namespace kelvara::testing
