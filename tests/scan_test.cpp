// The two scans without a window: which sectors they read and test, what they record,
// and how they end, including a table that grows past any old limit and a card pulled mid-scan.

#include <gtest/gtest.h>

#include <algorithm>

#include "scan/entry_name.h"
#include "scan/photo_recorder.h"
#include "scan/run_length.h"
#include "scan/scan.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_progress.h"
#include "tests/support/run_commands.h"

namespace kelvara {
namespace {

const FileKind kJpeg = *formats::KindOfExtension(".JPG"), kGif = *formats::KindOfExtension(".GIF");

using testing::EntryNames;
using testing::FakePlatform;
using testing::FakeProgress;
using testing::Told;

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
    // Drive E of `total` sectors, `total` shown as its size.
    std::vector<std::uint8_t>& Drive(std::int32_t total) {
        sectors = total;
        return platform.AddVolume('E', total);
    }
    ScanReport ScanNt() { return testing::ScanNt(platform, progress, table, "E:\\", sectors); }
    ScanReport Scan9x() {
        platform.platformId = VER_PLATFORM_WIN32_WINDOWS;
        return testing::Scan9x(platform, progress, table, "E:\\", sectors);
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
    FakeProgress progress;
    FoundPhotoTable table;
    std::int64_t sectors = 0;
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
    EXPECT_EQ(RunLength(std::int64_t{1} << 33), 171798692);  // an 4 TiB card: no 32-bit wrap
}

TEST(EntryName, PadsTheNumberToThreeDigitsAndGoesOnPast999) {
    EXPECT_EQ(EntryName("Image", 0, kJpeg), "Image001.JPG");
    EXPECT_EQ(EntryName("Image", 8, kJpeg), "Image009.JPG");
    EXPECT_EQ(EntryName("Image", 9, kGif), "Image010.GIF");
    EXPECT_EQ(EntryName("Image", 98, kJpeg), "Image099.JPG");
    EXPECT_EQ(EntryName("Image", 99, kJpeg), "Image100.JPG");
    EXPECT_EQ(EntryName("Card", 500, kJpeg), "Card501.JPG");
    EXPECT_EQ(EntryName("Image", 999, kJpeg), "Image1000.JPG");
    EXPECT_EQ(EntryName("Image", 12344, kGif), "Image12345.GIF");
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
    const ScanReport report = ScanNt();

    EXPECT_EQ(EntryNames(table), (std::vector<std::string>{"Image001.JPG", "Image002.GIF", "Image003.JPG", "Image004.JPG",
                                                           "Image005.GIF"}));
    const std::int64_t starts[] = {0, 1, 500, 1005, 1012};
    const std::int64_t ends[] = {1, 500, 1005, 1012, 1013};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table[i].StartSector, starts[i]);
        EXPECT_EQ(table[i].EndSector, ends[i]);
        EXPECT_EQ(table[i].Drive, "E:\\");
    }
    EXPECT_EQ(table[1].Kind, kGif);
    EXPECT_EQ(table[1].EndMarker, (EndMarkerBytes{0x00, 0x3B}));
    EXPECT_EQ(table[0].EndMarker, (EndMarkerBytes{0xFF, 0xD9}));

    EXPECT_EQ(Told(report), (std::vector<std::string>{"Kelvara's found 5 Files"}));
    EXPECT_EQ(progress.total, 1013);
    EXPECT_EQ(progress.done, 1013);
    EXPECT_EQ(progress.sector, 1000);  // the final read leaves the label alone
    EXPECT_EQ(progress.advances, 1013);
}

