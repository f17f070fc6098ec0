// Where photos end by their own structure (photos drawn by Qt, and the structures cameras
// write), and saving and previewing photos found on a real FAT card through the POSIX
// platform: the photos were copied onto the card and deleted again, and come back byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "diskio/get_total_sectors.h"
#include "photos/photo_structure.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tests/support/test_card.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::FakeHost;
using testing::TempDir;
using testing::Bytes;
using testing::ReadFileBytes;

std::optional<std::uint64_t> Length(PhotoKind kind, const Bytes& bytes) {
    MemoryBytes source(bytes);
    return StructuralLength(kind, source);
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
        EXPECT_EQ(Length(PhotoKind::Jpeg, jpeg), jpeg.size());
        EXPECT_EQ(Length(PhotoKind::Jpeg, Then(jpeg, clip)), jpeg.size());  // a clip after it is not the photo
    }
    const Bytes progressive = jpegs[2];
    int scans = 0;
    for (std::size_t i = 0; i + 1 < progressive.size(); ++i) scans += progressive[i] == 0xFF && progressive[i + 1] == 0xDA;
    EXPECT_GT(scans, 1) << "not a progressive JPEG";

    const Bytes gifs[] = {testing::MakeGif89a(20, 10, 1), testing::MakeAnimatedGif89a(24, 16, 2, 3)};
    for (const Bytes& gif : gifs) {
        EXPECT_EQ(Length(PhotoKind::Gif, gif), gif.size());
        EXPECT_EQ(Length(PhotoKind::Gif, Then(gif, clip)), gif.size());
    }
}

TEST(PhotoStructure, AStructureThatLeadsNowhereGivesNoEnd) {
    const Bytes photo = testing::MakeJpeg(120, 90, 7);
    // Cut short and followed by zeros, then by the next photo: the walk meets its signature.
    Bytes cut(photo.begin(), photo.begin() + static_cast<long>(photo.size() / 2));
    cut.resize(cut.size() + 700, 0);
    EXPECT_EQ(Length(PhotoKind::Jpeg, Then(cut, photo)), std::nullopt);
    EXPECT_EQ(Length(PhotoKind::Jpeg, cut), std::nullopt);                 // the bytes end first
    for (int seed = 0; seed < 200; ++seed) {                               // signatures by chance
        Bytes chance = Clip(20000, seed);
        chance[0] = 0xFF, chance[1] = 0xD8;
        EXPECT_EQ(Length(PhotoKind::Jpeg, chance), std::nullopt) << seed;
        std::copy_n("GIF89a", 6, chance.begin());
        EXPECT_EQ(Length(PhotoKind::Gif, chance), std::nullopt) << seed;
    }
    // A Multi-Picture index whose preview is not where it says, or not whole: the photo ends
    // at its own end.
    Bytes moved = testing::MakeJpegWithPreview(80, 60, 5);
    const std::size_t photoEnd = moved.size() - testing::MakeJpeg(160, 120, 505).size();
    EXPECT_EQ(Length(PhotoKind::Jpeg, Bytes(moved.begin(), moved.end() - 10)), photoEnd);
    moved[photoEnd] = 0;
    EXPECT_EQ(Length(PhotoKind::Jpeg, moved), photoEnd);
}

class CardTest : public ::testing::Test {
protected:
    void SetUp() override {
        card = testing::MakePhotoCard(tmp.file("card.img"), 11);
        PosixPlatform::Options options;
        options.images.push_back(AttachedImage(card.image));
        options.home = tmp.path();
        platform = std::make_unique<PosixPlatform>(options);
        host.drive = "D:\\";
        host.sectorsCaption = std::to_string(GetTotalSectors(*platform, "D:\\"));
        ScanWinNT({*platform, host, table, prefix});
        host.messages.clear();
    }

    TempDir tmp;
    testing::TestCard card;
    std::unique_ptr<PosixPlatform> platform;
    FakeHost host;
    FoundPhotoTable table;
    std::string prefix = "Image";
};

TEST_F(CardTest, SavedPhotosAreTheDeletedFilesByteForByte) {
    ASSERT_EQ(host.entries.size(), card.photos.size());
    fs::create_directory(tmp.file("out"));
    std::vector<std::int64_t> all;
    for (std::size_t i = 0; i < card.photos.size(); ++i) all.push_back(static_cast<std::int64_t>(i));

    const SaveReport report = SavePhotos(*platform, host, table, all, "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_TRUE(host.messages.empty());
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = EntryName("Image", static_cast<std::int64_t>(i), card.photos[i].gif ? PhotoKind::Gif : PhotoKind::Jpeg);
        EXPECT_EQ(ReadFileBytes(tmp.file("out/" + name)), card.photos[i].bytes) << card.photos[i].name;
    }
}

TEST_F(CardTest, PreviewFilesHoldThePhotoAndAPagePointingAtIt) {
    ASSERT_GE(host.entries.size(), 2u);
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

}  // namespace
}  // namespace kelvara
