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
#include <string_view>
#include <vector>

#include "tests/support/fat_image.h"
#include "tests/support/format_files.h"
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

// A card image whose files are laid one after another from the start of its data area, each
// from a cluster's start, as a camera leaves a session once its files are deleted; then old data
// of other files to its end.
class CardLayer {
public:
    CardLayer(const std::string& path, std::int64_t gibibytes) : path_(path), end_(gibibytes << 30) {
        testing::MakeFatImage(path, 32, gibibytes << 21, 64);
        at_ = testing::ReadGeometryWithMinfo(path).dataStartSector * 512;
    }
    // Lays the file when it ends before `limit` bytes into the card; false when it does not.
    bool Lay(const testing::Bytes& file, std::int64_t limit) {
        if (at_ + static_cast<std::int64_t>(file.size()) > limit) return false;
        testing::WriteBytesAt(path_, at_, file);
        at_ += (static_cast<std::int64_t>(file.size()) + kCluster - 1) / kCluster * kCluster;
        return true;
    }
    // Random bytes, with no photo signature at a sector's start.
    void OldDataToTheEnd() {
        std::mt19937_64 random(2);
        std::vector<std::uint8_t> chunk(1 << 20);
        for (; at_ < end_; at_ += static_cast<std::int64_t>(chunk.size())) {
            for (std::size_t i = 0; i < chunk.size(); i += 8) {
                const std::uint64_t value = random();
                std::memcpy(chunk.data() + i, &value, 8);
            }
            for (std::size_t s = 0; s < chunk.size(); s += 512)
                if (chunk[s] == 0xFF || chunk[s] == 'G') chunk[s] = 0;
            const auto length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end_ - at_));
            testing::WriteBytesAt(path_, at_, std::span(chunk.data(), length));
        }
    }
    std::int64_t end() const { return end_; }

private:
    static constexpr std::int64_t kCluster = 64 * 512;  // 32 KiB, as cards of this size are formatted
    std::string path_;
    std::int64_t end_, at_;
};

// A file a tool makes in `scratch`; empty, after saying so once, when the tool is missing.
testing::Bytes Made(const std::string& scratch, const std::string& name, const std::string& command) {
    const std::string tool = command.substr(0, command.find(' '));
    if (!testing::HasTool(tool)) {
        std::printf("%s is not installed: no %s on the card\n", tool.c_str(), name.c_str());
        return {};
    }
    return testing::ToolFile(scratch, name, command);
}

std::string ExifDate(int n) {
    char date[24];
    std::snprintf(date, sizeof date, "2024:%02d:%02d %02d:%02d:%02d", 1 + n % 12, 1 + n % 28, n % 24, (n * 7) % 60, (n * 13) % 60);
    return date;
}

}  // namespace

std::vector<std::uint64_t> MakeTwoSessionCard(const std::string& path, std::int64_t gibibytes, int older, int newer) {
    CardLayer card(path, gibibytes);
    // A pool of camera-sized pictures; every photo is one of them with a comment of its own.
    std::vector<testing::Bytes> pool;
    for (int i = 0; i < 24; ++i) 
        pool.push_back(i % 8 == 7   ? testing::MakeGif89a(400 + i * 7, 300, i)
                       : i % 6 == 5 ? testing::MakeJpegWithPreview(1600, 1200, i)
                                    : CameraJpeg(i));
    std::vector<std::uint64_t> written;
    for (int n = 0; n < older + newer; ++n) {
        const testing::Bytes photo = Unique(pool[static_cast<std::size_t>(n * 7) % pool.size()], n);
        if (!card.Lay(photo, card.end() / 10 * 9)) break;
        written.push_back(Fingerprint(photo));
    }
    card.OldDataToTheEnd();
    return written;
}

