// Where photos end by their own structure (photos drawn by Qt, and the structures cameras
// write), and saving and previewing photos found on a real FAT card through the POSIX
// platform: the photos were copied onto the card and deleted again, and come back byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "diskio/get_total_sectors.h"
#include "formats/format_table.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fat_image.h"
#include "tests/support/fragmented_card.h"
#include "tests/support/hostile_cards.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/support/format_files.h"
#include "tests/support/test_photos.h"
#include "tests/support/test_card.h"

namespace kelvara {
namespace {

const FileKind kJpeg = *formats::KindOfExtension(".JPG"), kGif = *formats::KindOfExtension(".GIF");

namespace fs = std::filesystem;
using testing::FakeProgress;
using testing::TempDir;
using testing::Bytes;
using testing::ReadFileBytes;

std::optional<std::uint64_t> Length(FileKind kind, const Bytes& bytes) {
    MemoryBytes source(bytes);
    return formats::StructuralLength(kind, source);
}
Bytes Then(Bytes bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}
// Old data of another file: random bytes, FF D9 and 00 3B among them.
Bytes Clip(std::size_t length, int seed) {
    Bytes clip(length);
    std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (auto& byte : clip) byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16);
    return clip;
}

TEST(PhotoStructure, APhotoEndsWhereItsOwnStructureEndsWhateverFollows) {
    const Bytes clip = Clip(100000, 1);
    const Bytes jpegs[] = {testing::MakeJpeg(120, 90, 1), testing::MakeJpegWithThumbnail(160, 120, 2),
                           testing::MakeProgressiveJpeg(160, 120, 3), testing::MakeJpegWithRestarts(4, 12),
                           testing::MakeJpegWithPreview(80, 60, 5)};
    for (const Bytes& jpeg : jpegs) {
        EXPECT_EQ(Length(kJpeg, jpeg), jpeg.size());
        EXPECT_EQ(Length(kJpeg, Then(jpeg, clip)), jpeg.size());  // a clip after it is not the photo
    }
    const Bytes progressive = jpegs[2];
    int scans = 0;
    for (std::size_t i = 0; i + 1 < progressive.size(); ++i) scans += progressive[i] == 0xFF && progressive[i + 1] == 0xDA;
    EXPECT_GT(scans, 1) << "not a progressive JPEG";

    const Bytes gifs[] = {testing::MakeGif89a(20, 10, 1), testing::MakeAnimatedGif89a(24, 16, 2, 3)};
    for (const Bytes& gif : gifs) {
        EXPECT_EQ(Length(kGif, gif), gif.size());
        EXPECT_EQ(Length(kGif, Then(gif, clip)), gif.size());
    }
}

TEST(PhotoStructure, AStructureThatLeadsNowhereGivesNoEnd) {
    const Bytes photo = testing::MakeJpeg(120, 90, 7);
    // Cut short and followed by zeros, then by the next photo: the walk meets its signature.
    Bytes cut(photo.begin(), photo.begin() + static_cast<long>(photo.size() / 2));
    cut.resize(cut.size() + 700, 0);
    EXPECT_EQ(Length(kJpeg, Then(cut, photo)), std::nullopt);
    EXPECT_EQ(Length(kJpeg, cut), std::nullopt);                 // the bytes end first
    for (int seed = 0; seed < 200; ++seed) {                               // signatures by chance
        Bytes chance = Clip(20000, seed);
        chance[0] = 0xFF, chance[1] = 0xD8;
        EXPECT_EQ(Length(kJpeg, chance), std::nullopt) << seed;
        std::copy_n("GIF89a", 6, chance.begin());
        EXPECT_EQ(Length(kGif, chance), std::nullopt) << seed;
    }
    // A Multi-Picture index whose preview is not where it says, or not whole: the photo ends
    // at its own end.
    Bytes moved = testing::MakeJpegWithPreview(80, 60, 5);
    const std::size_t photoEnd = moved.size() - testing::MakeJpeg(160, 120, 505).size();
    EXPECT_EQ(Length(kJpeg, Bytes(moved.begin(), moved.end() - 10)), photoEnd);
    moved[photoEnd] = 0;
    EXPECT_EQ(Length(kJpeg, moved), photoEnd);
}

// Files laid at the sectors given on a card in memory, scanned, then saved whole; what became
// of each entry, in order.
struct SavedCard {
    SavedCard(const std::vector<std::pair<std::int64_t, Bytes>>& files, std::int64_t sectors) {
        auto& volume = platform.AddVolume('E', sectors);
        for (const auto& [sector, bytes] : files) std::copy(bytes.begin(), bytes.end(), volume.begin() + sector * 512);
        platform.folders.insert("C:\\Out");
        testing::ScanNt(platform, progress, table, "E:\\", sectors);
        report = SaveAllPhotos(platform, progress, table, "C:\\Out", "Image", [&](const SavedEntry& entry) { saved.push_back(entry); });
    }
    const Bytes& File(const std::string& name) const { return platform.files.at("C:\\Out\\" + name); }

