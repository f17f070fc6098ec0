#include "bench/bench_card.h"

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "tests/support/fat_image.h"
#include "tests/support/test_photos.h"

namespace kelvara::bench {

void FillCardImage(const std::string& path, std::int64_t mebibytes) {
    testing::MakeFatImage(path, 32, mebibytes * 2048, 8);
    const auto geometry = testing::ReadGeometryWithMinfo(path);
    std::mt19937_64 random(1);
    std::vector<std::uint8_t> chunk(1 << 20);
    const std::int64_t end = mebibytes << 20;
    for (std::int64_t at = geometry.dataStartSector * 512; at < end; at += static_cast<std::int64_t>(chunk.size())) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(chunk.data() + i, &value, 8);
        }
        for (std::size_t s = 0; s < chunk.size(); s += 512) {
            if (chunk[s] == 0xFF && chunk[s + 1] == 0xD8) chunk[s] = 0;  // only the planted photos count
            if ((at + static_cast<std::int64_t>(s)) % (512 * 5003) == 0) {
                chunk[s] = 0xFF;
                chunk[s + 1] = 0xD8;
            }
        }
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end - at));
        testing::WriteBytesAt(path, at, std::span(chunk.data(), length));
    }
}

std::uint64_t Fingerprint(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash ^ bytes.size();
}

namespace {

// A photo made unique by a comment of its own: a COM segment after a JPEG's start, a comment
// extension after a GIF's colour table.
testing::Bytes Unique(const testing::Bytes& photo, int number) {
    const std::string text = "Kelvara bench photo " + std::to_string(number);
    const bool jpeg = photo[0] == 0xFF;
    const std::size_t before = jpeg ? 2 : 6 + 7 + 4 * 3;  // the start of image; a GIF's header and colours
    testing::Bytes comment = jpeg ? testing::Bytes{0xFF, 0xFE, 0, static_cast<std::uint8_t>(text.size() + 2)}
                                  : testing::Bytes{0x21, 0xFE, static_cast<std::uint8_t>(text.size())};
    comment.insert(comment.end(), text.begin(), text.end());
    if (!jpeg) comment.push_back(0);
    testing::Bytes out(photo.begin(), photo.begin() + static_cast<long>(before));
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), photo.begin() + static_cast<long>(before), photo.end());
    return out;
}

}  // namespace

std::vector<std::uint64_t> MakeTwoSessionCard(const std::string& path, std::int64_t gibibytes, int older, int newer) {
    constexpr std::int64_t kCluster = 64 * 512;  // 32 KiB, as cards of this size are formatted
    testing::MakeFatImage(path, 32, gibibytes << 21, 64);
    const std::int64_t dataStart = testing::ReadGeometryWithMinfo(path).dataStartSector * 512;
    // A pool of camera-sized pictures; every photo is one of them with a comment of its own.
    std::vector<testing::Bytes> pool;
    for (int i = 0; i < 24; ++i) {
        const int width = 900 + (i * 97) % 700, height = 600 + (i * 61) % 500;
        pool.push_back(i % 6 == 5   ? testing::MakeJpegWithPreview(width / 2, height / 2, i)
                       : i % 8 == 7 ? testing::MakeGif89a(width / 6, height / 6, i)
                                    : testing::MakeJpegWithThumbnail(width, height, i));
    }
    std::vector<std::uint64_t> written;
    std::int64_t at = dataStart;
    for (int n = 0; n < older + newer; ++n) {
        const testing::Bytes photo = Unique(pool[static_cast<std::size_t>(n * 7) % pool.size()], n);
        testing::WriteBytesAt(path, at, photo);
        written.push_back(Fingerprint(photo));
        at += (static_cast<std::int64_t>(photo.size()) + kCluster - 1) / kCluster * kCluster;
    }
    // Old data of other files to the card's end: random bytes, no photo signature at a sector's start.
    std::mt19937_64 random(2);
    std::vector<std::uint8_t> chunk(1 << 20);
    const std::int64_t end = gibibytes << 30;
    for (; at < end; at += static_cast<std::int64_t>(chunk.size())) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(chunk.data() + i, &value, 8);
        }
        for (std::size_t s = 0; s < chunk.size(); s += 512)
            if (chunk[s] == 0xFF || chunk[s] == 'G') chunk[s] = 0;
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end - at));
        testing::WriteBytesAt(path, at, std::span(chunk.data(), length));
    }
    return written;
}

std::string CardFromArguments(int argc, char** argv, const std::string& folder) {
    std::string image;
    std::int64_t mebibytes = 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--size-mib" && i + 1 < argc)
            mebibytes = std::stoll(argv[++i]);
        else
            image = argument;
    }
    if (image.empty()) {
        image = folder + "/bench.img";
        std::printf("making a %lld MiB FAT32 image...\n", static_cast<long long>(mebibytes));
        FillCardImage(image, mebibytes);
    }
    WarmUp(image);
    return image;
}

double SecondsOf(const std::string& command) {
    QElapsedTimer timer;
    timer.start();
    QProcess::execute("sh", {"-c", QString::fromStdString(command)});
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double BestOfThree(const std::function<double()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) best = std::min(best, run());
    return best;
}

void WarmUp(const std::string& path) { SecondsOf("cat '" + path + "' > /dev/null"); }

}  // namespace kelvara::bench
