#include "bench/bench_card.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
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

// A photo as a camera of today writes it, 2 to 8 MB: a picture with the grain of a sensor (which
// is what makes its entropy-coded data long) and an Exif segment holding a thumbnail.
testing::Bytes CameraJpeg(int seed) {
    const int width = 2400 + (seed * 331) % 1800, height = width * 2 / 3;
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(static_cast<unsigned>(seed));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const unsigned grain = random();
            line[x] = qRgb((x * 255 / width + (grain & 31)) & 255, (y * 255 / height + ((grain >> 5) & 31)) & 255,
                           (seed * 40 + ((grain >> 10) & 31)) & 255);
        }
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 88 + seed % 8);
    const testing::Bytes picture(data.begin(), data.end());
    const testing::Bytes thumbnail = testing::MakeJpeg(160, 120, seed + 1000, 60);
    testing::Bytes out = {0xFF, 0xD8, 0xFF, 0xE1};
    const std::size_t length = 2 + 6 + thumbnail.size();
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), {'E', 'x', 'i', 'f', 0, 0});
    out.insert(out.end(), thumbnail.begin(), thumbnail.end());
    out.insert(out.end(), picture.begin() + 2, picture.end());
    return out;
}

}  // namespace

std::vector<std::uint64_t> MakeTwoSessionCard(const std::string& path, std::int64_t gibibytes, int older, int newer) {
    constexpr std::int64_t kCluster = 64 * 512;  // 32 KiB, as cards of this size are formatted
    testing::MakeFatImage(path, 32, gibibytes << 21, 64);
    const std::int64_t dataStart = testing::ReadGeometryWithMinfo(path).dataStartSector * 512;
    // A pool of camera-sized pictures; every photo is one of them with a comment of its own.
    std::vector<testing::Bytes> pool;
    for (int i = 0; i < 24; ++i) 
        pool.push_back(i % 8 == 7   ? testing::MakeGif89a(400 + i * 7, 300, i)
                       : i % 6 == 5 ? testing::MakeJpegWithPreview(1600, 1200, i)
                                    : CameraJpeg(i));
    std::vector<std::uint64_t> written;
    std::int64_t at = dataStart;
    const std::int64_t end = gibibytes << 30;
    for (int n = 0; n < older + newer; ++n) {
        const testing::Bytes photo = Unique(pool[static_cast<std::size_t>(n * 7) % pool.size()], n);
        if (at + static_cast<std::int64_t>(photo.size()) > end / 10 * 9) break;
        testing::WriteBytesAt(path, at, photo);
        written.push_back(Fingerprint(photo));
        at += (static_cast<std::int64_t>(photo.size()) + kCluster - 1) / kCluster * kCluster;
    }
    // Old data of other files to the card's end: random bytes, no photo signature at a sector's start.
    std::mt19937_64 random(2);
    std::vector<std::uint8_t> chunk(1 << 20);
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