    testing::FakePlatform platform;
    FakeProgress progress;
    FoundPhotoTable table;
    std::vector<SavedEntry> saved;
    SaveReport report;
};

Bytes Part(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(std::min(to, bytes.size())));
}

TEST(SaveAll, WhatLiesInsideAPhotoIsSavedWithItAndWhatBreaksOffAsFarAsItHolds) {
    // A thumbnail that starts the photo's second sector; a photo that follows directly.
    const Bytes thumbnailed = testing::MakeJpegWithThumbnail(320, 240, 1, 512);
    const Bytes next = testing::MakeJpeg(200, 150, 2);
    // A camera's photo in pieces: its first 12 sectors (header, thumbnail, the start of its
    // scan), then straight on another photo. Its thumbnail's end marker is no end of it.
    const Bytes whole = testing::MakeJpegWithThumbnail(400, 300, 3, 100);
    const Bytes fragment = Part(whole, 0, 12 * 512);
    const Bytes after = testing::MakeJpeg(160, 120, 4);
    // Lengths alone reaching over a photo: the first segment of one leaps into the second
    // sector, into an APP1 segment of the photo starting there, where a frame, a scan and an end
    // wait for it; that photo goes on well past it.
    Bytes leaper = {0xFF, 0xD8, 0xFF, 0xE1, 0x02, 0x22};  // lands 38 bytes into the next sector
    leaper.resize(512, 0x20);
    Bytes landing = {0xFF, 0xE1, 0x07, 0xD0};  // 2,000 bytes of segment
    landing.resize(38 - 2, 0x20);  // after the FF D8 there
    landing.insert(landing.end(), {0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 7, 7, 0xFF, 0xD9});
    landing.resize(2002, 0x20);
    const Bytes jumpedOver = testing::TinyJpeg(5000, 5, landing);
    // Nothing of a picture after the signature.
    const Bytes chance = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};

    const std::int64_t a = 0, b = a + static_cast<std::int64_t>(thumbnailed.size() + 511) / 512,
                       c = b + static_cast<std::int64_t>(next.size() + 511) / 512, d = c + 12,
                       e = d + static_cast<std::int64_t>(after.size() + 511) / 512, f = e + 1,
                       g = f + static_cast<std::int64_t>(jumpedOver.size() + 511) / 512;
    SavedCard card({{a, thumbnailed}, {b, next}, {c, fragment}, {d, after}, {e, leaper}, {f, jumpedOver}, {g, chance}},
                         g + 10);
    ASSERT_EQ(card.saved.size(), 8u);
    const std::vector<PhotoStatus> statuses = {PhotoStatus::Whole,      PhotoStatus::Inside, PhotoStatus::Whole,
                                               PhotoStatus::Incomplete, PhotoStatus::Whole,  PhotoStatus::Incomplete,
                                               PhotoStatus::Whole,      PhotoStatus::NotAPhoto};
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(card.saved[i].status, statuses[i]) << i;
        EXPECT_EQ(card.table[i].Status, statuses[i]) << i;  // kept for the list to show
    }
    EXPECT_EQ(card.saved[1].container, 0);
    EXPECT_EQ(card.File("Image001.JPG"), thumbnailed);
    EXPECT_FALSE(card.platform.files.count("C:\\Out\\Image002.JPG"));
    EXPECT_EQ(card.File("Image003.JPG"), next);
    EXPECT_EQ(card.File("Image004.JPG"), fragment);  // as far as it holds: not cut at its thumbnail
    EXPECT_EQ(card.File("Image005.JPG"), after);
    EXPECT_EQ(card.File("Image006.JPG"), leaper);    // its run, not the photo it leapt into
    EXPECT_EQ(card.File("Image007.JPG"), jumpedOver);
    EXPECT_FALSE(card.platform.files.count("C:\\Out\\Image008.JPG"));
    EXPECT_EQ(card.report.saved, 6);
    EXPECT_EQ(card.report.failed, 0);

    // Two photos came back only in part, one entry lies inside another, one is no photo.
    EXPECT_EQ(card.report.incomplete, 2);
    EXPECT_EQ(card.report.firstIncomplete, (std::vector<std::string>{"Image004.JPG", "Image006.JPG"}));
    EXPECT_EQ(card.report.inside, 1);
    EXPECT_EQ(card.report.notPhotos, 1);
    EXPECT_FALSE(SaveShortfall(card.report));

    // The preview shows what Save wrote of the broken one.
    WritePreviewFiles(card.platform, card.table[5], DriveEnd(card.table), "C:\\Out\\");
    EXPECT_EQ(card.File("TB.jpg"), leaper);
}

