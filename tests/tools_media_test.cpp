// The disk image and the disk wipe on real FAT volume images reached through the POSIX
// platform: a mounted card (fusefat, as root), a card whose root is a plain folder, and a
// destination that fills up (tmpfs, as root).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "diskio/get_total_sectors.h"
#include "platform/posix/posix_platform.h"
#include "destination/destination.h"
#include "diskio/sector_source.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fat_image.h"
#include "tests/support/mounts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::FakeProgress;
using testing::TempDir;
using testing::Bytes;
using testing::ReadFileBytes;

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A FAT12 card with recognisable bytes across its data area.
std::string MakeCard(const TempDir& tmp, std::int64_t sectors = 8192, int fatBits = 12) {
    const std::string image = tmp.file("card.img");
    testing::MakeFatImage(image, fatBits, sectors);
    Bytes pattern(sectors * 512 / 2);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i / 512 + i % 251);
    testing::WriteBytesAt(image, sectors * 512 / 2, pattern);
    return image;
}

std::unique_ptr<PosixPlatform> Attach(const std::string& image, const std::string& home, const std::string& root = {}) {
    PosixPlatform::Options options;
    options.images.push_back(AttachedImage(image, 0, root));
    options.home = home;
    return std::make_unique<PosixPlatform>(options);
}

// The image of drive D's first `total` sectors into `folder`.
ImageReport ImageOfD(Platform& platform, std::int64_t total, const std::string& folder, FakeProgress& progress) {
    Destination destination(platform, folder, {"D:\\"});
    SectorSource card(platform, "D:\\");
    return MakeImage(card, total, destination, progress);
}

bool WholeBlocks(const Bytes& fill) {
    for (std::size_t i = 0; i < fill.size(); ++i)
        if (fill[i] != (i % 513 < 511 ? 0xFF : 0x00)) return false;
    return true;
}

TEST(ImageOnMedia, TheImageIsTheVolumesFirstTotalSectors) {
    TempDir tmp;
    const std::string image = MakeCard(tmp);
    fs::create_directory(tmp.file("out"));
    Write(tmp.file("out/TOBRN.IMG"), std::string(9000 * 512, 'x'));  // an older, longer image
    auto platform = Attach(image, tmp.path());
    FakeProgress progress;
    const std::int32_t total = GetTotalSectors(*platform, "D:\\");
    ASSERT_GT(total, 4000);

    const ImageReport report = ImageOfD(*platform, total, "C:\\out", progress);
    EXPECT_TRUE(report.complete) << report.failure;
    EXPECT_TRUE(report.unreadable.empty());
    EXPECT_EQ(ReadFileBytes(tmp.file("out/TOBRN (2).IMG")), testing::ReadBytesAt(image, 0, std::size_t(total) * 512));
    EXPECT_EQ(fs::file_size(tmp.file("out/TOBRN.IMG")), std::uintmax_t{9000} * 512);  // the older image is kept
    EXPECT_EQ(progress.done, total);
}

TEST(ImageOnMedia, AFullDestinationKeepsWhatFitAndSaysSo) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempDir tmp;
    const std::string image = MakeCard(tmp);
    const std::string small = tmp.file("small");
    fs::create_directory(small);
    if (std::system(("mount -t tmpfs -o size=1m tmpfs " + small).c_str()) != 0) GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        std::string dir;
        ~Unmount() { std::system(("umount " + dir).c_str()); }
    } unmount{small};

    auto platform = Attach(image, small);
    FakeProgress progress;
    const std::int32_t total = GetTotalSectors(*platform, "D:\\");
    const ImageReport report = ImageOfD(*platform, total, "C:\\", progress);

    ASSERT_FALSE(report.complete);
    ASSERT_TRUE(report.created) << report.failure;
    const std::string text = IncompleteImageText(report, report.path);
    const auto at = text.find("it holds ");
    ASSERT_NE(at, std::string::npos) << text;
    const std::int64_t held = std::stoll(text.substr(at + 9));
    EXPECT_NE(text.find(" of " + std::to_string(total) + " sectors"), std::string::npos) << text;
    EXPECT_NE(text.find("incomplete"), std::string::npos);
    EXPECT_GT(held, 0);
    EXPECT_LT(held, total);
    EXPECT_FALSE(fs::exists(small + "/TOBRN.IMG"));  // only a whole image bears that name
    const Bytes kept = ReadFileBytes(small + "/TOBRN.IMG.partial");
    ASSERT_GE(kept.size(), std::size_t(held) * 512);
    EXPECT_EQ(Bytes(kept.begin(), kept.begin() + held * 512), testing::ReadBytesAt(image, 0, std::size_t(held) * 512));
}