TEST_F(ScanTest, BothFamiliesFindTheSamePhotos) {
    auto& volume = Drive(300);
    for (const int s : {0, 7, 8, 150, 299}) PutJpeg(volume, s);
    PutGif(volume, 200);
    ScanNt();
    const auto ntEntries = EntryNames(table);
    const FoundPhotoTable ntTable = table;

    table = FoundPhotoTable();
    platform.calls.clear();
    const ScanReport report = Scan9x();
    EXPECT_EQ(EntryNames(table), ntEntries);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(table[i].StartSector, ntTable[i].StartSector);
        EXPECT_EQ(table[i].EndSector, ntTable[i].EndSector);
    }
    EXPECT_EQ(Told(report).back(), "Kelvara's found 6 Files");
    // One service call per sector, ten bytes each (and one for the boot sector, which may tell
    // a longer size), and the label shows total - 1 at the end.
    EXPECT_EQ(platform.CallsNamed("DeviceIoControl").size(), 301u);
    EXPECT_EQ(progress.sector, 299);
    EXPECT_EQ(progress.done, 300);
}

TEST_F(ScanTest, NothingFoundSaysZeroAndStartsTheTableAfresh) {
    Drive(100);
    table.resize(3);
    const ScanReport report = ScanNt();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(Told(report).at(0), "Kelvara's found 0 Files");
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.tested, 100);
}

TEST_F(ScanTest, TheTableGrowsWithEveryPhotoFound) {
    auto& volume = Drive(2400);
    for (int s = 0; s < 1200; ++s) PutJpeg(volume, s * 2);
    const ScanReport report = ScanNt();
    ASSERT_EQ(table.size(), 1200u);
    EXPECT_EQ(EntryNames(table)[500], "Image501.JPG");
    EXPECT_EQ(EntryNames(table).back(), "Image1200.JPG");
    EXPECT_EQ(table[1199].StartSector, 2398);
    EXPECT_EQ(table[1199].EndSector, 2400);
    EXPECT_EQ(Told(report), (std::vector<std::string>{"Kelvara's found 1200 Files"}));
    EXPECT_EQ(report.found, 1200);
    EXPECT_TRUE(report.Complete());
}

// A card whose every sector starts a photo: past a few megabytes the records move to a private
// temporary file, and read and write back as they were, in any order.
TEST(FoundPhotoTable, PastAFewMegabytesTheRecordsLiveInATemporaryFile) {
    constexpr std::size_t kCount = 300000;
    const auto record = [](std::size_t i) {
        const FileKind kind = i % 3 ? kJpeg : kGif;
        return FoundPhoto{static_cast<std::int64_t>(i) * 3, static_cast<std::int64_t>(i) * 3 + 3, kind, formats::EndMarkerOf(kind),
                          i % 2 ? "E:\\" : "F:\\"};
    };
    FoundPhotoTable table;
    for (std::size_t i = 0; i < kCount; ++i) table.push_back(record(i));
    ASSERT_TRUE(table.OnDisk());
    ASSERT_EQ(table.size(), kCount);
    for (std::size_t i = 0; i < kCount; i += 7919) {
        const FoundPhoto photo = table[i];
        EXPECT_EQ(photo.StartSector, record(i).StartSector);
        EXPECT_EQ(photo.Kind, record(i).Kind);
        EXPECT_EQ(photo.Drive, record(i).Drive);
        EXPECT_EQ(photo.Status, PhotoStatus::Unknown);
    }
    // Changed far apart, so the pages holding them leave memory and come back.
    for (const std::size_t i : {std::size_t{5}, kCount / 2, kCount - 1}) {
        table.SetStatus(i, PhotoStatus::Inside);
        table.SetEndSector(i, -7);
    }
    for (std::size_t i = 0; i < kCount; i += 2048) (void)table[i];
    for (const std::size_t i : {std::size_t{5}, kCount / 2, kCount - 1}) {
        EXPECT_EQ(table[i].Status, PhotoStatus::Inside);
        EXPECT_EQ(table[i].EndSector, -7);
        EXPECT_EQ(table[i].StartSector, record(i).StartSector);
    }
    EXPECT_EQ(table.back().StartSector, record(kCount - 1).StartSector);
    EXPECT_THROW((void)table[kCount], std::out_of_range);

    const FoundPhotoTable copy = table;
    EXPECT_EQ(copy.size(), kCount);
    EXPECT_EQ(copy[kCount / 2].Status, PhotoStatus::Inside);
    table.pop_back();
    EXPECT_EQ(table.size(), kCount - 1);
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_FALSE(table.OnDisk());
    table.push_back(record(1));
    EXPECT_EQ(table[0].StartSector, 3);
}