class CardTest : public ::testing::Test {
protected:
    void SetUp() override {
        card = testing::MakePhotoCard(tmp.file("card.img"), 11);
        PosixPlatform::Options options;
        options.images.push_back(AttachedImage(card.image));
        options.home = tmp.path();
        platform = std::make_unique<PosixPlatform>(options);
        testing::ScanNt(*platform, progress, table, "D:\\", GetTotalSectors(*platform, "D:\\"));
    }

    TempDir tmp;
    testing::TestCard card;
    std::unique_ptr<PosixPlatform> platform;
    FakeProgress progress;
    FoundPhotoTable table;
};

TEST_F(CardTest, SavedPhotosAreTheDeletedFilesByteForByte) {
    ASSERT_EQ(table.size(), card.photos.size());
    fs::create_directory(tmp.file("out"));
    std::vector<std::int64_t> all;
    for (std::size_t i = 0; i < card.photos.size(); ++i) all.push_back(static_cast<std::int64_t>(i));

    const SaveReport report = SavePhotos(*platform, progress, table, all, "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_EQ(report.saved, static_cast<std::int64_t>(card.photos.size()));
    EXPECT_TRUE(report.unreadable.empty());
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = EntryName("Image", static_cast<std::int64_t>(i), card.photos[i].gif ? kGif : kJpeg);
        EXPECT_EQ(ReadFileBytes(tmp.file("out/" + name)), card.photos[i].bytes) << card.photos[i].name;
    }
}

TEST_F(CardTest, PreviewFilesHoldThePhotoAndAPagePointingAtIt) {
    ASSERT_GE(table.size(), 2u);
    fs::create_directory(tmp.file("preview"));
    const std::string folder = "C:\\preview\\";
    const std::string page = WritePreviewFiles(*platform, table[1], DriveEnd(table), folder);
    EXPECT_EQ(page, folder + "TB001.htm");
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), card.photos[1].bytes);
    const std::string text = PreviewPageText(folder);
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB001.htm")), Bytes(text.begin(), text.end()));

    // A shorter photo after a longer one leaves no tail.
    const std::size_t shorter = card.photos[0].bytes.size() < card.photos[1].bytes.size() ? 0 : 1;
    const std::size_t longer = 1 - shorter;
    WritePreviewFiles(*platform, table[longer], DriveEnd(table), folder);
    WritePreviewFiles(*platform, table[shorter], DriveEnd(table), folder);
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), card.photos[shorter].bytes);

    // A link planted under the image's name is replaced, never written through.
    const std::string victim = tmp.file("victim");
    std::ofstream(victim) << "untouched";
    fs::remove(tmp.file("preview/TB.jpg"));
    fs::create_symlink(victim, tmp.file("preview/TB.jpg"));
    WritePreviewFiles(*platform, table[0], DriveEnd(table), folder);
    EXPECT_FALSE(fs::is_symlink(tmp.file("preview/TB.jpg")));
    EXPECT_EQ(ReadFileBytes(victim).size(), 9u);
}

// A card image attached as D:\ and scanned as the window scans it.
struct ScannedImage {
    static PosixPlatform::Options With(const TempDir& tmp, const std::string& image) {
        PosixPlatform::Options options;
        options.images.push_back(AttachedImage(image));
        options.home = tmp.path();
        return options;
    }
    ScannedImage(const TempDir& tmp, const std::string& image) : platform(With(tmp, image)) {
        testing::ScanNt(platform, progress, table, "D:\\", GetTotalSectors(platform, "D:\\"));
    }
    PosixPlatform platform;
    FakeProgress progress;
    FoundPhotoTable table;
};

