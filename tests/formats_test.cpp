// The format walkers on real files made by Debian's tools at test time (heif-enc, ffmpeg,
// libtiff's tools) and on RAW layouts written byte by byte: each file is recognised by its
// head, ends where it ends whatever follows it, and a cut, damaged or hostile one leads nowhere.

#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <string>

#include "formats/format_walkers.h"
#include "formats/heif_preview.h"
#include "tests/support/format_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tests/support/tiff_writer.h"

namespace kelvara::formats {
namespace {

using testing::Bytes;
using testing::Noise;
using testing::TiffWriter;

Bytes Then(Bytes bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

using Walker = std::optional<std::uint64_t> (*)(ByteSource&);
using Identifier = Extension (*)(Head);
std::optional<std::uint64_t> Walk(Walker walker, const Bytes& bytes) {
    MemoryBytes source(bytes);
    return walker(source);
}

// Pieces of at most 100 bytes, as a drive hands out: every field may straddle two.
class Pieces final : public ByteSource {
public:
    explicit Pieces(const Bytes& bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        ++calls;
        if (offset >= bytes_.size()) return {};
        return std::span(bytes_).subspan(offset, std::min<std::size_t>(100, bytes_.size() - offset));
    }
    int calls = 0;

private:
    const Bytes& bytes_;
};

// Files made by a tool: skipped with a message where the tool is missing.
class ToolFiles : public ::testing::Test {
protected:
    Bytes Make(const std::string& name, const std::string& command) { return testing::ToolFile(dir.path(), name, command); }
    static bool Has(const char* tool) { return testing::HasTool(tool); }

    testing::TempDir dir;
};

constexpr const char* kClip = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 ";

struct Case {
    const char* name;
    std::string command;
    Identifier identify;
    Walker length;
    const char* extension;
};

TEST_F(ToolFiles, EveryRealFileEndsWhereItEndsWhateverFollows) {
    if (!Has("ffmpeg") || !Has("heif-enc") || !Has("tiffcp")) GTEST_SKIP() << "needs ffmpeg, heif-enc and libtiff-tools";
    Make("a.png", "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240 -frames:v 1 a.png");
    Make("a.jpg", "ffmpeg -v error -y -i a.png a.jpg");
    const Case cases[] = {
        {"a.heic", "heif-enc -q 40 a.jpg -o a.heic", iso_media::Identify, iso_media::Length, ".HEIC"},
        {"t.heic", "heif-enc -t 96 -q 40 a.jpg -o t.heic", iso_media::Identify, iso_media::Length, ".HEIC"},
        {"a.avif", "heif-enc -A a.jpg -o a.avif", iso_media::Identify, iso_media::Length, ".AVIF"},
        {"a.mp4", std::string(kClip) + "-pix_fmt yuv420p a.mp4", iso_media::Identify, iso_media::Length, ".MP4"},
        {"a.mov", "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 a.mov", iso_media::Identify,
         iso_media::Length, ".MOV"},
        {"a.3gp", "ffmpeg -v error -y -f lavfi -i testsrc=size=176x144:rate=10 -t 2 -c:v mpeg4 a.3gp", iso_media::Identify,
         iso_media::Length, ".3GP"},
        {"f.mp4", "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 -movflags +frag_keyframe f.mp4",
         iso_media::Identify, iso_media::Length, ".MP4"},
        {"a.avi", "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 -c:v mjpeg a.avi", riff::Identify,
         riff::Length, ".AVI"},
        {"a.webp", "ffmpeg -v error -y -i a.png a.webp", riff::Identify, riff::Length, ".WEBP"},
        {"l.webp", "ffmpeg -v error -y -i a.png -lossless 1 l.webp", riff::Identify, riff::Length, ".WEBP"},
        {"a.png", "true", png::Identify, png::Length, ".PNG"},
        {"a.tif", "ffmpeg -v error -y -i a.png a.tif", tiff::Identify, tiff::Length, ".TIF"},
        {"t.tif", "tiffcp -t -w 64 -l 64 a.tif t.tif", tiff::Identify, tiff::Length, ".TIF"},
        {"j.tif", "tiffcp -c jpeg -r 16 a.tif j.tif", tiff::Identify, tiff::Length, ".TIF"},
        {"m.tif", "tiffcp a.tif t.tif j.tif m.tif", tiff::Identify, tiff::Length, ".TIF"},
        {"s.tif", "ffmpeg -v error -y -i a.png -vf scale=16:12 s.tif", tiff::Identify, tiff::Length, ".TIF"},
        // tiffset writes the directory anew at the end: a file small enough keeps it in the head.
        {"n.tif", "cp s.tif n.tif && tiffset -s 271 'NIKON CORPORATION' n.tif", tiff::Identify, tiff::Length, ".NEF"},
        {"d.tif", "tiffcp -t -w 16 -l 16 s.tif d.tif && tiffset -s 50706 4 1 4 0 0 d.tif", tiff::Identify, tiff::Length, ".DNG"},
    };
    for (const Case& c : cases) {
        const Bytes file = Make(c.name, c.command);
        ASSERT_GT(file.size(), 100u) << c.name << ": the tool made nothing";
        EXPECT_EQ(c.identify(std::span(file).first(std::min<std::size_t>(4096, file.size()))), c.extension) << c.name;
        EXPECT_EQ(Walk(c.length, file), file.size()) << c.name;
        EXPECT_EQ(Walk(c.length, Then(file, Noise(70000, 7))), file.size()) << c.name << " and old data";
        EXPECT_EQ(Walk(c.length, Then(file, Bytes(4096, 0))), file.size()) << c.name << " and a formatted card's zeros";
        EXPECT_EQ(Walk(c.length, Then(file, file)), file.size()) << c.name << " and the next file";
        Pieces pieces(file);
        EXPECT_EQ(c.length(pieces), file.size()) << c.name << " read in small pieces";
        EXPECT_LT(pieces.calls, 4 * static_cast<int>(file.size() / 100) + 200) << c.name;
        // Cut short anywhere: no end, never one inside the bytes that are there.
        for (const std::size_t cut : {file.size() / 3, file.size() / 2, file.size() - 1})
            EXPECT_EQ(Walk(c.length, Bytes(file.begin(), file.begin() + static_cast<long>(cut))), std::nullopt)
                << c.name << " cut at " << cut;
        // The other walkers do not take it for theirs.
        for (const Walker other : {tiff::Length, iso_media::Length, png::Length, riff::Length, raf::Length}) {
            if (other == c.length) continue;
            EXPECT_EQ(Walk(other, file), std::nullopt) << c.name;
        }
    }
}

TEST_F(ToolFiles, ClipsTellTheirSizeLengthAndDate) {
    if (!Has("ffmpeg")) GTEST_SKIP() << "needs ffmpeg";
    const std::string date = " -metadata creation_time=2021-06-05T10:20:30Z ";
    for (const char* name : {"c.mp4", "c.mov"}) {
        const Bytes clip = Make(name, std::string(kClip) + date + name);
        MemoryBytes source(clip);
        const auto info = iso_media::Clip(source);
        ASSERT_TRUE(info) << name;
        EXPECT_EQ(info->width, 320u);
        EXPECT_EQ(info->height, 240u);
        EXPECT_NEAR(info->seconds, 2.0, 0.2);
        EXPECT_EQ(iso_media::CreationTime(source), (PhotoTime{2021, 6, 5, 10, 20, 30, true})) << name;
    }
    const Bytes avi = Make("c.avi", std::string(kClip) + "-c:v mjpeg c.avi");
    MemoryBytes source(avi);
    const auto info = riff::Clip(source);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 320u);
    EXPECT_EQ(info->height, 240u);
    EXPECT_NEAR(info->seconds, 2.0, 0.2);
}

TEST_F(ToolFiles, DamagedFilesLeadNowhere) {
    if (!Has("ffmpeg")) GTEST_SKIP() << "needs ffmpeg";
    Bytes png = Make("d.png", "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240 -frames:v 1 d.png");
    png[png.size() / 2] ^= 0x55;  // one byte of the picture: its chunk's CRC fails
    EXPECT_EQ(Walk(png::Length, png), std::nullopt);

    const Bytes mp4 = Make("d.mp4", std::string(kClip) + "d.mp4");
    // The boxes after ftyp, found by walking them: break each size in turn.
    for (std::size_t at = 0, box = 0; at + 8 <= mp4.size(); ++box) {
        const std::uint32_t size = std::uint32_t{mp4[at]} << 24 | mp4[at + 1] << 16 | mp4[at + 2] << 8 | mp4[at + 3];
        if (box > 0) {
            for (const std::uint32_t bad : {0u, 4u, 0xFFFFFFF0u}) {
                Bytes broken = mp4;
                for (int i = 0; i < 4; ++i) broken[at + i] = static_cast<std::uint8_t>(bad >> (24 - 8 * i));
                EXPECT_EQ(Walk(iso_media::Length, broken), std::nullopt) << "box " << box << " size " << bad;
            }
        }
        at += size;
    }
}

TEST_F(ToolFiles, HeifPhotosPreviewAsJpegs) {
    if (!Has("heif-enc") || !Has("ffmpeg")) GTEST_SKIP() << "needs heif-enc and ffmpeg";
    Make("p.jpg", "ffmpeg -v error -y -f lavfi -i testsrc=size=640x480 -frames:v 1 p.jpg");
    for (const char* command : {"heif-enc -q 50 p.jpg -o p.heic", "heif-enc -A p.jpg -o p.avif", "heif-enc -t 320 p.jpg -o t.heic"}) {
        const std::string name = std::string(command).substr(std::string(command).rfind(' ') + 1);
        const Bytes file = Make(name, command);
        const HeifPreview preview = HeifToJpeg(file, 256);
        if (preview.error.find("no HEIC/AVIF decoder") != std::string::npos) GTEST_SKIP() << preview.error;
        ASSERT_TRUE(preview.error.empty()) << name << ": " << preview.error;
        const QImage image = QImage::fromData(preview.jpeg.data(), static_cast<int>(preview.jpeg.size()), "JPEG");
        EXPECT_EQ(image.width(), 256) << name;
        EXPECT_EQ(image.height(), 192) << name;
        const HeifPreview damaged = HeifToJpeg(std::span(file).first(file.size() / 2), 256);
        EXPECT_TRUE(damaged.jpeg.empty() && !damaged.error.empty()) << name;
    }
}

// A RAW file's layout, as the makers lay them out: its first directory names the camera.
struct RawLayout {
    Bytes file;
    ByteRange preview;
};
RawLayout MakeRaw(std::array<std::uint8_t, 4> magic, const std::string& make, const std::string& model, bool dng,
                  bool cr2 = false) {
    const Bytes preview = testing::MakeJpeg(160, 120, 3);
    const testing::RawFile raw = testing::MakeRawFile(
        {magic, cr2, make, model, dng, preview, testing::MakeJpeg(32, 24, 4), preview.size() * 3});
    return {raw.bytes, {raw.previewAt, raw.previewLength}};
}

TEST(RawFiles, AreNamedByTheirHeaderAndTagsAndEndAtTheirFurthestByte) {
    const std::array<std::uint8_t, 4> tiffMagic = {'I', 'I', 42, 0};
    const struct {
        RawLayout layout;
        const char* extension;
    } raws[] = {
        {MakeRaw(tiffMagic, "Canon", "EOS", true), ".DNG"},
        {MakeRaw(tiffMagic, "samsung", "Galaxy", true), ".DNG"},
        {MakeRaw(tiffMagic, "Canon", "EOS 5D", false, true), ".CR2"},
        {MakeRaw(tiffMagic, "NIKON CORPORATION", "NIKON D750", false), ".NEF"},
        {MakeRaw(tiffMagic, "NIKON", "COOLPIX P7000", false), ".NRW"},
        {MakeRaw(tiffMagic, "SONY", "ILCE-7M3", false), ".ARW"},
        {MakeRaw(tiffMagic, "SONY", "DSC-R1", false), ".SR2"},
        {MakeRaw(tiffMagic, "PENTAX Corporation", "PENTAX K-5", false), ".PEF"},
        {MakeRaw(tiffMagic, "RICOH IMAGING COMPANY, LTD.", "PENTAX K-3 II", false), ".PEF"},
        {MakeRaw(tiffMagic, "SAMSUNG", "NX300", false), ".SRW"},
        {MakeRaw({'I', 'I', 'R', 'O'}, "OLYMPUS", "E-M1", false), ".ORF"},
        {MakeRaw({'I', 'I', 'U', 0}, "Panasonic", "DC-G9", false), ".RW2"},
        {MakeRaw(tiffMagic, "FUJIFILM", "X-T3", false), ".TIF"},
    };
    for (const auto& raw : raws) {
        const Bytes& file = raw.layout.file;
        EXPECT_EQ(tiff::Identify(file), raw.extension);
        EXPECT_EQ(Walk(tiff::Length, file), file.size()) << raw.extension;
        EXPECT_EQ(Walk(tiff::Length, Then(file, Noise(5000, 1))), file.size()) << raw.extension;
        MemoryBytes source(file);
        EXPECT_EQ(tiff::LargestPreview(source), raw.layout.preview) << raw.extension << ": not the lossless RAW data";
        EXPECT_EQ(tiff::DateTimeOriginal(source), (PhotoTime{2019, 7, 14, 8, 9, 10, false}));
        Pieces pieces(file);
        EXPECT_EQ(tiff::Length(pieces), file.size()) << raw.extension << " in pieces";
    }
    // A head that ends before the first directory does not know the camera; a sector of
    // other data does not start a TIFF.
    Bytes nef = raws[3].layout.file;
    EXPECT_EQ(tiff::Identify(std::span(nef).first(16)), ".TIF");
    nef[4] = 4, nef[5] = nef[6] = nef[7] = 0;  // the first directory inside the header
    EXPECT_EQ(tiff::Identify(nef), std::nullopt);
    EXPECT_EQ(tiff::Identify(Bytes{'I', 'I', '*'}), std::nullopt);
    EXPECT_EQ(tiff::Identify(Bytes{'I', 'M', '*', 0, 8, 0, 0, 0}), std::nullopt);
}

TEST(RawFiles, HostileDirectoriesAreRefusedQuickly) {
    const Bytes strip = Noise(600, 3);
    const auto build = [&](auto&& shape) {
        TiffWriter tiff;
        shape(tiff, tiff.Blob(strip));
        return tiff.bytes;
    };
    const auto stripFields = [&](std::uint32_t at) {
        return std::vector<TiffWriter::Field>{TiffWriter::Long(0x111, at), TiffWriter::Long(0x117, 600)};
    };
    const Bytes hostile[] = {
        // The chain leads back to its first directory.
        build([&](TiffWriter& t, std::uint32_t at) {
            const std::uint32_t first = static_cast<std::uint32_t>(t.bytes.size() + t.bytes.size() % 2);
            t.SetFirst(t.Directory(stripFields(at), first));
        }),
        // A SubIFD that is its own parent.
        build([&](TiffWriter& t, std::uint32_t at) {
            const std::uint32_t self = static_cast<std::uint32_t>(t.bytes.size() + t.bytes.size() % 2);
            auto fields = stripFields(at);
            fields.push_back(TiffWriter::Long(0x14A, self));
            t.SetFirst(t.Directory(fields));
        }),
        // A strip past the card's end, and one whose end does not fit in 64 bits of sense.
        build([&](TiffWriter& t, std::uint32_t) { t.SetFirst(t.Directory(stripFields(0xFFFFFF00u))); }),
        // A billion strips whose lists lie past the end.
        build([&](TiffWriter& t, std::uint32_t at) {
            t.SetFirst(t.Directory({{0x111, 4, 1u << 30, at}, {0x117, 4, 1u << 30, at}}));
        }),
        // Two directories that share one strip list (each would read it again).
        build([&](TiffWriter& t, std::uint32_t at) {
            const std::uint32_t list = t.Longs({at, at, at});
            const std::uint32_t counts = t.Longs({600, 600, 600});
            const std::uint32_t second = t.Directory({{0x111, 4, 3, list}, {0x117, 4, 3, counts}});
            t.SetFirst(t.Directory({{0x111, 4, 3, list}, {0x117, 4, 3, counts}}, second));
        }),
        // Strip offsets without their byte counts, or with a count of none.
        build([&](TiffWriter& t, std::uint32_t at) { t.SetFirst(t.Directory({TiffWriter::Long(0x111, at)})); }),
        build([&](TiffWriter& t, std::uint32_t at) {
            t.SetFirst(t.Directory({TiffWriter::Long(0x111, at), TiffWriter::Long(0x117, 0)}));
        }),
    };
    for (std::size_t i = 0; i < std::size(hostile); ++i) EXPECT_EQ(Walk(tiff::Length, hostile[i]), std::nullopt) << i;

    // A chain of more directories than any camera writes.
    TiffWriter chain;
    std::uint32_t next = 0;
    for (int i = 0; i < 70; ++i) next = chain.Directory(stripFields(chain.Blob(strip)), next);
    chain.SetFirst(next);
    EXPECT_EQ(Walk(tiff::Length, chain.bytes), std::nullopt);
}

TEST(RafFiles, EndWhereTheirHeaderSays) {
    const Bytes jpeg = testing::MakeJpeg(160, 120, 9);
    Bytes raf = testing::MakeRafFile(jpeg, 5000, 1);
    const std::size_t jpegAt = 112;
    EXPECT_EQ(raf::Identify(raf), ".RAF");
    EXPECT_EQ(Walk(raf::Length, Then(raf, Noise(3000, 3))), raf.size());
    EXPECT_EQ(Walk(raf::Length, Bytes(raf.begin(), raf.end() - 1)), std::nullopt);
    MemoryBytes source(raf);
    EXPECT_EQ(raf::LargestPreview(source), (ByteRange{jpegAt, jpeg.size()}));
    raf[jpegAt] = 0;  // no JPEG where the header says: no RAF
    EXPECT_EQ(Walk(raf::Length, raf), std::nullopt);
}

// ISO boxes made by hand: sizes the tools never write.
Bytes Box(const std::string& type, const Bytes& payload, bool large = false) {
    Bytes box;
    const std::uint64_t size = payload.size() + (large ? 16 : 8);
    const std::uint32_t small = large ? 1 : static_cast<std::uint32_t>(size);
    for (int i = 3; i >= 0; --i) box.push_back(static_cast<std::uint8_t>(small >> (8 * i)));
    box.insert(box.end(), type.begin(), type.end());
    if (large)
        for (int i = 7; i >= 0; --i) box.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    return Then(box, payload);
}

TEST(IsoMediaFiles, SizesOfEveryWidthAndNoneAtAll) {
    const Bytes ftyp = Box("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'});
    const Bytes heif = Box("ftyp", {'m', 'i', 'f', '1', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'a', 'v', 'i', 'f'});
    const Bytes moov = Box("moov", Box("mvhd", Bytes(100, 0)));
    const Bytes clip = Then(Then(ftyp, Box("mdat", Noise(3000, 1), true)), moov);
    EXPECT_EQ(iso_media::Identify(clip), ".MP4");
    EXPECT_EQ(iso_media::Identify(heif), ".AVIF");
    EXPECT_EQ(Walk(iso_media::Length, Then(clip, Noise(2000, 2))), clip.size()) << "a 64-bit size";
    EXPECT_EQ(Walk(iso_media::Length, Then(ftyp, Box("mdat", Noise(3000, 1)))), std::nullopt) << "no moov";
    EXPECT_EQ(Walk(iso_media::Length, Then(heif, moov)), std::nullopt) << "no meta";
    // A HEIF holds the bytes its item locations name: a picture that lies elsewhere (the rest
    // of a fragmented file) is not whole.
    const auto photo = [&](std::uint32_t dataAt) {
        Bytes iloc = {0, 0, 0, 0, 0x44, 0x00, 0, 1, 0, 1, 0, 0, 0, 1};
        for (const std::uint32_t value : {dataAt, 500u})
            for (int i = 3; i >= 0; --i) iloc.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return Then(heif, Box("meta", Then(Bytes(4, 0), Box("iloc", iloc))));
    };
    const std::size_t data = photo(0).size() + 8;
    const Bytes whole = Then(photo(static_cast<std::uint32_t>(data)), Box("mdat", Noise(500, 3)));
    EXPECT_EQ(Walk(iso_media::Length, Then(whole, Noise(900, 4))), whole.size());
    EXPECT_EQ(Walk(iso_media::Length, Then(photo(static_cast<std::uint32_t>(data + 600)), Box("mdat", Noise(500, 3)))),
              std::nullopt);
    EXPECT_EQ(Walk(iso_media::Length, Then(heif, Box("meta", Bytes(40, 0)))), std::nullopt) << "no item locations";

    Bytes zero = Then(Then(ftyp, moov), Box("mdat", Noise(300, 1)));
    std::fill_n(zero.begin() + static_cast<long>(ftyp.size() + moov.size()), 4, 0);  // "to the end of the file": none on a card
    EXPECT_EQ(Walk(iso_media::Length, zero), std::nullopt);
    Bytes huge = Then(Then(ftyp, moov), Box("mdat", Noise(300, 1), true));
    std::fill_n(huge.begin() + static_cast<long>(ftyp.size() + moov.size() + 8), 8, 0xFF);  // 2^64 - 1
    EXPECT_EQ(Walk(iso_media::Length, huge), std::nullopt);
    Bytes shortLarge = huge;
    std::fill_n(shortLarge.begin() + static_cast<long>(ftyp.size() + moov.size() + 8), 8, 0);
    shortLarge[ftyp.size() + moov.size() + 15] = 9;  // a 64-bit size shorter than its header
    EXPECT_EQ(Walk(iso_media::Length, shortLarge), std::nullopt);
    // Text after a clip spells box types but not sizes of sense.
    const std::string text = "Lorem ipsum dolor sit amet, consectetur adipiscing elit";
    EXPECT_EQ(Walk(iso_media::Length, Then(clip, Bytes(text.begin(), text.end()))), clip.size());

    for (const auto& [brand, extension] : std::initializer_list<std::pair<std::string, const char*>>{
             {"heic", ".HEIC"}, {"heix", ".HEIC"}, {"mif1", ".HEIC"}, {"avif", ".AVIF"}, {"crx ", ".CR3"},
             {"qt  ", ".MOV"}, {"3gp5", ".3GP"}, {"mp42", ".MP4"}, {"isom", ".MP4"}}) {
        const Bytes head = Box("ftyp", Then(Bytes(brand.begin(), brand.end()), Bytes(4, 0)));
        EXPECT_EQ(iso_media::Identify(head), extension) << brand;
    }
    EXPECT_EQ(iso_media::Identify(Box("ftyp", Bytes(9, 'a'))), std::nullopt) << "not a whole number of brands";

    // A CR3 keeps its preview in Canon's uuid box: a PRVW box giving the JPEG's length, then the JPEG.
    const Bytes jpeg = testing::MakeJpeg(64, 48, 6);
    const Bytes uuid = {0xEA, 0xF4, 0x2B, 0x5E, 0x1C, 0x98, 0x4B, 0x88, 0xB9, 0xFB, 0xB7, 0xDC, 0x40, 0x6E, 0x4D, 0x16};
    Bytes prvw(0x18, 0);
    for (int i = 0; i < 4; ++i) prvw[0x14 + i] = static_cast<std::uint8_t>(jpeg.size() >> (24 - 8 * i));
    prvw = Then(prvw, jpeg);
    for (int i = 0; i < 4; ++i) prvw[i] = static_cast<std::uint8_t>(prvw.size() >> (24 - 8 * i));
    std::copy_n("PRVW", 4, prvw.begin() + 4);
    const Bytes crxFtyp = Box("ftyp", {'c', 'r', 'x', ' ', 0, 0, 0, 1, 'c', 'r', 'x', ' ', 'i', 's', 'o', 'm'});
    const Bytes cr3 = Then(Then(Then(crxFtyp, moov), Box("uuid", Then(Then(uuid, Bytes(8, 0)), prvw))), Box("mdat", Noise(2000, 5)));
    EXPECT_EQ(iso_media::Identify(cr3), ".CR3");
    EXPECT_EQ(Walk(iso_media::Length, Then(cr3, Noise(700, 6))), cr3.size());
    MemoryBytes source(cr3);
    const std::size_t jpegAt = crxFtyp.size() + moov.size() + 8 + 16 + 8 + 0x18;
    EXPECT_EQ(iso_media::LargestPreview(source), (ByteRange{jpegAt, jpeg.size()}));
    Bytes moved = cr3;
    moved[jpegAt] = 0;  // no JPEG where the box says
    MemoryBytes movedSource(moved);
    EXPECT_EQ(iso_media::LargestPreview(movedSource), std::nullopt);
}

TEST(RiffFiles, TheSizeMustMatchTheChunks) {
    const auto riff = [](const std::string& form, const Bytes& chunks, std::int64_t slack = 0) {
        const auto size = static_cast<std::uint32_t>(4 + chunks.size() + slack);
        Bytes file = {'R', 'I', 'F', 'F', static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                      static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
        file.insert(file.end(), form.begin(), form.end());
        return Then(file, chunks);
    };
    const auto chunk = [](const std::string& id, std::size_t length) {
        Bytes c(id.begin(), id.end());
        for (int i = 0; i < 4; ++i) c.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
        return Then(c, Bytes(length + (length & 1), 0x11));
    };
    const Bytes webp = riff("WEBP", Then(chunk("VP8 ", 301), chunk("EXIF", 20)));
    EXPECT_EQ(Walk(riff::Length, Then(webp, Noise(1000, 1))), webp.size());
    EXPECT_EQ(Walk(riff::Length, riff("WEBP", chunk("VP8 ", 300), 8)), std::nullopt) << "chunks short of the size";
    EXPECT_EQ(Walk(riff::Length, riff("WEBP", chunk("VP8 ", 300), -2)), std::nullopt) << "a chunk past the size";
    EXPECT_EQ(Walk(riff::Length, riff("WEBP", chunk("JUNK", 300))), std::nullopt) << "no picture first";
    // An AVI goes on in its AVIX lists.
    const Bytes avi = riff("AVI ", Then(chunk("LIST", 40), chunk("idx1", 16)));
    const Bytes more = riff("AVIX", chunk("LIST", 500));
    EXPECT_EQ(Walk(riff::Length, Then(Then(avi, more), Noise(100, 2))), avi.size() + more.size());
    EXPECT_EQ(riff::Identify(avi), ".AVI");
    EXPECT_EQ(riff::Identify(riff("WAVE", {})), std::nullopt);
}

Bytes WithSegments(const Bytes& jpeg, const std::vector<Bytes>& payloads) { return testing::WithAppSegments(jpeg, payloads); }
std::vector<jpeg::Segment> AppSegments(const Bytes& file) {
    std::vector<jpeg::Segment> segments;
    MemoryBytes source(file);
    jpeg::ForEachAppSegment(source, [&](const jpeg::Segment& s) { return segments.push_back(s), true; });
    return segments;
}
std::uint64_t DeclaredEnd(const Bytes& file, std::uint64_t imageEnd) {
    MemoryBytes source(file);
    return jpeg::DeclaredEnd(source, imageEnd, AppSegments(file));
}

// An EXIF block whose maker note (of `make`, in its own layout) places a preview.
Bytes Exif(const std::string& make, const Bytes& note, const std::string& date = "2020:02:29 23:59:58") {
    return testing::ExifPayload(make, note, date);
}
// A maker note directory of these fields after `header`; offsets in it count from the TIFF header.
Bytes Note(const Bytes& header, std::vector<TiffWriter::Field> fields) {
    TiffWriter ifd;
    ifd.bytes.clear();
    ifd.Directory(std::move(fields));
    return Then(header, ifd.bytes);
}

TEST(JpegExtras, MakerNotePreviewsAfterTheImageBelongToIt) {
    const Bytes photo = testing::MakeJpeg(120, 90, 1), preview = testing::MakeJpeg(64, 48, 2);
    // The EXIF block's size does not depend on the offset it holds: lay out once, then fill in.
    const auto make = [&](const std::string& maker, auto&& note) {
        Bytes file = WithSegments(photo, {Exif(maker, note(0u))});
        const auto previewAt = static_cast<std::uint32_t>(file.size() - 12);  // from the TIFF header
        return Then(WithSegments(photo, {Exif(maker, note(previewAt))}), preview);
    };
    const auto len = static_cast<std::uint32_t>(preview.size());
    const Bytes files[] = {
        make("PENTAX", [&](std::uint32_t at) { return Note({'A', 'O', 'C', 0, 'I', 'I'}, {TiffWriter::Long(3, len), TiffWriter::Long(4, at)}); }),
        make("Minolta Co., Ltd.", [&](std::uint32_t at) { return Note({}, {TiffWriter::Long(0x88, at), TiffWriter::Long(0x89, len)}); }),
        make("SONY", [&](std::uint32_t at) { return Note({'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0}, {{0x2001, 7, len, at}}); }),
        make("OLYMPUS IMAGING CORP.", [&](std::uint32_t at) {
            return Note({'O', 'L', 'Y', 'M', 'P', 0, 1, 0}, {TiffWriter::Long(0x88, at), TiffWriter::Long(0x89, len)});
        }),
    };
    for (const Bytes& file : files) {
        const std::uint64_t imageEnd = file.size() - preview.size();
        EXPECT_EQ(DeclaredEnd(file, imageEnd), file.size());
        EXPECT_EQ(DeclaredEnd(Then(file, Noise(5000, 4)), imageEnd), file.size());
        EXPECT_EQ(DeclaredEnd(Bytes(file.begin(), file.end() - 1), imageEnd), imageEnd) << "the preview is not whole";
        Bytes moved = Then(Bytes(file.begin(), file.begin() + static_cast<long>(imageEnd)), Then(Bytes{0}, preview));
        EXPECT_EQ(DeclaredEnd(moved, imageEnd), imageEnd) << "the preview is not where it says";
        Bytes damaged = file;
        damaged[imageEnd] = 0x02;
        EXPECT_EQ(DeclaredEnd(damaged, imageEnd), file.size()) << "a damaged first byte";
        MemoryBytes source(file);
        EXPECT_EQ(jpeg::DateTimeOriginal(source, AppSegments(file)), (PhotoTime{2020, 2, 29, 23, 59, 58, false}));
    }
    // Nothing declared, and megabytes of a formatted card after the photo: looking for a
    // trailer reads a bounded stretch, not the card.
    const Bytes plain = Then(WithSegments(photo, {Exif("Canon", {})}), Bytes(8 << 20, 0));
    Pieces pieces(plain);
    EXPECT_EQ(jpeg::DeclaredEnd(pieces, plain.size() - (8 << 20), AppSegments(plain)), plain.size() - (8 << 20));
    EXPECT_LT(pieces.calls, 2000);

    const Bytes blank = WithSegments(photo, {Exif("Canon", {}, "    :  :     :  :  ")});
    MemoryBytes source(blank);
    EXPECT_EQ(jpeg::DateTimeOriginal(source, AppSegments(blank)), std::nullopt) << "a clock never set";
    EXPECT_EQ(DeclaredEnd(blank, blank.size()), blank.size());
}

TEST_F(ToolFiles, HeifPhotosAreDatedByTheirExifItem) {
    if (!Has("heif-enc")) GTEST_SKIP() << "needs heif-enc";
    testing::WriteFileBytes(dir.file("e.jpg"), WithSegments(testing::MakeJpeg(64, 48, 8), {Exif("Apple", {}, "2018:03:04 05:06:07")}));
    for (const char* command : {"heif-enc -q 40 e.jpg -o e.heic", "heif-enc -A e.jpg -o e.avif"}) {
        const std::string name = std::string(command).substr(std::string(command).rfind(' ') + 1);
        const Bytes file = Make(name, command);
        MemoryBytes source(file);
        EXPECT_EQ(iso_media::CreationTime(source), (PhotoTime{2018, 3, 4, 5, 6, 7, false})) << name;
    }
}

TEST_F(ToolFiles, MotionPhotosKeepTheirVideo) {
    if (!Has("ffmpeg")) GTEST_SKIP() << "needs ffmpeg";
    const Bytes video = Make("v.mp4", std::string(kClip) + "v.mp4");
    const Bytes photo = testing::MakeJpeg(120, 90, 5);
    const auto xmp = testing::XmpPayload;
    const std::string length = std::to_string(video.size());
    const Bytes google = testing::MakeMotionPhoto(photo, video);
    const Bytes container = WithSegments(
        photo, {xmp("><Container:Directory><rdf:Seq><rdf:li><Container:Item Item:Mime=\"image/jpeg\" Item:Semantic=\"Primary\" "
                    "Item:Length=\"0\" Item:Padding=\"8\"/></rdf:li><rdf:li><Container:Item Item:Mime=\"video/mp4\" "
                    "Item:Semantic=\"MotionPhoto\" Item:Length=\"" + length + "\"/></rdf:li></rdf:Seq></Container:Directory")});
    // Samsung's trailer: the video after its name, then the directory that closes the file.
    const std::string name = "MotionPhoto_Data";
    const auto le32 = [](std::uint32_t value) {
        return Bytes{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                     static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    };
    Bytes samsung = Then(Then(photo, Bytes(name.begin(), name.end())), video);
    const auto back = static_cast<std::uint32_t>(samsung.size() - photo.size());
    for (const Bytes& part : {Bytes{'S', 'E', 'F', 'H'}, le32(106), le32(1), Bytes{0, 0, 0x30, 0x0A}, le32(back),
                              le32(back), le32(24), Bytes{'S', 'E', 'F', 'T'}})
        samsung = Then(samsung, part);

    const struct {
        Bytes file;
        std::uint64_t imageEnd;
    } cases[] = {{google, google.size() - video.size()},
                 {Then(Then(container, Bytes(8, 0)), video), container.size()},
                 {samsung, photo.size()}};
    for (const auto& c : cases) {
        EXPECT_EQ(DeclaredEnd(Then(c.file, Noise(3000, 6)), c.imageEnd), c.file.size());
        EXPECT_EQ(DeclaredEnd(Bytes(c.file.begin(), c.file.end() - 1), c.imageEnd), c.imageEnd) << "not whole";
        EXPECT_EQ(DeclaredEnd(Bytes(c.file.begin(), c.file.begin() + static_cast<long>(c.imageEnd)), c.imageEnd), c.imageEnd);
    }
}

}  // namespace
}  // namespace kelvara::formats