// A scan that could keep no further record stops there: the summary counts what was kept, and
// the user is told from which sector on the drive was not examined.
TEST(ScanMessages, AScanStoppedForWantOfRoomSaysWhereTheDriveWasNotExamined) {
    ScanReport report;
    report.found = 2;
    report.end = ScanReport::End::OutOfMemory;
    report.stopSector = 30;
    EXPECT_EQ(testing::Told(report),
              (std::vector<std::string>{"Kelvara's found 2 Files", "There is no memory left for more photos: the list holds "
                                                                   "2. The drive was not examined from sector 30 on."}));
    report.end = ScanReport::End::RecordsNotKept;
    report.reason = "the temporary folder is full";
    EXPECT_EQ(testing::Told(report).back(),
              "The list of found photos cannot grow any further: the temporary folder is full. It holds 2; the drive "
              "was not examined from sector 30 on.");
}

TEST_F(ScanTest, SectorNumbersPast2To31AreHeldWhole) {
    // A card of more than 2^31 sectors: the total is taken whole, and a photo recorded there
    // keeps its place.
    platform.AddVolume('E', 1).at(0) = 0;
    platform.drives['E'].zeroSectors = 3000000000;
    sectors = 3000000000;
    progress.onAdvance = [&] { progress.stopRequested = true; };
    const ScanReport report = ScanNt();
    EXPECT_EQ(progress.total, 3000000000);
    EXPECT_EQ(report.total, 3000000000);
    EXPECT_EQ(report.end, ScanReport::End::Stopped);

    PhotoRecorder recorder(platform, "E:\\", table, 3000000100);
    recorder.Record(kJpeg, 2999999000);
    recorder.Record(kGif, 3000000000);
    recorder.Finish(3000000100, 3000000100);
    EXPECT_EQ(table[0].EndSector, 3000000000);
    EXPECT_EQ(table[1].StartSector, 3000000000);
    EXPECT_EQ(table[1].EndSector, 3000000100);
}

TEST_F(ScanTest, APulledCardEndsTheScanWithWhatWasFound) {
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        progress = FakeProgress();
        auto& volume = Drive(1000);
        PutJpeg(volume, 5);
        PutGif(volume, 30);
        PutJpeg(volume, 900);
        progress.onAdvance = [&] {
            if (progress.done == 400) platform.drives['E'].volume.reset();
        };
        const ScanReport report = nine ? Scan9x() : ScanNt();
        EXPECT_EQ(table.size(), 2u);
        EXPECT_FALSE(report.Complete());
        if (nine) {
            // The 9x service does not tell a card that went from unreadable sectors: the rest reads
            // as zeros, the scan runs on, and those sectors are named as unreadable.
            EXPECT_EQ(table[1].EndSector, 1000);
            ASSERT_EQ(Told(report).size(), 1u);
            EXPECT_EQ(UnreadableText(report.unreadable), "Sectors 400-999 could not be read.");
        } else {
            // The volume the scan holds stops answering: the card ends there, and may have gone.
            EXPECT_EQ(table[1].EndSector, 400);
            ASSERT_EQ(Told(report).size(), 2u);
            EXPECT_EQ(Told(report)[0], "Kelvara's found 2 Files");
            EXPECT_EQ(Told(report)[1], "Drive E:\\ holds nothing from sector 400 on, though its size goes "
                                             "further: the card may have been taken out or changed.");
            EXPECT_TRUE(report.unreadable.empty());
        }
    }
}