// A phone's HEIC in pieces over a small HEIC left whole between them: the outer's sizes reach over
// the small one, which is no part of it (no still image of boxes nests in another). The small one
// is saved whole on its own, the outer said to break off where it starts.
TEST(SaveAll, AStillImageOfBoxesInsideAnotherIsItsOwnAndTheOuterBreaksThere) {
    if (!testing::HasTool("heif-enc")) GTEST_SKIP() << "heif-enc is not installed";
    TempDir tmp;
    testing::WriteFileBytes(tmp.file("small.jpg"), testing::MakeJpeg(64, 48, 1));
    testing::WriteFileBytes(tmp.file("large.jpg"), testing::MakeJpeg(640, 480, 2, 95));
    const Bytes small = testing::ToolFile(tmp.path(), "small.heic", "heif-enc -q 40 small.jpg -o small.heic");
    Bytes outer = testing::ToolFile(tmp.path(), "large.heic", "heif-enc -q 90 large.jpg -o large.heic");
    ASSERT_FALSE(small.empty());
    const std::size_t at = (outer.size() / 2) / 512 * 512;  // a sector start in the outer's picture data
    ASSERT_GT(outer.size(), at + small.size() + 512);
    std::copy(small.begin(), small.end(), outer.begin() + static_cast<long>(at));
    SavedCard card({{0, outer}}, static_cast<std::int64_t>(outer.size() / 512) + 20);
    ASSERT_EQ(card.saved.size(), 2u);
    EXPECT_EQ(card.saved[0].status, PhotoStatus::Incomplete);
    EXPECT_EQ(card.saved[1].status, PhotoStatus::Whole);
    EXPECT_EQ(card.File("Image002.HEIC"), small);
    EXPECT_EQ(card.File("Image001.HEIC").size(), at);
}

// The preview of a photo in pieces shows it whole, as Save writes it.
TEST(PiecedCard, ThePreviewShowsAPhotoInPiecesWhole) {
    TempDir tmp;
    const testing::FragmentedCard card = testing::MakeFragmentedCard(tmp.file("card.img"), 10, 7);
    ScannedImage scanned(tmp, tmp.file("card.img"));
    PosixPlatform& platform = scanned.platform;
    const FoundPhotoTable& table = scanned.table;
    fs::create_directory(tmp.file("preview"));

    int shown = 0;
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        if (card.pieces[i] < 2) continue;
        // Its entry: the one whose first sector holds its first bytes.
        for (std::size_t entry = 0; entry < table.size(); ++entry) {
            const Bytes head = testing::ReadBytesAt(tmp.file("card.img"), table[entry].StartSector * 512, 512);
            if (!std::equal(head.begin(), head.end(), card.photos[i].begin())) continue;
            WritePreviewFiles(platform, table, entry, "C:\\preview\\");
            EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), card.photos[i]) << i;
            ++shown;
        }
    }
    EXPECT_GE(shown, 2);
}

// A photo whose chain the card's table holds is previewed through it, as Save reads it, also
// where no search for pieces would find its continuation: the card's end wraps to its start.
TEST(PiecedCard, ThePreviewReadsAPhotoThroughTheChainTheCardHolds) {
    TempDir tmp;
    const std::string image = tmp.file("card.img");
    testing::MakeFatImage(image, 32, 66600, 1);
    const testing::FatGeometry geometry = testing::ReadGeometryWithMinfo(image);
    const Bytes first = testing::MakeJpeg(120, 90, 1), photo = testing::MakeJpeg(420, 300, 3);
    const std::string scratch = tmp.file("photo");
    testing::WriteFileBytes(scratch, first);
    testing::CopyIntoImage(image, scratch, "::/IMG_0001.JPG");
    // The next free cluster is looked for from the card's last two: the photo wraps to the start.
    const auto hint = static_cast<std::uint32_t>(geometry.totalClusters + 2 - 2);
    testing::WriteBytesAt(image, 512 + 0x1EC, Bytes{std::uint8_t(hint), std::uint8_t(hint >> 8), std::uint8_t(hint >> 16), 0});
    testing::WriteFileBytes(scratch, photo);
    testing::CopyIntoImage(image, scratch, "::/IMG_0002.JPG");

    ScannedImage scanned(tmp, image);
    PosixPlatform& platform = scanned.platform;
    const FoundPhotoTable& table = scanned.table;
    ASSERT_EQ(table.size(), 2u);
    const std::size_t last = table[0].StartSector > table[1].StartSector ? 0 : 1;
    ASSERT_GE(table[last].StartSector, geometry.dataStartSector + geometry.totalClusters - 2);  // in the last clusters
    fs::create_directory(tmp.file("preview"));
    WritePreviewFiles(platform, table, last, "C:\\preview\\");
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), photo);
}

}  // namespace
}  // namespace kelvara
