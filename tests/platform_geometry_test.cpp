// GetDiskFreeSpaceA on real FAT and exFAT images, checked against mtools and exfatprogs, on
// boot sectors that lie, and from a mount point when the volume itself cannot be read.

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/mounts.h"
#include "tests/support/temp_dir.h"

namespace kelvara {
namespace {

using testing::TempDir;

struct Answer {
    bool ok = false;
    DWORD perCluster = 0, perSector = 0, free = 0, total = 0;
};

Answer FreeSpace(Platform& platform, const std::string& root) {
    Answer a;
    a.ok = platform.GetDiskFreeSpaceA(root, a.perCluster, a.perSector, a.free, a.total);
    return a;
}

PosixPlatform ImagePlatform(const TempDir& dir, const std::string& image, const std::string& root = {}) {
    return PosixPlatform({{{image, 0, root}}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()});
}

void PutFile(const TempDir& dir, const std::string& image, std::size_t bytes) {
    const std::string host = dir.file("photo.jpg");
    std::ofstream(host, std::ios::binary) << std::string(bytes, 'x');
    testing::CopyIntoImage(image, host, "::/DCIM/100CANON/IMG_0001.JPG");
}

struct FatCase {
    int bits;
    std::int64_t sectors;
    int sectorsPerCluster;
};

class PlatformFatGeometry : public ::testing::TestWithParam<FatCase> {};

TEST_P(PlatformFatGeometry, MatchesMtools) {
    const FatCase c = GetParam();
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, c.bits, c.sectors, c.sectorsPerCluster);
    PutFile(dir, image, 100000);  // so that not every cluster is free
    const auto expected = testing::ReadGeometryWithMinfo(image);

    auto platform = ImagePlatform(dir, image);
    const Answer a = FreeSpace(platform, "D:\\");
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.perSector, 512u);
    EXPECT_EQ(a.perCluster, static_cast<DWORD>(expected.sectorsPerCluster));
    EXPECT_EQ(a.total, expected.totalClusters);
    EXPECT_EQ(a.free, expected.freeClusters);
    EXPECT_LT(a.free, a.total);
}

INSTANTIATE_TEST_SUITE_P(Fat, PlatformFatGeometry,
                         ::testing::Values(FatCase{12, 4000, 0}, FatCase{12, 2879, 1}, FatCase{16, 40000, 0},
                                           FatCase{16, 131072, 4}, FatCase{32, 70000, 1}, FatCase{32, 300000, 2}));

TEST(PlatformGeometry, ExfatMatchesDumpExfat) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    if (!testing::MakeExfatImage(image, 40960)) GTEST_SKIP() << "mkfs.exfat is not installed";
    const auto expected = testing::ReadExfatGeometry(image);
    auto platform = ImagePlatform(dir, image);
    const Answer a = FreeSpace(platform, "D:\\");
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.perCluster, static_cast<DWORD>(expected.sectorsPerCluster));
    EXPECT_EQ(a.total, expected.totalClusters);
    EXPECT_EQ(a.free, expected.freeClusters);
}

TEST(PlatformGeometry, NamesThatAreNoDriveFail) {
    TempDir dir;
    auto platform = ImagePlatform(dir, dir.file("missing.img"));
    EXPECT_FALSE(FreeSpace(platform, "Select Drive").ok);
    EXPECT_FALSE(FreeSpace(platform, "Q:\\").ok);
    EXPECT_FALSE(FreeSpace(platform, "D:\\").ok);  // the image is not there
    EXPECT_NE(platform.GetLastError(), 0u);
    EXPECT_TRUE(FreeSpace(platform, "C:\\").ok);  // folders answer from statvfs
}

// Changes bytes of sector 0 and asks again: a lie gives a failure, never a crash.
class LyingBootSector : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = dir_.file("card.img");
        testing::MakeFatImage(image_, 16, 40000);
        original_ = testing::ReadBytesAt(image_, 0, 512);
        platform_ = std::make_unique<PosixPlatform>(
            PosixPlatform::Options{{{image_}}, VER_PLATFORM_WIN32_NT, dir_.path(), dir_.path()});
    }
    Answer With(std::size_t at, std::vector<std::uint8_t> bytes) {
        auto sector = original_;
        std::copy(bytes.begin(), bytes.end(), sector.begin() + static_cast<std::ptrdiff_t>(at));
        testing::WriteBytesAt(image_, 0, sector);
        return FreeSpace(*platform_, "D:\\");
    }
    std::uint64_t ImageBytes() const { return std::filesystem::file_size(image_); }

    TempDir dir_;
    std::string image_;
    std::vector<std::uint8_t> original_;
    std::unique_ptr<PosixPlatform> platform_;
};

