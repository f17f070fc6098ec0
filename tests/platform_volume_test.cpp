// Raw volumes through the POSIX platform: read-only opens, 64-bit positions, reads clamped to
// a partition, an image changing under an open handle, and the emulated VWIN32 disk service.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "diskio/read_sectors.h"
#include "platform/low_memory.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace kelvara {
namespace {

using testing::TempDir;

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 512);
    return bytes;
}

PosixPlatform ImagePlatform(const TempDir& dir, const std::string& image, DWORD platformId = VER_PLATFORM_WIN32_NT) {
    return PosixPlatform({{{image}}, platformId, dir.path(), dir.path()});
}

TEST(PlatformVolume, OpensReadOnlyWhateverIsAskedAndNeverWrites) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 12, 4000);
    const auto before = testing::ReadBytesAt(image, 0, 4000 * 512);
    ::chmod(image.c_str(), 0444);  // a user who may only read the card can still scan it
    auto platform = ImagePlatform(dir, image);

    const HANDLE volume = platform.CreateFileA("\\\\.\\d:", GENERIC_READ | GENERIC_WRITE, kShare, OPEN_EXISTING, 0);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    const std::vector<std::uint8_t> junk(512, 0xEE);
    EXPECT_FALSE(platform.WriteFile(volume, junk, written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(platform.CloseHandle(volume));
    EXPECT_FALSE(platform.CloseHandle(volume));
    EXPECT_EQ(testing::ReadBytesAt(image, 0, 4000 * 512), before);

    EXPECT_EQ(platform.CreateFileA("\\\\.\\C:", GENERIC_READ, kShare, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.CreateFileA("\\\\.\\Q:", GENERIC_READ, kShare, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(PlatformVolume, SeeksPastFourGibibytesThroughTheHighPart) {
    TempDir dir;
    const std::string image = dir.file("big.img");
    const std::int64_t far = (std::int64_t{4} << 30) + 3 * 512;  // sector 8,388,611
    const auto marker = Pattern(512, 0x31);
    testing::WriteBytesAt(image, far, marker);  // sparse: costs no disk
    auto platform = ImagePlatform(dir, image);

    const HANDLE volume = platform.CreateFileA("\\\\.\\D:", GENERIC_READ, kShare, OPEN_EXISTING, 0);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    LONG high = static_cast<LONG>(far >> 32);
    EXPECT_EQ(platform.SetFilePointer(volume, static_cast<LONG>(far & 0xFFFFFFFF), &high, FILE_BEGIN), 3u * 512);
    EXPECT_EQ(high, 1);
    std::vector<std::uint8_t> got(512);
    DWORD read = 0;
    ASSERT_TRUE(platform.ReadFile(volume, got, read));
    EXPECT_EQ(read, 512u);
    EXPECT_EQ(got, marker);

    high = -1;  // -512 from the current position, as a 64-bit move
    EXPECT_EQ(platform.SetFilePointer(volume, -1024, &high, FILE_CURRENT), 2u * 512);
    EXPECT_EQ(high, 1);
    high = -1;
    EXPECT_EQ(platform.SetFilePointer(volume, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(platform.GetLastError(), ERROR_NEGATIVE_SEEK);
    // Without a high part a position past 4 GiB cannot be reported, so it is refused.
    EXPECT_EQ(platform.SetFilePointer(volume, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    platform.CloseHandle(volume);
}

TEST(PlatformVolume, ReadsStopAtTheEndOfThePartition) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeMbrImage(image, 12000, {{63, 5000}, {5063, 6000}});
    auto platform = ImagePlatform(dir, image);

    const HANDLE volume = platform.CreateFileA("\\\\.\\D:", GENERIC_READ, kShare, OPEN_EXISTING, 0);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.SetFilePointer(volume, 4999 * 512, nullptr, FILE_BEGIN), 4999u * 512);
    std::vector<std::uint8_t> run(4 * 512, 0x77);
    DWORD read = 0;
    ASSERT_TRUE(platform.ReadFile(volume, run, read));
    ASSERT_EQ(read, 512u);  // the last sector only, not the next partition's boot sector
    EXPECT_TRUE(std::equal(run.begin(), run.begin() + 512, testing::ReadBytesAt(image, (63 + 4999) * 512, 512).begin()));
    ASSERT_TRUE(platform.ReadFile(volume, run, read));
    EXPECT_EQ(read, 0u);
    platform.CloseHandle(volume);
}

TEST(PlatformVolume, ImageShrinkingUnderAnOpenHandleGivesShortReads) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 12, 4000);
    auto platform = ImagePlatform(dir, image);
    const HANDLE volume = platform.CreateFileA("\\\\.\\D:", GENERIC_READ, kShare, OPEN_EXISTING, 0);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    ASSERT_EQ(::truncate(image.c_str(), 1000 * 512), 0);
    platform.SetFilePointer(volume, 999 * 512, nullptr, FILE_BEGIN);
    std::vector<std::uint8_t> run(8 * 512);
    DWORD read = 12345;
    if (platform.ReadFile(volume, run, read)) {
        EXPECT_EQ(read, 512u);
    }
    // Deleted, the image is a card taken out: its bytes are not read on through the handle held.
    std::filesystem::remove(image);
    platform.SetFilePointer(volume, 0, nullptr, FILE_BEGIN);
    EXPECT_FALSE(platform.ReadFile(volume, run, read));
    EXPECT_EQ(platform.GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    platform.CloseHandle(volume);
}

// The 9x service, driven by hand: a DISKIO block and a buffer in low memory, registers in and out.
class Vwin32Service : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = dir_.file("card.img");
        testing::MakeFatImage(image_, 12, 4000);
        testing::WriteBytesAt(image_, 5 * 512, Pattern(2 * 512, 0x40));
        platform_ = std::make_unique<PosixPlatform>(
            PosixPlatform::Options{{{image_}}, VER_PLATFORM_WIN32_WINDOWS, dir_.path(), dir_.path()});
        device_ = platform_->CreateFileA("\\\\.\\VWIN32", GENERIC_READ, kShare, OPEN_EXISTING, 0);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { platform_->CloseHandle(device_); }

    static void Put32(std::uint8_t* at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static std::uint32_t Get32(const std::uint8_t* at) {
        return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
    }
    static void PutDiskIo(LowMemory& block, std::uint32_t sector, std::int16_t count, std::uint32_t buffer) {
        std::uint8_t* b = block.bytes().data();
        Put32(b, sector);
        b[4] = static_cast<std::uint8_t>(count);
        b[5] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(count) >> 8);
        Put32(b + 6, buffer);
    }
    // Runs the service; returns the flags register it gave back (bit 0: carry).
    std::uint32_t Call(std::uint32_t diskIo, std::uint32_t drive, std::uint32_t esi = 0) {
        std::uint8_t registers[28] = {};
        Put32(registers + 0, diskIo);
        Put32(registers + 4, drive);
        Put32(registers + 8, 0xFFFFFFFF);
        Put32(registers + 12, 0x7305);
        Put32(registers + 20, esi);
        DWORD returned = 0;
        EXPECT_TRUE(platform_->DeviceIoControl(device_, VWIN32_DIOC_DOS_DRIVEINFO, registers, registers, returned));
        EXPECT_EQ(returned, 28u);
        eax_ = Get32(registers + 12);
        return Get32(registers + 24);
    }

    TempDir dir_;
    std::string image_;
    std::unique_ptr<PosixPlatform> platform_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    std::uint32_t eax_ = 0;
    static constexpr std::uint32_t kDriveD = 4;
};

TEST_F(Vwin32Service, ReadsSectorsIntoLowMemory) {
    LowMemory block(*platform_, 12 + 2 * 512);
    ASSERT_TRUE(block.ok());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.bytes().data()), block.address());
    EXPECT_TRUE(std::all_of(block.bytes().begin(), block.bytes().end(), [](std::uint8_t b) { return b == 0; }));
    PutDiskIo(block, 5, 2, block.address(12));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 0u);
    EXPECT_TRUE(std::equal(block.bytes().begin() + 12, block.bytes().end(), Pattern(1024, 0x40).begin()));
}

TEST_F(Vwin32Service, RefusesAddressesItDidNotHandOutAndBadRequests) {
    LowMemory block(*platform_, 12 + 512);
    PutDiskIo(block, 5, 1, block.address(12));
    EXPECT_EQ(Call(0x00001000, kDriveD) & 1, 1u) << "a DISKIO block at an address never handed out";
    EXPECT_EQ(Call(block.address(block.bytes().size() - 4), kDriveD) & 1, 1u) << "a DISKIO block running off its block";

    PutDiskIo(block, 5, 2, block.address(12));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u) << "a buffer too small for the sectors asked";
    std::vector<std::uint8_t> stack(1024);
    PutDiskIo(block, 5, 1, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(stack.data())));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u) << "a buffer outside low memory";
    PutDiskIo(block, 5, 0, block.address(12));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u) << "no sectors";
    PutDiskIo(block, 5, -1, block.address(12));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u) << "negative count";

    PutDiskIo(block, 5, 1, block.address(12));
    EXPECT_EQ(Call(block.address(), 3) & 1, 1u) << "C: is a folder, not a volume";
    EXPECT_EQ(Call(block.address(), 20) & 1, 1u) << "a drive that is not there";
    const auto before = testing::ReadBytesAt(image_, 0, 4000 * 512);
    EXPECT_EQ(Call(block.address(), kDriveD, 1) & 1, 1u) << "writes are refused";
    EXPECT_EQ(testing::ReadBytesAt(image_, 0, 4000 * 512), before);

    // A freed block is no longer a target, even while its memory is kept for reuse.
    std::uint32_t freed = 0;
    {
        LowMemory gone(*platform_, 2 * 4096);
        freed = gone.address();
    }
    PutDiskIo(block, 5, 1, freed);
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u) << "a buffer in a freed block";
}

