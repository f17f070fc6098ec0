// Saving and previewing photos found on a real FAT card through the POSIX platform: the
// photos were copied onto the card and deleted again, and come back byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "diskio/get_total_sectors.h"
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
    std::vector<std::int32_t> all;
    for (std::size_t i = 0; i < card.photos.size(); ++i) all.push_back(static_cast<std::int32_t>(i));

    const SaveReport report = SavePhotos(*platform, host, table, all, "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_TRUE(host.messages.empty());
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = EntryName("Image", static_cast<int>(i), card.photos[i].gif ? ".GIF" : ".JPG");
        EXPECT_EQ(ReadFileBytes(tmp.file("out/" + name)), card.photos[i].bytes) << card.photos[i].name;
    }
}

TEST_F(CardTest, PreviewFilesHoldThePhotoAndAPagePointingAtIt) {
    ASSERT_GE(host.entries.size(), 2u);
    fs::create_directory(tmp.file("preview"));
    const std::string folder = "C:\\preview\\";
    const std::string page = WritePreviewFiles(*platform, table[1], folder);
    EXPECT_EQ(page, folder + "TB001.htm");
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), card.photos[1].bytes);
    const std::string text = PreviewPageText(folder);
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB001.htm")), Bytes(text.begin(), text.end()));

    // A shorter photo after a longer one leaves no tail.
    const std::size_t shorter = card.photos[0].bytes.size() < card.photos[1].bytes.size() ? 0 : 1;
    const std::size_t longer = 1 - shorter;
    WritePreviewFiles(*platform, table[longer], folder);
    WritePreviewFiles(*platform, table[shorter], folder);
    EXPECT_EQ(ReadFileBytes(tmp.file("preview/TB.jpg")), card.photos[shorter].bytes);

    // A link planted under the image's name is replaced, never written through.
    const std::string victim = tmp.file("victim");
    std::ofstream(victim) << "untouched";
    fs::remove(tmp.file("preview/TB.jpg"));
    fs::create_symlink(victim, tmp.file("preview/TB.jpg"));
    WritePreviewFiles(*platform, table[0], folder);
    EXPECT_FALSE(fs::is_symlink(tmp.file("preview/TB.jpg")));
    EXPECT_EQ(ReadFileBytes(victim).size(), 9u);
}

}  // namespace
}  // namespace kelvara
