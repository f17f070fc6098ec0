// The sector reader against the recording double: the calls each path makes, the
// arithmetic limits, and what comes back for bad and missing sectors.

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "diskio/get_total_sectors.h"
#include "diskio/is_windows_nt.h"
#include "diskio/read_sectors.h"
#include "platform/vwin32_request.h"
#include "tests/support/fake_platform.h"

namespace kelvara {
namespace {

using testing::FakePlatform;

// A volume whose every byte tells where it lies: byte i holds (i * 7 + i / 512) mod 251.
std::uint8_t Pattern(std::int64_t i) { return static_cast<std::uint8_t>((i * 7 + i / 512) % 251); }

class ReaderTest : public ::testing::Test {
protected:
    ReaderTest() {
        auto& bytes = platform.AddVolume('E', 64);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = Pattern(static_cast<std::int64_t>(i));
    }
    void Expect(const SectorBuffer& got, std::int64_t from, std::size_t length) {
        ASSERT_EQ(got.size(), length);
        for (std::size_t i = 0; i < length; ++i) ASSERT_EQ(got[i], Pattern(from + static_cast<std::int64_t>(i))) << i;
    }
    FakePlatform platform;
};

TEST_F(ReaderTest, NtPathOpensTheVolumeReadOnlyMovesReadsOnceAndCloses) {
    const auto got = ReadSectors(platform, "e:\\", 3, 0, 512);
    Expect(got, 3 * 512, 512);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{
                                  "GetVersionExA(148)",
                                  "CreateFileA(\\\\.\\E:, 0x80000000, 3, 3, 0)",
                                  "SetFilePointer(1536, 0)",
                                  "ReadFile(512)",
                                  "CloseHandle()",
                              }));
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST_F(ReaderTest, PartialRequestsReadWholeSectorsAndReturnExactlyTheBytesAsked) {
    for (const int family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        SCOPED_TRACE(family);
        platform.platformId = static_cast<DWORD>(family);
        Expect(ReadSectors(platform, "E:\\", 0, 600, 100), 600, 100);      // two sectors, bytes 600..699
        Expect(ReadSectors(platform, "E:\\", 2, 0, 513), 2 * 512, 513);    // the first byte of the next sector
        Expect(ReadSectors(platform, "E:\\", 5, 0, 10), 5 * 512, 10);      // one sector, ten bytes
        Expect(ReadSectors(platform, "E:\\", 1, 0, 1000), 512, 1000);
    }
    platform.calls.clear();
    platform.platformId = VER_PLATFORM_WIN32_NT;
    ReadSectors(platform, "E:\\", 0, 600, 100);
    EXPECT_EQ(platform.CallsNamed("ReadFile"), std::vector<std::string>{"ReadFile(1024)"});
}

TEST_F(ReaderTest, BothFamiliesGiveTheSameBytesForTheSameRequests) {
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const std::int32_t first = static_cast<std::int32_t>(random() % 60);
        const std::int32_t offset = static_cast<std::int32_t>(random() % 700);
        const std::int32_t count = static_cast<std::int32_t>(1 + random() % 1500);
        platform.platformId = VER_PLATFORM_WIN32_NT;
        const auto nt = ReadSectors(platform, "E:\\", first, offset, count);
        platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
        const auto nine = ReadSectors(platform, "E:\\", first, offset, count);
        ASSERT_EQ(nt, nine) << first << " " << offset << " " << count;
    }
}

TEST_F(ReaderTest, TheFamilyIsAskedOnEveryReadAndOnlyId2IsNt) {
    for (const DWORD id : {0u, 1u, 2u, 3u}) {
        platform.platformId = id;
        EXPECT_EQ(IsWindowsNT(platform), id == VER_PLATFORM_WIN32_NT) << id;
        platform.calls.clear();
        ReadSectors(platform, "E:\\", 0, 0, 512);
        EXPECT_EQ(platform.CallsNamed("DeviceIoControl").size(), id == 2 ? 0u : 1u) << id;
        EXPECT_EQ(platform.CallsNamed("GetVersionExA").size(), 1u);
    }
}

