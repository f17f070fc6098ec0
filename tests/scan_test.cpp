// The two scans without a window: which sectors they read and test, what they record,
// and how they end, including a full table and a card pulled mid-scan.

#include <gtest/gtest.h>

#include <algorithm>

#include "scan/entry_name.h"
#include "scan/run_length.h"
#include "scan/scan.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_platform.h"

namespace kelvara {
namespace {

using testing::FakeHost;
using testing::FakePlatform;

void PutJpeg(std::vector<std::uint8_t>& volume, std::int64_t sector) {
    volume[sector * 512] = 0xFF;
    volume[sector * 512 + 1] = 0xD8;
}
void PutGif(std::vector<std::uint8_t>& volume, std::int64_t sector, char version = '9') {
    const char signature[] = {'G', 'I', 'F', '8', version, 'a'};
    std::copy(signature, signature + 6, volume.begin() + sector * 512);
}

class ScanTest : public ::testing::Test {
protected:
    // A drive of `total` sectors chosen in the window as the scan command leaves it.
    std::vector<std::uint8_t>& Drive(std::int32_t total, char letter = 'E') {
        auto& volume = platform.AddVolume(letter, total);
        host.drive = std::string(1, letter) + ":\\";
        host.sectorsCaption = std::to_string(total);
        host.busy = true;
        host.status = "Scaning. .";
        return volume;
    }
    void ScanNt() { ScanWinNT({platform, host, table, prefix}); }
    void Scan9x() {
        platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
        ScanWin98({platform, host, table, prefix});
    }
    // The (position, length) of each volume read, in sectors.
    std::vector<std::pair<std::int64_t, std::int64_t>> Reads() const {
        std::vector<std::pair<std::int64_t, std::int64_t>> reads;
        std::int64_t at = 0;
        for (const auto& call : platform.calls) {
            if (call.rfind("SetFilePointer(", 0) == 0) at = std::stoll(call.substr(15)) / 512;
            if (call.rfind("ReadFile(", 0) == 0) reads.emplace_back(at, std::stoll(call.substr(9)) / 512);
        }
        return reads;
    }

    FakePlatform platform;
    FakeHost host;
    FoundPhotoTable table;
    std::string prefix = "Image";
};

TEST(RunLength, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(RunLength(1000), 20);
    EXPECT_EQ(RunLength(1013), 20);
    EXPECT_EQ(RunLength(1030), 21);
    EXPECT_EQ(RunLength(1025), 20);
    EXPECT_EQ(RunLength(1075), 22);
    EXPECT_EQ(RunLength(25), 0);
    EXPECT_EQ(RunLength(26), 1);
    EXPECT_EQ(RunLength(75), 2);
    EXPECT_EQ(RunLength(125), 2);
    EXPECT_EQ(RunLength(INT32_MAX), 42949673);
}

TEST(EntryName, PadsTheNumberToThreeDigits) {
    EXPECT_EQ(EntryName("Image", 0, ".JPG"), "Image001.JPG");
    EXPECT_EQ(EntryName("Image", 8, ".JPG"), "Image009.JPG");
    EXPECT_EQ(EntryName("Image", 9, ".GIF"), "Image010.GIF");
    EXPECT_EQ(EntryName("Image", 98, ".JPG"), "Image099.JPG");
    EXPECT_EQ(EntryName("Image", 99, ".JPG"), "Image100.JPG");
    EXPECT_EQ(EntryName("Card", 500, ".JPG"), "Card501.JPG");
}

TEST(EntryName, APrefixMayHoldNoCharacterAFileNameMayNot) {
    EXPECT_TRUE(IsUsablePrefix("Holiday 2026-"));
    EXPECT_TRUE(IsUsablePrefix("Fotos_\xC3\xA9t\xC3\xA9"));  // UTF-8 letters are fine
    for (const char* bad : {"a/b", "a\\b", "c:", "*", "?", "\"", "<", ">", "|", "tab\there", "\x7F", "\xC2\x85"})
        EXPECT_FALSE(IsUsablePrefix(bad)) << bad;
}

TEST_F(ScanTest, FiftyRunsCoverTheDriveThenAFinalReadTakesTheRest) {
    struct Case {
        std::int32_t total;
        std::vector<std::pair<std::int64_t, std::int64_t>> firstAndLastReads;
        std::size_t reads;
    };
    const Case cases[] = {
        {1000, {{0, 20}, {980, 20}}, 50},   // no final read
        {1013, {{0, 20}, {1000, 13}}, 51},  // the final read takes sectors 1,000 to 1,012
        {1030, {{0, 21}, {1029, 1}}, 50},   // the last run reaches the end with one sector
        {25, {{0, 25}, {0, 25}}, 1},        // run length 0: the final read covers everything
        {26, {{0, 1}, {25, 1}}, 26},        // later runs start past the end and read nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        platform = FakePlatform();
        host = FakeHost();
        Drive(c.total);
        ScanNt();
        const auto reads = Reads();
        ASSERT_EQ(reads.size(), c.reads);
        EXPECT_EQ(reads.front(), c.firstAndLastReads[0]);
        EXPECT_EQ(reads.back(), c.firstAndLastReads[1]);
        std::int64_t next = 0;
        for (const auto& [at, length] : reads) {
            EXPECT_EQ(at, next);
            EXPECT_GT(length, 0);
            next = at + length;
        }
        EXPECT_EQ(next, c.total);
        EXPECT_EQ(platform.OpenHandles(), 0);
    }
}

TEST_F(ScanTest, RecordsEveryPhotoWhereverItsSignatureStartsASector) {
    auto& volume = Drive(1013);
    PutJpeg(volume, 0);
    PutGif(volume, 1);        // right after: the JPEG is one sector long
    PutJpeg(volume, 500);
    PutGif(volume, 700, '7');  // GIF87a is not recognised
    volume[800 * 512 + 100] = 0xFF;  // not at a sector start
    volume[800 * 512 + 101] = 0xD8;
    PutJpeg(volume, 1005);    // inside the final read
    PutGif(volume, 1012);     // the last sector
    ScanNt();

    EXPECT_EQ(host.entries, (std::vector<std::string>{"Image001.JPG", "Image002.GIF", "Image003.JPG", "Image004.JPG",
                                                      "Image005.GIF"}));
    const std::int32_t starts[] = {0, 1, 500, 1005, 1012};
    const std::int32_t ends[] = {1, 500, 1005, 1012, 1013};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table[i].StartSector, starts[i]);
        EXPECT_EQ(table[i].EndSector, ends[i]);
        EXPECT_EQ(table[i].Drive, "E:\\");
    }
    EXPECT_EQ(table[1].Kind, ".GIF");
    EXPECT_EQ(table[1].EndMarker, (std::vector<std::uint8_t>{0x00, 0x3B}));
    EXPECT_EQ(table[0].EndMarker, (std::vector<std::uint8_t>{0xFF, 0xD9}));
    EXPECT_EQ(host.selected, 4);

    EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{{"Kelvara's found 5 Files", "Scan Complete"}}));
    EXPECT_EQ(host.guidePicture, 3);
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(host.progressValue, 0);
    EXPECT_EQ(host.progressMax, 1013);
    EXPECT_EQ(host.current, "1000");  // the final read leaves the label alone
    EXPECT_EQ(host.refusedProgress, 0);
    EXPECT_EQ(host.yields, 1013);
}

TEST_F(ScanTest, BothFamiliesFindTheSamePhotos) {
    auto& volume = Drive(300);
    for (const int s : {0, 7, 8, 150, 299}) PutJpeg(volume, s);
    PutGif(volume, 200);
    ScanNt();
    const auto ntEntries = host.entries;
    const FoundPhotoTable ntTable = table;

    host.entries.clear();
    host.messages.clear();
    table = FoundPhotoTable();
    platform.calls.clear();
    Scan9x();
    EXPECT_EQ(host.entries, ntEntries);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(table[i].StartSector, ntTable[i].StartSector);
        EXPECT_EQ(table[i].EndSector, ntTable[i].EndSector);
    }
    EXPECT_EQ(host.messages.back().first, "Kelvara's found 6 Files");
    // One service call per sector, ten bytes each, and the label shows total - 1 at the end.
    EXPECT_EQ(platform.CallsNamed("DeviceIoControl").size(), 300u);
    EXPECT_EQ(host.current, "299");
    EXPECT_EQ(host.progressValue, 0);
    EXPECT_FALSE(host.busy);
}

TEST_F(ScanTest, NothingFoundSaysZeroAndLeavesOldRecordsAlone) {
    Drive(100);
    table[0].StartSector = 42;
    ScanNt();
    EXPECT_TRUE(host.entries.empty());
    EXPECT_EQ(table[0].StartSector, 42);
    EXPECT_EQ(host.messages.at(0).first, "Kelvara's found 0 Files");
}

TEST_F(ScanTest, EntriesCarryThePrefixCurrentWhenTheyAreAdded) {
    auto& volume = Drive(60);
    PutJpeg(volume, 10);
    PutJpeg(volume, 30);
    host.onYield = [&] {
        if (host.entries.size() == 1) prefix = "Card";
    };
    ScanNt();
    EXPECT_EQ(host.entries, (std::vector<std::string>{"Image001.JPG", "Card002.JPG"}));
}