TEST_F(ScanTest, AStopRequestEndsTheScanLikeAnUnreadableDrive) {
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        progress = FakeProgress();
        auto& volume = Drive(1000);
        PutJpeg(volume, 5);
        PutJpeg(volume, 900);
        progress.onAdvance = [&] {
            if (progress.done == 400) progress.stopRequested = true;
        };
        const ScanReport report = nine ? Scan9x() : ScanNt();
        ASSERT_EQ(table.size(), 1u);
        EXPECT_EQ(report.end, ScanReport::End::Stopped);
        EXPECT_EQ(report.tested, 400);
        EXPECT_EQ(table[0].EndSector, 400);
        ASSERT_EQ(Told(report).size(), 2u);
        EXPECT_EQ(Told(report)[0], "The scan was stopped at sector 400; the photos found before it are listed.");
        EXPECT_EQ(Told(report)[1], "Kelvara's found 1 Files");
    }
}

TEST_F(ScanTest, A9xScanOfADriveWithoutSizeReadsNothing) {
    Drive(100);
    platform.drives['E'].sizeKnown = false;
    const ScanReport report = Scan9x();
    EXPECT_TRUE(platform.CallsNamed("DeviceIoControl").empty());
    ASSERT_EQ(Told(report).size(), 2u);
    EXPECT_EQ(Told(report)[1], "Kelvara's found 0 Files");
}

TEST_F(ScanTest, TheScanEndsWhereTheDriveEndsAndBothFamiliesScanTheCountShown) {
    // A count past the drive's end (the command line's --sectors): the NT scan stops where the
    // volume does; the 9x scan, whose service cannot tell, stops at the drive's own size.
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        auto& volume = Drive(300);
        PutJpeg(volume, 290);
        sectors = 5000;
        const ScanReport report = nine ? Scan9x() : ScanNt();
        EXPECT_EQ(report.tested, 300);
        ASSERT_EQ(table.size(), 1u);
        EXPECT_GT(table[0].EndSector, table[0].StartSector);
    }
    // A count short of the drive's size: both scan that many sectors, and no photo ends before it starts.
    for (const bool nine : {false, true}) {
        SCOPED_TRACE(nine);
        platform = FakePlatform();
        auto& volume = Drive(300);
        PutJpeg(volume, 100);
        PutJpeg(volume, 250);
        sectors = 200;
        const ScanReport report = nine ? Scan9x() : ScanNt();
        EXPECT_EQ(report.tested, 200);
        ASSERT_EQ(table.size(), 1u);
        EXPECT_EQ(table[0].EndSector, 200);
    }
}

TEST_F(ScanTest, LongRunsAreReadInBoundedPieces) {
    // 4,000,000 sectors give runs of 80,000: each is read as 78 pieces of 1,024 (512 KiB, which stay
    // in the processor's cache) and one of 128.
    platform.AddVolume('E', 1);
    platform.drives['E'].zeroSectors = 4000000 - 1;
    platform.drives['E'].totalClusters = 4000000;
    sectors = 4000000;
    const ScanReport report = ScanNt();
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 50u * 79);
    EXPECT_EQ(reads[0], (std::pair<std::int64_t, std::int64_t>{0, 1024}));
    EXPECT_EQ(reads[77], (std::pair<std::int64_t, std::int64_t>{77 * 1024, 1024}));
    EXPECT_EQ(reads[78], (std::pair<std::int64_t, std::int64_t>{79872, 128}));
    EXPECT_EQ(reads[79], (std::pair<std::int64_t, std::int64_t>{80000, 1024}));
    EXPECT_EQ(reads.back(), (std::pair<std::int64_t, std::int64_t>{3920000 + 79872, 128}));
    EXPECT_EQ(Told(report).at(0), "Kelvara's found 0 Files");
}

}  // namespace
}  // namespace kelvara