TEST_F(ReaderTest, SectorsPast2GiBAreReachedWithTheHighPartOfTheMove) {
    // Sector 4,194,304 starts at byte 2^31; it lies past this small volume, so it reads as zeros.
    const auto got = ReadSectors(platform, "E:\\", 4194304, 0, 512);
    EXPECT_EQ(got, SectorBuffer(512, 0));
    EXPECT_EQ(platform.CallsNamed("SetFilePointer").at(0), "SetFilePointer(2147483648, 0)");
    platform.calls.clear();
    ReadSectors(platform, "E:\\", INT32_MAX, 0, 512);
    EXPECT_EQ(platform.CallsNamed("SetFilePointer").at(0), "SetFilePointer(1099511627264, 0)");
    // Cards of more than 2^31 sectors are sold: their sectors are numbered in 64 bits.
    platform.calls.clear();
    ReadSectors(platform, "E:\\", std::int64_t{1} << 33, 0, 512);
    EXPECT_EQ(platform.CallsNamed("SetFilePointer").at(0), "SetFilePointer(4398046511104, 0)");
    // The 9x service names a sector in 32 bits: one past that is refused, not wrapped.
    platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
    platform.calls.clear();
    EXPECT_EQ(ReadSectors(platform, "E:\\", UINT32_MAX, 0, 512), SectorBuffer(512, 0));
    try {
        ReadSectors(platform, "E:\\", std::int64_t{UINT32_MAX} + 1, 0, 512);
        ADD_FAILURE() << "no overflow";
    } catch (const DiskError& error) {
        EXPECT_EQ(error.kind(), DiskError::Kind::Overflow);
    }
    EXPECT_EQ(platform.CallsNamed("DeviceIoControl").size(), 1u);
}

TEST_F(ReaderTest, ArgumentsOutOfBoundsAreRefusedBeforeAnythingIsOpened) {
    auto kindOf = [&](const std::string& drive, std::int32_t first, std::int32_t offset, std::int32_t count) {
        try {
            ReadSectors(platform, drive, first, offset, count);
        } catch (const DiskError& error) {
            return error.kind();
        }
        ADD_FAILURE() << "no error";
        return DiskError::Kind::NoMemory;
    };
    for (const DWORD id : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        platform.platformId = id;
        platform.calls.clear();
        EXPECT_EQ(kindOf("E:\\", 0, INT32_MAX, 2), DiskError::Kind::Overflow);   // offset + count - 1
        EXPECT_EQ(kindOf("E:\\", 0, 0, INT32_MAX), DiskError::Kind::Overflow);   // sectors x 512
        EXPECT_EQ(kindOf("E:\\", 0, 0, 0), DiskError::Kind::BadArgument);
        EXPECT_EQ(kindOf("E:\\", 0, 0, -5), DiskError::Kind::BadArgument);
        EXPECT_EQ(kindOf("", 0, 0, 512), DiskError::Kind::BadArgument);
        EXPECT_EQ(kindOf("E:\\", -1, 0, 512), DiskError::Kind::BadArgument);
        EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
    }
}