TEST_F(LyingBootSector, ImpossibleFieldsFail) {
    EXPECT_TRUE(With(0, {}).ok);
    EXPECT_FALSE(With(13, {0}).ok) << "zero sectors per cluster";
    EXPECT_FALSE(With(13, {3}).ok) << "sectors per cluster not a power of two";
    EXPECT_FALSE(With(11, {0, 0}).ok) << "zero bytes per sector";
    EXPECT_FALSE(With(11, {0x00, 0x03}).ok) << "768 bytes per sector";
    EXPECT_FALSE(With(19, {0xFF, 0xFF}).ok) << "more sectors than the image holds";
    EXPECT_FALSE(With(22, {0xFF, 0xFF}).ok) << "FATs larger than the volume";
    EXPECT_FALSE(With(16, {0}).ok) << "no FAT";
    EXPECT_FALSE(With(0, {0x00}).ok) << "no jump instruction";
}

TEST_F(LyingBootSector, TruncatedImageFails) {
    ::truncate(image_.c_str(), 100);
    EXPECT_FALSE(FreeSpace(*platform_, "D:\\").ok);
    ::truncate(image_.c_str(), 2048);  // the boot sector is there, the FAT is not
    EXPECT_FALSE(FreeSpace(*platform_, "D:\\").ok);
}

TEST_F(LyingBootSector, RandomBytesNeverGiveMoreThanTheImage) {
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> byte(0, 255), position(0, 63), count(1, 6);
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::uint8_t> sector = original_;
        if (round % 3 == 0) {
            for (auto& b : sector) b = static_cast<std::uint8_t>(byte(random));  // noise
        } else {
            for (int n = count(random); n > 0; --n) sector[position(random)] = static_cast<std::uint8_t>(byte(random));
        }
        testing::WriteBytesAt(image_, 0, sector);
        const Answer a = FreeSpace(*platform_, "D:\\");
        if (!a.ok) continue;
        EXPECT_LE(std::uint64_t{a.perCluster} * a.perSector * a.total, ImageBytes()) << "round " << round;
        EXPECT_LE(a.free, a.total);
    }
}

TEST(PlatformGeometry, ExfatThatLiesFailsOrCountsNothingFree) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    if (!testing::MakeExfatImage(image, 40960)) GTEST_SKIP() << "mkfs.exfat is not installed";
    auto platform = ImagePlatform(dir, image);
    const auto good = testing::ReadBytesAt(image, 0, 512);

    auto sector = good;
    sector[92] = sector[93] = sector[94] = sector[95] = 0xFF;  // more clusters than the volume
    testing::WriteBytesAt(image, 0, sector);
    EXPECT_FALSE(FreeSpace(platform, "D:\\").ok);

    sector = good;
    sector[96] = 0xF0;  // root folder in a cluster that does not exist
    sector[97] = sector[98] = sector[99] = 0xFF;
    testing::WriteBytesAt(image, 0, sector);
    EXPECT_FALSE(FreeSpace(platform, "D:\\").ok);

    // The root folder's first entries wiped: no bitmap to be found, so nothing counts as free.
    testing::WriteBytesAt(image, 0, good);
    const auto layout = testing::ReadExfatGeometry(image);
    const std::uint32_t rootCluster = good[96] | good[97] << 8 | good[98] << 16 | static_cast<std::uint32_t>(good[99]) << 24;
    const std::int64_t rootOffset = (layout.dataStartSector + std::int64_t{rootCluster - 2} * layout.sectorsPerCluster) * 512;
    testing::WriteBytesAt(image, rootOffset, std::vector<std::uint8_t>(32 * 4, 0xC1));
    const Answer a = FreeSpace(platform, "D:\\");
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.free, 0u);
    EXPECT_EQ(a.total, layout.totalClusters);
}

TEST(PlatformGeometry, MountedImageAnswersFromItsBootSectorAndFromTheMountWhenUnreadable) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "needs root";
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 16, 40000);
    testing::FuseFatMount mount(image, dir.file("mnt"));
    if (!mount.ok()) GTEST_SKIP() << "fusefat could not mount the image";
    const auto expected = testing::ReadGeometryWithMinfo(image);

    // Readable: the boot sector wins over fusefat's statvfs, which is wrong for geometry.
    auto readable = ImagePlatform(dir, image, mount.dir());
    const Answer fromVolume = FreeSpace(readable, "D:\\");
    ASSERT_TRUE(fromVolume.ok);
    EXPECT_EQ(std::int64_t{fromVolume.perCluster} * fromVolume.total, expected.sectorsPerCluster * expected.totalClusters);

    // Unreadable (the attached path is gone): statvfs of the mount point.
    auto unreadable = ImagePlatform(dir, dir.file("gone.img"), mount.dir());
    const Answer fromMount = FreeSpace(unreadable, "D:\\");
    ASSERT_TRUE(fromMount.ok);
    struct statvfs info {};
    ASSERT_EQ(::statvfs(mount.dir().c_str(), &info), 0);
    EXPECT_EQ(fromMount.perSector, 512u);
    EXPECT_EQ(std::uint64_t{fromMount.perCluster} * 512, std::max<std::uint64_t>(info.f_bsize, 512));
    EXPECT_EQ(std::uint64_t{fromMount.total} * fromMount.perCluster * 512, std::uint64_t{info.f_blocks} * info.f_frsize);
}

}  // namespace
}  // namespace kelvara
