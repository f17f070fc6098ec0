#include "tests/support/format_files.h"

#include <algorithm>
#include <cstdlib>

#include "tests/support/tiff_writer.h"

namespace kelvara::testing {
namespace {

Bytes Then(Bytes bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

}  // namespace

Bytes Noise(std::size_t length, std::uint32_t seed) {
    Bytes noise(length);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    return noise;
}

RawFile MakeRawFile(const RawSpec& spec) {
    using Field = TiffWriter::Field;
    TiffWriter tiff(spec.magic, spec.cr2);
    const std::uint32_t first = tiff.Reserve(spec.dng ? 5 : 4);
    const Field make = tiff.Text(0x10F, spec.make), model = tiff.Text(0x110, spec.model);
    const std::uint32_t exif = tiff.Directory({tiff.Text(0x9003, spec.date)});
    const std::uint32_t thumbnailAt = tiff.Blob(spec.thumbnail);
    const std::uint32_t ifd1 = tiff.Directory(
        {TiffWriter::Long(0x201, thumbnailAt), TiffWriter::Long(0x202, static_cast<std::uint32_t>(spec.thumbnail.size()))});
    const std::uint32_t previewAt = tiff.Blob(spec.preview);
    // Lossless JPEG as RAW data: a browser shows none of it.
    Bytes raw = spec.noise ? Noise(spec.rawBytes, spec.noise) : Bytes(spec.rawBytes, 0x5A);
    std::copy_n(Bytes{0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B}.begin(), 6, raw.begin());
    const std::uint32_t rawAt = tiff.Blob(raw);
    const std::uint32_t previewIfd =
        tiff.Directory({TiffWriter::Long(0xFE, 1), TiffWriter::Short(0x103, 7), TiffWriter::Long(0x111, previewAt),
                        TiffWriter::Long(0x117, static_cast<std::uint32_t>(spec.preview.size()))});
    const auto half = static_cast<std::uint32_t>(raw.size() / 2);
    const std::uint32_t rawIfd = tiff.Directory({TiffWriter::Long(0xFE, 0), TiffWriter::Short(0x103, 7),
                                                 tiff.LongList(0x144, {rawAt, rawAt + half}),
                                                 tiff.LongList(0x145, {half, static_cast<std::uint32_t>(raw.size()) - half})});
    std::vector<Field> fields = {make, model, tiff.LongList(0x14A, {previewIfd, rawIfd}), TiffWriter::Long(0x8769, exif)};
    if (spec.dng) fields.push_back({0xC612, 1, 4, 0x00000401});
    tiff.DirectoryAt(first, fields, ifd1);
    tiff.SetFirst(first);
    return {tiff.bytes, previewAt, spec.preview.size(), rawAt};
}

Bytes MakeRafFile(const Bytes& jpeg, std::size_t rawBytes, std::uint32_t seed) {
    Bytes raf(108 + 4, 0);
    std::copy_n("FUJIFILMCCD-RAW 0201FF383501", 28, raf.begin());
    const auto put = [&](std::size_t at, std::size_t value) {
        for (int i = 0; i < 4; ++i) raf[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    const std::size_t jpegAt = raf.size(), cfaHeaderAt = jpegAt + jpeg.size(), cfaAt = cfaHeaderAt + 64;
    put(84, jpegAt), put(88, jpeg.size()), put(92, cfaHeaderAt), put(96, 64), put(100, cfaAt), put(104, rawBytes);
    return Then(Then(Then(raf, jpeg), Noise(64, seed)), Noise(rawBytes, seed + 1));
}

Bytes WithAppSegments(const Bytes& jpeg, const std::vector<Bytes>& payloads, std::uint8_t marker) {
    Bytes out = {0xFF, 0xD8};
    for (const Bytes& payload : payloads) {
        const std::size_t length = payload.size() + 2;
        out = Then(Then(out, {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)}), payload);
    }
    return Then(out, Bytes(jpeg.begin() + 2, jpeg.end()));
}

Bytes ExifPayload(const std::string& make, const Bytes& makerNote, const std::string& date) {
    TiffWriter tiff;
    const std::uint32_t exif = tiff.Directory({tiff.Data(0x927C, makerNote), tiff.Text(0x9003, date)});
    tiff.SetFirst(tiff.Directory({tiff.Text(0x10F, make), TiffWriter::Long(0x8769, exif)}));
    return Then(Bytes{'E', 'x', 'i', 'f', 0, 0}, tiff.bytes);
}

Bytes XmpPayload(const std::string& description) {
    const std::string packet = std::string("http://ns.adobe.com/xap/1.0/", 29) + "<x:xmpmeta><rdf:RDF><rdf:Description " +
                               description + "/></rdf:RDF></x:xmpmeta>";
    return Bytes(packet.begin(), packet.end());
}

Bytes MakeMotionPhoto(const Bytes& jpeg, const Bytes& mp4, const std::string& date) {
    const std::string length = std::to_string(mp4.size());
    return Then(WithAppSegments(jpeg, {ExifPayload("Google", {}, date),
                                       XmpPayload("GCamera:MicroVideo=\"1\" GCamera:MicroVideoVersion=\"1\" "
                                                  "GCamera:MicroVideoOffset=\"" + length + "\"")}),
                mp4);
}

bool HasTool(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0; }

Bytes ToolFile(const std::string& folder, const std::string& name, const std::string& command) {
    const std::string line = "cd '" + folder + "' && " + command + " >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) return {};
    return ReadFileBytes(folder + "/" + name);
}

}  // namespace kelvara::testing