std::vector<CardFile> MakePhoneCard(const std::string& path, std::int64_t gibibytes, const std::string& scratch) {
    // Phones write photos with the date they were taken, the HEIC ones from the same picture.
    std::vector<testing::Bytes> heic, jpeg;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "photo" + std::to_string(i);
        testing::WriteFileBytes(scratch + "/" + name + ".jpg",
                                testing::WithAppSegments(CameraJpeg(100 + i), {testing::ExifPayload("Google", {}, ExifDate(i))}));
        heic.push_back(Made(scratch, name + ".heic", "heif-enc -q 60 " + name + ".jpg -o " + name + ".heic"));
        if (heic.back().empty()) heic.clear();
        if (heic.empty()) break;
    }
    const auto clip = [&](const std::string& name, const std::string& size, int seconds, const std::string& rate, int n) {
        return Made(scratch, name,
                    "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=30,noise=alls=12:allf=t -f lavfi -i sine=frequency=" +
                        std::to_string(300 + 40 * n) + " -t " + std::to_string(seconds) + " -c:v libx264 -preset ultrafast -b:v " + rate +
                        " -pix_fmt yuv420p -c:a aac -metadata creation_time=2024-07-0" + std::to_string(1 + n) + "T12:00:00Z " + name);
    };
    const testing::Bytes motion = clip("motion.mp4", "1280x720", 2, "6M", 0);
    const testing::Bytes clips[] = {clip("a.mov", "1920x1080", 12, "16M", 1), clip("b.mov", "1920x1080", 9, "16M", 2),
                                    clip("c.mp4", "1920x1080", 12, "16M", 3), clip("d.mp4", "1920x1080", 6, "16M", 4)};
    for (int i = 0; i < 9; ++i) {
        const testing::Bytes picture = CameraJpeg(200 + i);
        jpeg.push_back(i % 3 == 2 && !motion.empty()
                           ? testing::MakeMotionPhoto(picture, motion, ExifDate(10 + i))
                           : testing::WithAppSegments(picture, {testing::ExifPayload("Google", {}, ExifDate(10 + i))}));
    }
    std::vector<testing::Bytes> screenshots;
    for (int i = 0; i < 6; ++i) screenshots.push_back(testing::MakePng(1080, 2400, 300 + i));

    // One session of a phone: its photos, screenshots and clips as they were taken.
    constexpr std::string_view kSession = "HJHHPHHVHJHHPHJHHFHJHPHHJHHVHJHPHHJHFHPJHPHJ";
    CardLayer card(path, gibibytes);
    std::vector<CardFile> written;
    bool full = false;
    for (int h = 0, j = 0, p = 0, v = 0; !full;) {
        for (const char what : kSession) {
            testing::Bytes file;
            std::string extension;
            switch (what) {
                case 'H':
                    if (heic.empty()) continue;
                    file = heic[static_cast<std::size_t>(h++) % heic.size()], extension = ".HEIC";
                    break;
                case 'J': file = jpeg[static_cast<std::size_t>(j++) % jpeg.size()], extension = ".JPG"; break;
                case 'P': file = screenshots[static_cast<std::size_t>(p++) % screenshots.size()], extension = ".PNG"; break;
                default:
                    file = clips[static_cast<std::size_t>(v) % 4], extension = v % 4 < 2 ? ".MOV" : ".MP4";
                    ++v;
            }
            if (file.empty()) continue;
            if ((full = !card.Lay(file, card.end() / 2))) break;
            written.push_back({Fingerprint(file), extension});
        }
    }
    card.OldDataToTheEnd();
    return written;
}

std::vector<CardFile> MakeRawCard(const std::string& path, std::int64_t gibibytes) {
    std::vector<testing::Bytes> previews;
    for (int i = 0; i < 6; ++i) previews.push_back(testing::MakeJpeg(1600, 1067, 400 + i, 90));
    std::vector<testing::Bytes> pictures;
    for (int i = 0; i < 8; ++i) pictures.push_back(CameraJpeg(i));
    const testing::Bytes thumbnail = testing::MakeJpeg(160, 120, 399);
    struct Camera {
        const char *extension, *make, *model;
        bool dng, cr2;
    };
    const Camera cameras[] = {{".DNG", "Leica Camera AG", "M11", true, false},   {".CR2", "Canon", "Canon EOS 5D Mark IV", false, true},
                              {".NEF", "NIKON CORPORATION", "NIKON Z 6", false, false}, {".ARW", "SONY", "ILCE-7M3", false, false},
                              {".DNG", "Google", "Pixel 8", true, false},          {".RAF", "FUJIFILM", "X-T4", false, false}};
    CardLayer card(path, gibibytes);
    std::vector<CardFile> written;
    for (int n = 0;; ++n) {
        const Camera& camera = cameras[n % std::size(cameras)];
        const testing::Bytes& preview = previews[static_cast<std::size_t>(n) % previews.size()];
        const std::size_t rawBytes = static_cast<std::size_t>(16 + (n * 5) % 9) << 20;
        const testing::Bytes raw =
            std::string_view(camera.extension) == ".RAF"
                ? testing::MakeRafFile(preview, rawBytes, static_cast<std::uint32_t>(n + 1))
                : testing::MakeRawFile({{'I', 'I', 42, 0}, camera.cr2, camera.make, camera.model, camera.dng, preview, thumbnail,
                                        rawBytes, static_cast<std::uint32_t>(n + 1), ExifDate(n)})
                      .bytes;
        const testing::Bytes photo = Unique(pictures[static_cast<std::size_t>(n) % pictures.size()], n);
        if (!card.Lay(raw, card.end() / 2)) break;
        written.push_back({Fingerprint(raw), camera.extension});
        if (!card.Lay(photo, card.end() / 2)) break;
        written.push_back({Fingerprint(photo), ".JPG"});
    }
    card.OldDataToTheEnd();
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
