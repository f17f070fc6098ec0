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

RawFile MakeRawFile(const RawRecipe& recipe) {
    using Field = TiffWriter::Field;
    TiffWriter tiff(recipe.magic, recipe.cr2);
    const std::uint32_t first = tiff.Reserve(recipe.dng ? 5 : 4);
    const Field make = tiff.Text(0x10F, recipe.make), model = tiff.Text(0x110, recipe.model);
    const std::uint32_t exif = tiff.Directory({tiff.Text(0x9003, recipe.date)});
    const std::uint32_t thumbnailAt = tiff.Blob(recipe.thumbnail);
    const std::uint32_t ifd1 = tiff.Directory(
        {TiffWriter::Long(0x201, thumbnailAt), TiffWriter::Long(0x202, static_cast<std::uint32_t>(recipe.thumbnail.size()))});
    const std::uint32_t previewAt = tiff.Blob(recipe.preview);
    // Lossless JPEG as RAW data: a browser shows none of it.
    Bytes raw = recipe.noise ? Noise(recipe.rawBytes, recipe.noise) : Bytes(recipe.rawBytes, 0x5A);
    std::copy_n(Bytes{0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B}.begin(), 6, raw.begin());
    const std::uint32_t rawAt = tiff.Blob(raw);
    const std::uint32_t previewIfd =
        tiff.Directory({TiffWriter::Long(0xFE, 1), TiffWriter::Short(0x103, 7), TiffWriter::Long(0x111, previewAt),
                        TiffWriter::Long(0x117, static_cast<std::uint32_t>(recipe.preview.size()))});
    const auto half = static_cast<std::uint32_t>(raw.size() / 2);
    const std::uint32_t rawIfd = tiff.Directory({TiffWriter::Long(0xFE, 0), TiffWriter::Short(0x103, 7),
                                                 tiff.LongList(0x144, {rawAt, rawAt + half}),
                                                 tiff.LongList(0x145, {half, static_cast<std::uint32_t>(raw.size()) - half})});
    std::vector<Field> fields = {make, model, tiff.LongList(0x14A, {previewIfd, rawIfd}), TiffWriter::Long(0x8769, exif)};
    if (recipe.dng) fields.push_back({0xC612, 1, 4, 0x00000401});
    tiff.DirectoryAt(first, fields, ifd1);
    tiff.SetFirst(first);
    return {tiff.bytes, previewAt, recipe.preview.size(), rawAt};
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

Bytes MakeJpegWithMakerNotePreview(const Bytes& jpeg, const Bytes& preview, const std::string& date,
                                   const std::string& make) {
    const bool minolta = make == "KONICA MINOLTA";
    const auto note = [&](std::uint32_t at) {
        TiffWriter ifd;
        ifd.bytes.clear();
        const auto length = static_cast<std::uint32_t>(preview.size());
        if (minolta) {
            ifd.Directory({TiffWriter::Long(0x88, at), TiffWriter::Long(0x89, length)});
            return ifd.bytes;
        }
        ifd.Directory({TiffWriter::Long(3, length), TiffWriter::Long(4, at)});
        return Then(Bytes{'A', 'O', 'C', 0, 'I', 'I'}, ifd.bytes);
    };
    // The EXIF block's size does not depend on the offset it holds: laid out once, then filled in.
    // Offsets count from the TIFF header, 12 bytes into the file.
    const Bytes sized = WithAppSegments(jpeg, {ExifPayload(make, note(0), date)});
    Bytes file = Then(WithAppSegments(jpeg, {ExifPayload(make, note(static_cast<std::uint32_t>(sized.size() - 12)), date)}),
                      preview);
    if (minolta) file[sized.size()] = 0x02;  // as that camera writes its preview's first byte
    return file;
}

namespace {

// A chance FF D8 at a sector's start inside a clip's media data (not FF D8 FF), with what looks
// like a frame and a scan header after it: walked on its own, a "JPEG" that runs on past the clip.
void PlantChanceJpegStart(Bytes& clip) {
    const Bytes mdat = {'m', 'd', 'a', 't'};
    const auto found = std::search(clip.begin(), clip.end(), mdat.begin(), mdat.end());
    if (found == clip.end()) return;
    const auto box = static_cast<std::size_t>(found - clip.begin()) - 4;
    const std::size_t size = std::size_t{clip[box]} << 24 | std::size_t{clip[box + 1]} << 16 |
                             std::size_t{clip[box + 2]} << 8 | clip[box + 3];
    const std::size_t at = (box + 1024 + 511) / 512 * 512;
    const Bytes chance = {0xFF, 0xD8, 0x00, 0x11, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11,
                          0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x42};
    if (size < 8 || at + chance.size() > box + size || box + size > clip.size()) return;
    std::copy(chance.begin(), chance.end(), clip.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::vector<FormatFile> EveryFormatFiles(const std::string& scratch) {
    const Bytes preview = MakeJpeg(160, 120, 2), thumbnail = MakeJpeg(32, 24, 3);
    const auto raw = [&](std::array<std::uint8_t, 4> magic, bool cr2, const char* make, const char* model, bool dng,
                         std::uint32_t seed, const char* date) {
        return MakeRawFile({magic, cr2, make, model, dng, preview, thumbnail, 60000, seed, date});
    };
    RawFile dng = raw({'I', 'I', 42, 0}, false, "Leica Camera AG", "M11", true, 11, "2019:07:14 08:09:10");
    // Sector aligned as the file lies on the card, from its first byte.
    const std::size_t chance = (dng.rawAt + 1024 + 511) / 512 * 512;
    std::copy_n(Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43}.begin(), 6, dng.bytes.begin() + static_cast<std::ptrdiff_t>(chance));

    std::vector<FormatFile> files = {
        {".JPG", WithAppSegments(MakeJpeg(320, 240, 1), {ExifPayload("Canon", {}, "2021:03:04 05:06:07")}), "2021:03:04 05:06:07"},
        {".DNG", dng.bytes, "2019:07:14 08:09:10"},
        {".CR2", raw({'I', 'I', 42, 0}, true, "Canon", "Canon EOS 5D Mark IV", false, 12, "2018:01:02 03:04:05").bytes,
         "2018:01:02 03:04:05"},
        {".NEF", raw({'I', 'I', 42, 0}, false, "NIKON CORPORATION", "NIKON Z 6", false, 13, "2017:05:06 07:08:09").bytes,
         "2017:05:06 07:08:09"},
        {".ARW", raw({'I', 'I', 42, 0}, false, "SONY", "ILCE-7M3", false, 14, "2016:09:10 11:12:13").bytes,
         "2016:09:10 11:12:13"},
        {".ORF", raw({'I', 'I', 'R', 'O'}, false, "OLYMPUS", "E-M1", false, 15, "2015:11:12 13:14:15").bytes, "2015:11:12 13:14:15"},
        {".RW2", raw({'I', 'I', 'U', 0}, false, "Panasonic", "DC-G9", false, 16, "2014:12:13 14:15:16").bytes, "2014:12:13 14:15:16"},
        {".RAF", MakeRafFile(WithAppSegments(preview, {ExifPayload("FUJIFILM", {}, "2013:02:03 04:05:06")}), 50000, 17),
         "2013:02:03 04:05:06"},
        {".JPG", MakeJpegWithMakerNotePreview(MakeJpeg(200, 150, 4), MakeJpeg(160, 120, 5), "2022:10:11 12:13:14"),
         "2022:10:11 12:13:14"},
        {".JPG", MakeJpegWithMakerNotePreview(MakeJpeg(180, 135, 9), MakeJpeg(120, 90, 10), "2004:05:06 07:08:09", "KONICA MINOLTA"),
         "2004:05:06 07:08:09"},
        {".GIF", MakeGif89a(40, 30, 6), ""},
        {".PNG", MakePng(270, 600, 7), ""},
    };
    const std::string clip = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 -pix_fmt yuv420p ";
    const std::string date = "-metadata creation_time=2023-04-05T06:07:08Z ";
    const std::pair<FormatFile, std::string> made[] = {
        {{".HEIC", {}, "2021:03:04 05:06:07"}, "heif-enc -q 40 e.jpg -o a.heic"},
        {{".AVIF", {}, "2021:03:04 05:06:07"}, "heif-enc -A e.jpg -o a.avif"},
        {{".WEBP", {}, ""}, "ffmpeg -v error -y -i e.jpg a.webp"},
        {{".TIF", {}, ""}, "ffmpeg -v error -y -i e.jpg -vf scale=64:48 a.tif"},
        {{".MP4", {}, "2023:04:05 06:07:08Z"}, clip + date + "a.mp4"},
        {{".MOV", {}, "2023:04:05 06:07:08Z"}, clip + date + "a.mov"},
        {{".AVI", {}, ""}, clip + "-c:v mjpeg a.avi"},
    };
    WriteFileBytes(scratch + "/e.jpg", files[0].bytes);
    for (const auto& [file, command] : made) {
        if (!HasTool(command.substr(0, command.find(' ')))) continue;
        FormatFile tool = file;
        tool.bytes = ToolFile(scratch, command.substr(command.rfind(' ') + 1), command);
        if (tool.bytes.empty()) continue;
        if (tool.extension == ".MOV") PlantChanceJpegStart(tool.bytes);
        files.push_back(std::move(tool));
    }
    // A phone's motion photo: its clip after the image, as its XMP says.
    const auto mp4 = std::find_if(files.begin(), files.end(), [](const FormatFile& file) { return file.extension == ".MP4"; });
    if (mp4 != files.end()) {
        Bytes motion = MakeMotionPhoto(MakeJpeg(240, 180, 8), mp4->bytes, "2022:08:09 10:11:12");
        files.push_back({".JPG", std::move(motion), "2022:08:09 10:11:12"});
    }
    return files;
}

bool HasTool(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0; }

Bytes ToolFile(const std::string& folder, const std::string& name, const std::string& command) {
    const std::string line = "cd '" + folder + "' && " + command + " >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) return {};
    return ReadFileBytes(folder + "/" + name);
}

}  // namespace kelvara::testing