TEST_F(ScanTest, AFullTableStopsTheScanAtTheNextPhotoAndSaysWhere) {
    auto& volume = Drive(1200);
    for (int s = 0; s < 600; ++s) PutJpeg(volume, s * 2);
    ScanNt();
    ASSERT_EQ(host.entries.size(), 501u);
    EXPECT_EQ(host.entries.back(), "Image501.JPG");
    EXPECT_EQ(table[500].StartSector, 1000);
    EXPECT_EQ(table[500].EndSector, 1002);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].first, "Kelvara's found 501 Files");
    EXPECT_NE(host.messages[1].first.find("from sector 1002 on"), std::string::npos) << host.messages[1].first;
    EXPECT_EQ(host.status, "Ready");
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(Reads().back().first, 984);  // nothing read after the run that held it
}

TEST_F(ScanTest, APulledCardEndsTheScanWithWhatWasFound) {
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        host = FakeHost();
        auto& volume = Drive(1000);
        PutJpeg(volume, 5);
        PutGif(volume, 30);
        PutJpeg(volume, 900);
        host.onYield = [&] {
            if (host.progressValue == 400) platform.drives['E'].volume.reset();
        };
        nine ? Scan9x() : ScanNt();
        EXPECT_EQ(host.entries.size(), 2u);
        if (nine) {
            // The 9x service reports nothing: the rest reads as zeros and the scan runs on.
            EXPECT_EQ(table[1].EndSector, 1000);
            EXPECT_EQ(host.messages.size(), 1u);
        } else {
            EXPECT_EQ(table[1].EndSector, 400);
            ASSERT_EQ(host.messages.size(), 2u);
            EXPECT_NE(host.messages[0].first.find("drive E:\\ from sector 400"), std::string::npos)
                << host.messages[0].first;
            EXPECT_NE(host.messages[0].first.find("not ready"), std::string::npos);
            EXPECT_EQ(host.messages[1].first, "Kelvara's found 2 Files");
        }
        EXPECT_FALSE(host.busy);
        EXPECT_EQ(host.status, "Ready");
        EXPECT_EQ(host.progressValue, 0);
    }
}

TEST_F(ScanTest, AStopRequestEndsTheScanLikeAnUnreadableDrive) {
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        host = FakeHost();
        auto& volume = Drive(1000);
        PutJpeg(volume, 5);
        PutJpeg(volume, 900);
        host.onYield = [&] {
            if (host.progressValue == 400) host.stopRequested = true;
        };
        nine ? Scan9x() : ScanNt();
        ASSERT_EQ(host.entries.size(), 1u);
        EXPECT_EQ(table[0].EndSector, 400);
        ASSERT_EQ(host.messages.size(), 2u);
        EXPECT_EQ(host.messages[0].first, "The scan was stopped at sector 400; the photos found before it are listed.");
        EXPECT_EQ(host.messages[1].first, "Kelvara's found 1 Files");
        EXPECT_FALSE(host.busy);
    }
}

TEST_F(ScanTest, A9xScanOfADriveWithoutSizeReadsNothing) {
    Drive(100);
    platform.drives['E'].sizeKnown = false;
    Scan9x();
    EXPECT_TRUE(platform.CallsNamed("DeviceIoControl").empty());
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].first, "Kelvara's found 0 Files");
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.status, "Ready");
}

TEST_F(ScanTest, ADriveChosenMidScanIsReadFromTheNextRead) {
    auto& first = Drive(100, 'E');
    auto& second = platform.AddVolume('F', 100);
    PutJpeg(first, 10);
    PutJpeg(first, 90);
    PutJpeg(second, 95);
    host.onYield = [&] {
        if (host.progressValue == 50) host.drive = "F:\\";
    };
    ScanNt();
    EXPECT_EQ(host.entries.size(), 2u);
    EXPECT_EQ(table[0].Drive, "E:\\");
    EXPECT_EQ(table[1].Drive, "F:\\");
    EXPECT_EQ(table[1].StartSector, 95);
}

TEST_F(ScanTest, LongRunsAreReadInBoundedPieces) {
    // 4,000,000 sectors give runs of 80,000: each is read as 65,536 and 14,464. Past the
    // small volume everything reads as zeros, which is all this test needs.
    platform.AddVolume('E', 1);
    platform.drives['E'].totalClusters = 4000000;
    host.drive = "E:\\";
    host.sectorsCaption = "4000000";
    ScanNt();
    auto reads = Reads();
    // Reads past the volume's end are tried once more a sector at a time; skip those.
    std::erase_if(reads, [](const auto& read) { return read.second == 1; });
    ASSERT_EQ(reads.size(), 100u);
    EXPECT_EQ(reads[0], (std::pair<std::int64_t, std::int64_t>{0, 65536}));
    EXPECT_EQ(reads[1], (std::pair<std::int64_t, std::int64_t>{65536, 14464}));
    EXPECT_EQ(reads[99], (std::pair<std::int64_t, std::int64_t>{3920000 + 65536, 14464}));
    EXPECT_EQ(host.messages.at(0).first, "Kelvara's found 0 Files");
}

}  // namespace
}  // namespace kelvara