TEST_F(Vwin32Service, ReadPastTheEndSetsCarryAndKeepsWhatExists) {
    LowMemory block(*platform_, 12 + 2 * 512);
    PutDiskIo(block, 3999, 2, block.address(12));
    EXPECT_EQ(Call(block.address(), kDriveD) & 1, 1u);
    const auto last = testing::ReadBytesAt(image_, 3999 * 512, 512);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), block.bytes().begin() + 12));
    EXPECT_TRUE(std::all_of(block.bytes().begin() + 12 + 512, block.bytes().end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(Vwin32Service, ReusedLowMemoryComesBackZeroed) {
    std::uint32_t address = 0;
    {
        LowMemory first(*platform_, 600);
        std::memset(first.bytes().data(), 0xAB, 600);
        address = first.address();
    }
    LowMemory second(*platform_, 600);
    EXPECT_EQ(second.address(), address);  // the small-block cache at work
    EXPECT_TRUE(std::all_of(second.bytes().begin(), second.bytes().end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(PlatformVolume, Vwin32ExistsOnlyForThe9xFamily) {
    TempDir dir;
    auto platform = ImagePlatform(dir, dir.file("card.img"));
    EXPECT_EQ(platform.CreateFileA("\\\\.\\VWIN32", GENERIC_READ, kShare, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(PlatformVolume, NtAnd9xReadersSeeTheSameBytes) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeMbrImage(image, 12000, {{63, 5000}, {5063, 6000}});
    auto nt = ImagePlatform(dir, image);
    auto win98 = ImagePlatform(dir, image, VER_PLATFORM_WIN32_WINDOWS);
    for (const auto& [sector, count] : std::vector<std::pair<int, int>>{{0, 512}, {7, 1000}, {5990, 20 * 512}}) {
        const auto fromNt = ReadSectors(nt, "E:\\", sector, 0, count);
        EXPECT_EQ(fromNt, ReadSectors(win98, "e:\\", sector, 0, count)) << sector;
        const auto expected = testing::ReadBytesAt(image, (5063 + sector) * 512, static_cast<std::size_t>(count));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fromNt.begin())) << sector;
    }
}

}  // namespace
}  // namespace kelvara
