#include "tests/support/test_photos.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <stdexcept>

namespace kelvara::testing {
namespace {

// Text needs the fonts of a GUI application; a test program without one gets one here.
void EnsureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kelvara-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

QImage Draw(int width, int height, int seed) {
    EnsureGuiApplication();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 47) % 360, 160, 220));
    QPainter painter(&image);
    for (int i = 0; i < 12; ++i) {
        const int x = (seed * 31 + i * 53) % std::max(1, width);
        const int y = (seed * 17 + i * 29) % std::max(1, height);
        painter.setBrush(QColor::fromHsv((seed * 13 + i * 40) % 360, 200, 150 + (i * 7) % 100));
        painter.drawEllipse(QPoint(x, y), 5 + (i * seed) % 40, 5 + (i + seed) % 30);
    }
    painter.drawText(QRect(0, 0, width, height), Qt::AlignCenter, QString("Photo %1").arg(seed));
    return image;
}

Bytes Encode(const QImage& image, int quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality)) throw std::runtime_error("Qt could not write a JPEG");
    return Bytes(data.begin(), data.end());
}

// Packs variable-width LZW codes, least significant bit first.
struct BitWriter {
    Bytes bytes;
    std::uint32_t pending = 0;
    int bits = 0;
    void Put(int code, int width) {
        pending |= static_cast<std::uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.push_back(static_cast<std::uint8_t>(pending));
            pending >>= 8;
            bits -= 8;
        }
    }
    void Flush() {
        if (bits > 0) bytes.push_back(static_cast<std::uint8_t>(pending));
        pending = 0;
        bits = 0;
    }
};

}  // namespace

Bytes MakeJpeg(int width, int height, int seed, int quality) { return Encode(Draw(width, height, seed), quality); }

Bytes MakePng(int width, int height, int seed) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!Draw(width, height, seed).save(&buffer, "PNG")) throw std::runtime_error("Qt could not write a PNG");
    return Bytes(data.begin(), data.end());
}

Bytes MakeJpegWithThumbnail(int width, int height, int seed, std::size_t thumbnailAt) {
    const Bytes photo = MakeJpeg(width, height, seed);
    const Bytes thumbnail = MakeJpeg(std::max(8, width / 8), std::max(8, height / 8), seed + 1000, 60);
    // APP1 right after the start of image: "Exif\0\0", room where a camera keeps its tags, and
    // then the thumbnail itself.
    Bytes segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.resize(std::max<std::size_t>(thumbnailAt, 12) - 6, 0);
    segment.insert(segment.end(), thumbnail.begin(), thumbnail.end());
    const std::size_t length = segment.size() + 2;
    if (length > 0xFFFF) throw std::runtime_error("thumbnail too large for one segment");
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), photo.begin() + 2, photo.end());
    return out;
}

Bytes MakeProgressiveJpeg(int width, int height, int seed) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(80);
    if (!writer.write(Draw(width, height, seed))) throw std::runtime_error("Qt could not write a progressive JPEG");
    return Bytes(data.begin(), data.end());
}

