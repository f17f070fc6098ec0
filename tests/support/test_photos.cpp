#include "tests/support/test_photos.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
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

Bytes MakeJpegWithThumbnail(int width, int height, int seed) {
    const Bytes photo = MakeJpeg(width, height, seed);
    const Bytes thumbnail = MakeJpeg(std::max(8, width / 8), std::max(8, height / 8), seed + 1000, 60);
    // APP1 right after the start of image: "Exif\0\0" and then the thumbnail itself.
    Bytes segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), thumbnail.begin(), thumbnail.end());
    const std::size_t length = segment.size() + 2;
    if (length > 0xFFFF) throw std::runtime_error("thumbnail too large for one segment");
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), photo.begin() + 2, photo.end());
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

Bytes MakePhotoRun(std::size_t length, int seed, bool gif) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(1 + (i * 7 + seed) % 200);
    if (gif) {
        const char head[] = "GIF89a";
        std::copy(head, head + 6, bytes.begin());
        bytes[length - 2] = 0x00;
        bytes[length - 1] = 0x3B;
    } else {
        bytes[0] = 0xFF;
        bytes[1] = 0xD8;
        bytes[length - 2] = 0xFF;
        bytes[length - 1] = 0xD9;
    }
    return bytes;
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