TEST_F(ReaderTest, The9xServiceTakesAtMost32767SectorsACall) {
    platform.AddVolume('F', 32767);
    platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(ReadSectors(platform, "F:\\", 0, 0, 16776704).size(), 16776704u);
    platform.calls.clear();
    try {
        ReadSectors(platform, "F:\\", 0, 0, 16776705);
        FAIL() << "no overflow";
    } catch (const DiskError& error) {
        EXPECT_EQ(error.kind(), DiskError::Kind::Overflow);
    }
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

TEST_F(ReaderTest, The9xPathHandsTheServiceTheRegisterAndDiskIoBlocks) {
    platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
    ReadSectors(platform, "e:\\", 100 % 64, 0, 512);
    const auto control = platform.CallsNamed("DeviceIoControl");
    ASSERT_EQ(control.size(), 1u);
    // EBX: the block's address; EDX: drive 5 (E); ECX: FFFFFFFF; EAX: 7305; EDI, ESI, flags 0.
    EXPECT_EQ(control[0],
              "DeviceIoControl(6, 00 00 10 00 05 00 00 00 FF FF FF FF 05 73 00 00 00 00 00 00 00 00 00 00 00 00 00 00)");
    EXPECT_EQ(platform.CallsNamed("CreateFileA"), std::vector<std::string>{"CreateFileA(\\\\.\\VWIN32, 0x80000000, 3, 3, 0)"});

    const auto packed = DiskIo{100, 1, 0x12345678}.Bytes();
    EXPECT_EQ(std::vector<std::uint8_t>(packed.begin(), packed.end()),
              (std::vector<std::uint8_t>{0x64, 0, 0, 0, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(DosDriveNumber("A:\\"), 1);
    EXPECT_EQ(DosDriveNumber("c"), 3);
}

TEST_F(ReaderTest, ABadSectorInARunComesBackAsZerosAndOnlyItAndIsNamed) {
    platform.drives['E'].badSectors = {5, 9, 10};
    for (const DWORD id : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        platform.platformId = id;
        SectorRanges unreadable;
        SectorBuffer got;
        ReadSectors(platform, "E:\\", 2, 0, 12 * 512, got, &unreadable);
        ASSERT_EQ(got.size(), 12u * 512);
        for (int s = 0; s < 12; ++s) {
            const bool bad = s + 2 == 5 || s + 2 == 9 || s + 2 == 10;
            for (int b = 0; b < 512; ++b)
                ASSERT_EQ(got[s * 512 + b], bad ? 0 : Pattern((s + 2) * 512 + b)) << "family " << id << " sector " << s + 2;
        }
        EXPECT_EQ(unreadable.ranges(), (std::vector<SectorRange>{{5, 6}, {9, 11}})) << "family " << id;
        // Straight into memory the caller keeps: the same bytes, the same sectors named.
        std::vector<std::uint8_t> into(12 * 512, 0xEE);
        SectorRanges again;
        EXPECT_EQ(ReadSectors(platform, "E:\\", 2, into, &again), 12);
        EXPECT_EQ(into, got);
        EXPECT_EQ(again, unreadable);
    }
    // Past the volume's end nothing is unreadable: there is nothing there.
    platform.platformId = VER_PLATFORM_WIN32_NT;
    SectorRanges past;
    SectorBuffer tail;
    EXPECT_EQ(ReadSectors(platform, "E:\\", 60, 0, 8 * 512, tail, &past), 4);
    EXPECT_TRUE(past.empty());
}

TEST(SectorRanges, NeighboursJoinAndACardFailingEveryOtherSectorStaysSmall) {
    SectorRanges ranges;
    ranges.Add(10, 2);
    ranges.Add(20, 1);
    ranges.Add(12, 3);  // touches the first
    ranges.Add(16, 4);  // touches the second
    ranges.Add(5, 1);
    EXPECT_EQ(ranges.ranges(), (std::vector<SectorRange>{{5, 6}, {10, 15}, {16, 21}}));
    EXPECT_EQ(ranges.Within(14, 17).ranges(), (std::vector<SectorRange>{{14, 15}, {16, 17}}));
    EXPECT_EQ(RangeText({20000, 20100}), "Sectors 20000-20099");
    EXPECT_EQ(RangeText({7, 8}), "Sector 7");
    EXPECT_FALSE(ranges.Joined());

    SectorRanges alternate;
    for (std::int64_t sector = 0; sector < 2'000'000; sector += 2) alternate.Add(sector, 1);
    EXPECT_LE(alternate.ranges().size(), SectorRanges::kMostRanges);
    EXPECT_TRUE(alternate.Joined());
    EXPECT_EQ(alternate.ranges().front(), (SectorRange{0, 1}));
    EXPECT_EQ(alternate.ranges().back().end, 1'999'999);  // every unreadable sector is still inside one
}

TEST_F(ReaderTest, ARunPastTheEndOfTheVolumeReadsZerosThere) {
    for (const DWORD id : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        platform.platformId = id;
        const auto got = ReadSectors(platform, "E:\\", 62, 0, 4 * 512);
        Expect(SectorBuffer(got.begin(), got.begin() + 1024), 62 * 512, 1024);
        EXPECT_EQ(SectorBuffer(got.begin() + 1024, got.end()), SectorBuffer(1024, 0));
    }
}

TEST_F(ReaderTest, ADriveThatCannotBeOpenedIsAnErrorThatSaysWhy) {
    platform.drives['G'] = FakePlatform::Drive{};  // a card reader without a card
    for (const DWORD id : {VER_PLATFORM_WIN32_NT}) {
        platform.platformId = id;
        try {
            ReadSectors(platform, "g:\\", 0, 0, 512);
            FAIL() << "no error";
        } catch (const DiskError& error) {
            EXPECT_EQ(error.kind(), DiskError::Kind::CannotOpen);
            EXPECT_STREQ(error.what(), "Cannot open drive G:. The device is not ready.");
        }
    }
    platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
    // On 9x the device opens and the service fails: zeros, as the family always gave.
    EXPECT_EQ(ReadSectors(platform, "G:\\", 0, 0, 512), SectorBuffer(512, 0));
}

TEST(GetTotalSectors, IsSectorsPerClusterTimesClustersOrMinusOne) {
    FakePlatform platform;
    platform.AddVolume('E', 8);
    platform.drives['E'].sectorsPerCluster = 4;
    platform.drives['E'].totalClusters = 15000;
    EXPECT_EQ(GetTotalSectors(platform, "E:\\"), 60000);
    EXPECT_EQ(GetTotalSectors(platform, "Select Drive"), -1);
    platform.drives['E'].sizeKnown = false;
    EXPECT_EQ(GetTotalSectors(platform, "E:\\"), -1);
    platform.drives['E'].sizeKnown = true;
    platform.drives['E'].sectorsPerCluster = 64;
    platform.drives['E'].totalClusters = 0x04000000;  // 2^32 sectors: 2 TiB, counted whole
    EXPECT_EQ(GetTotalSectors(platform, "E:\\"), std::int64_t{1} << 32);
}

}  // namespace
}  // namespace kelvara