Bytes MakeJpegWithRestarts(int seed, int intervals) {
    Bytes out = {0xFF, 0xD8};
    auto segment = [&](std::uint8_t marker, const Bytes& payload) {
        const std::size_t length = payload.size() + 2;
        out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        out.insert(out.end(), payload.begin(), payload.end());
    };
    segment(0xFE, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'n', 'd', ':', 0xFF, 0xD9, 0xFF, 0xD9});
    segment(0xDB, Bytes(65, static_cast<std::uint8_t>(1 + seed % 50)));              // one quantisation table
    segment(0xC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0});                                  // a 16 x 16 grey frame
    segment(0xC4, Bytes(29, 1));                                                      // one Huffman table
    segment(0xDD, {0, 4});                                                            // a restart every 4 blocks
    segment(0xDA, {1, 1, 0, 0, 63, 0});
    for (int i = 0; i < intervals; ++i) {
        for (int b = 0; b < 40; ++b) {
            const auto value = static_cast<std::uint8_t>((seed * 31 + i * 7 + b * 13) % 256);
            out.push_back(value);
            if (value == 0xFF) out.push_back(0x00);  // stuffed
        }
        if (i + 1 < intervals) out.insert(out.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + i % 8)});
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes MakeJpegWithPreview(int width, int height, int seed) {
    const Bytes photo = MakeJpeg(width, height, seed);
    const Bytes preview = MakeJpeg(width * 2, height * 2, seed + 500);
    // The index: "MPF\0", a little-endian TIFF header, one IFD of three entries, then two
    // 16-byte image entries. Offsets count from the TIFF header, 10 bytes into the file.
    constexpr std::uint32_t kIndexLength = 2 + 4 + 8 + 2 + 3 * 12 + 4 + 2 * 16;
    constexpr std::uint32_t kHeaderAt = 2 + 2 + 2 + 4;
    const auto photoSize = static_cast<std::uint32_t>(photo.size() + 2 + kIndexLength);
    Bytes index = {'M', 'P', 'F', 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0, 3, 0};
    auto put16 = [&](std::uint32_t v) { index.insert(index.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    put16(0xB000), put16(7), put32(4), index.insert(index.end(), {'0', '1', '0', '0'});  // version
    put16(0xB001), put16(4), put32(1), put32(2);                                        // two images
    put16(0xB002), put16(7), put32(32), put32(8 + 2 + 3 * 12 + 4);                      // their entries
    put32(0);                                                                           // no further IFD
    put32(0x20030000), put32(photoSize), put32(0), put32(0);                            // the photo itself
    put32(0x00010001), put32(static_cast<std::uint32_t>(preview.size())), put32(photoSize - kHeaderAt), put32(0);
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE2, static_cast<std::uint8_t>(kIndexLength >> 8), static_cast<std::uint8_t>(kIndexLength)};
    out.insert(out.end(), index.begin(), index.end());
    out.insert(out.end(), photo.begin() + 2, photo.end());
    out.insert(out.end(), preview.begin(), preview.end());
    return out;
}

Bytes MakeGif89a(int width, int height, int seed) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&](int v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    put16(width);
    put16(height);
    out.insert(out.end(), {0x81, 0x00, 0x00});  // global colour table of 4 entries
    const std::uint8_t colours[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 40, 40}, {40, 60, 200}};
    for (const auto& c : colours) out.insert(out.end(), c, c + 3);
    out.push_back(0x2C);  // image descriptor
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    out.push_back(0x00);
    const int minimumCodeSize = 2, clear = 4, end = 5, width3 = 3;
    out.push_back(minimumCodeSize);
    // A clear code before every two pixels keeps the code width at three bits.
    BitWriter writer;
    for (int i = 0; i < width * height; ++i) {
        if (i % 2 == 0) writer.Put(clear, width3);
        const int x = i % width, y = i / width;
        writer.Put(((x / 4 + y / 4 + seed) ^ (seed >> 2)) & 3, width3);
    }
    writer.Put(end, width3);
    writer.Flush();
    for (std::size_t at = 0; at < writer.bytes.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, writer.bytes.size() - at);
        out.push_back(static_cast<std::uint8_t>(size));
        out.insert(out.end(), writer.bytes.begin() + static_cast<long>(at), writer.bytes.begin() + static_cast<long>(at + size));
    }
    out.push_back(0x00);
    out.push_back(0x3B);
    return out;
}

Bytes MakeAnimatedGif89a(int width, int height, int seed, int frames) {
    constexpr std::size_t kHeader = 6 + 7 + 4 * 3;  // signature, screen, global colour table
    const Bytes first = MakeGif89a(width, height, seed);
    Bytes out(first.begin(), first.begin() + kHeader);
    const char loop[] = "NETSCAPE2.0";
    out.insert(out.end(), {0x21, 0xFF, 11});
    out.insert(out.end(), loop, loop + 11);
    out.insert(out.end(), {3, 1, 0, 0, 0});
    std::string comment = "Kelvara test frames; this is no trailer: ";
    comment += std::string{'\0', ';'};
    out.insert(out.end(), {0x21, 0xFE, static_cast<std::uint8_t>(comment.size())});
    out.insert(out.end(), comment.begin(), comment.end());
    out.push_back(0);
    for (int f = 0; f < frames; ++f) {
        const Bytes frame = MakeGif89a(width, height, seed + f);
        out.insert(out.end(), {0x21, 0xF9, 4, 0x04, 10, 0, 0, 0});  // 0.1 s a frame
        out.insert(out.end(), frame.begin() + kHeader, frame.end() - 1);
    }
    out.push_back(0x3B);
    return out;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path);
    const QByteArray data = file.readAll();
    return Bytes(data.begin(), data.end());
}

}  // namespace kelvara::testing