TEST(WipeOnMedia, ARootFolderLosesItsFilesAndLinksButNothingOutsideIt) {
    TempDir tmp;
    const std::string image = MakeCard(tmp);
    const std::string root = tmp.file("card"), outside = tmp.file("elsewhere");
    fs::create_directories(root + "/DCIM/100KELVA");
    fs::create_directories(outside);
    Write(root + "/IMG_0001.JPG", "photo");
    Write(root + "/NOTES.TXT", "notes");
    Write(root + "/DCIM/100KELVA/IMG_0002.JPG", "kept");
    Write(outside + "/victim.txt", "must stay");
    fs::create_symlink(outside + "/victim.txt", root + "/Wipe.img");  // a planted fill file
    fs::create_directory_symlink(outside, root + "/LINKDIR");
    auto platform = Attach(image, tmp.path(), root);
    FakeProgress progress;
    ASSERT_EQ(CheckWipe(*platform, "D:\\"), WipeCheck::Ready);
    const WipeReport report = WipeDrive(*platform, "D:\\", 200, progress);
    EXPECT_EQ(report.deleteFailed, 0) << report.firstDeleteFailure;
    EXPECT_TRUE(report.createFailure.empty()) << report.createFailure;
    EXPECT_FALSE(report.fillShort);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"DCIM", "Wipe.img"}));
    EXPECT_FALSE(fs::is_symlink(root + "/Wipe.img"));
    const Bytes fill = ReadFileBytes(root + "/Wipe.img");
    EXPECT_EQ(fill.size(), 200u * 513);
    EXPECT_TRUE(WholeBlocks(fill));
    EXPECT_EQ(ReadFileBytes(root + "/DCIM/100KELVA/IMG_0002.JPG"), Bytes({'k', 'e', 'p', 't'}));
    EXPECT_EQ(ReadFileBytes(outside + "/victim.txt").size(), 9u);
    EXPECT_TRUE(fs::exists(outside));
}

TEST(WipeOnMedia, AMountedCardIsFilledToTheBrimWithoutAFalseAlarm) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting with fusefat needs root";
    TempDir tmp;
    const std::string image = tmp.file("card.img");
    testing::MakeFatImage(image, 12, 4096);
    Write(tmp.file("a.jpg"), std::string(20000, 'a'));
    testing::CopyIntoImage(image, tmp.file("a.jpg"), "::/IMG_0001.JPG");
    testing::CopyIntoImage(image, tmp.file("a.jpg"), "::/DCIM/100KELVA/IMG_0002.JPG");
    const std::string dir = tmp.file("mnt");
    testing::FuseFatMount mount(image, dir);
    if (!mount.ok()) GTEST_SKIP() << "fusefat could not mount the image";

    auto platform = Attach(image, tmp.path(), dir);
    FakeProgress progress;
    const WipeReport report = WipeDrive(*platform, "D:\\", GetTotalSectors(*platform, "D:\\"), progress);
    EXPECT_EQ(report.deleteFailed, 0) << report.firstDeleteFailure;
    EXPECT_TRUE(report.createFailure.empty()) << report.createFailure;
    EXPECT_FALSE(report.fillShort) << "a full card is a good end";
    EXPECT_FALSE(fs::exists(dir + "/IMG_0001.JPG"));
    EXPECT_EQ(ReadFileBytes(dir + "/DCIM/100KELVA/IMG_0002.JPG").size(), 20000u);
    const Bytes fill = ReadFileBytes(dir + "/Wipe.img");
    EXPECT_GT(fill.size(), 1'500'000u);
    EXPECT_TRUE(WholeBlocks(fill));
    DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(platform->GetDiskFreeSpaceA("D:\\", spc, bps, freeClusters, clusters));
    EXPECT_EQ(freeClusters, 0u);
}

}  // namespace
}  // namespace kelvara
