// Unreadable sectors in the middle of the runs the commands read, on the platform double that
// fails reads at chosen sectors: only those sectors turn to zeros, every photo elsewhere is
// found, a photo holding one is saved with zeros there, every command says which sectors could not
// be read and which files hold zeros there, and a card that stops answering halfway through a
// read is not mistaken for a run of bad sectors.

#include <gtest/gtest.h>

#include "diskio/read_sectors.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "scan/scan.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_progress.h"
#include "tests/support/run_commands.h"
#include "tests/support/test_photos.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

using testing::FakeProgress;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

class BadSectors : public ::testing::Test {
protected:
    // 3,000 sectors: runs of 60. Photos at 100 (5 sectors, sector 103 unreadable), 1,100 and
    // 2,990; unreadable sectors also in the middle of runs that hold no photo.
    void SetUp() override {
        volume = &platform.AddVolume('E', 3000);
        Put(100, testing::MakePhotoRun(5 * 512 - 100, 1));
        Put(1100, testing::MakePhotoRun(10 * 512, 2, true));
        Put(2990, testing::MakePhotoRun(3 * 512, 3));
        platform.drives['E'].badSectors = {103, 1130, 1500, 2001};
        platform.folders.insert("C:\\Out");
    }
    void Put(std::int64_t sector, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), volume->begin() + sector * 512);
        photos.push_back(bytes);
    }
    // The bytes as a reader can give them: the unreadable sectors as zeros.
    Bytes Readable(std::int64_t first, std::int64_t sectors) const {
        Bytes bytes(volume->begin() + first * 512, volume->begin() + (first + sectors) * 512);
        for (const std::int64_t bad : platform.drives.at('E').badSectors)
            if (bad >= first && bad < first + sectors)
                std::fill(bytes.begin() + (bad - first) * 512, bytes.begin() + (bad - first + 1) * 512, 0);
        return bytes;
    }

    FakePlatform platform;
    FakeProgress progress;
    FoundPhotoTable table;
    std::vector<std::uint8_t>* volume = nullptr;
    std::vector<Bytes> photos;
};

TEST_F(BadSectors, BothScansFindEveryPhotoAndSaveTheDamagedOneWithZerosThere) {
    for (const DWORD family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        SCOPED_TRACE(family);
        platform.platformId = family;
        platform.files.clear();
        const ScanReport scanned = family == VER_PLATFORM_WIN32_NT ? testing::ScanNt(platform, progress, table, "E:\\", 3000)
                                                                   : testing::Scan9x(platform, progress, table, "E:\\", 3000);
        ASSERT_EQ(testing::EntryNames(table), (std::vector<std::string>{"Image001.JPG", "Image002.GIF", "Image003.JPG"}));
        EXPECT_EQ(table[0].StartSector, 100);
        EXPECT_EQ(table[1].StartSector, 1100);
        EXPECT_EQ(table[2].StartSector, 2990);
        // The summary, then where the scan saw zeros for want of the card's bytes.
        EXPECT_EQ(testing::Told(scanned), (std::vector<std::string>{"Kelvara's found 3 Files"}));
        EXPECT_EQ(UnreadableText(scanned.unreadable),
                  "Sector 103 could not be read.\nSector 1130 could not be read.\nSector 1500 could not be read.\n"
                  "Sector 2001 could not be read.");
        SectorRanges bad;
        for (const std::int64_t sector : {103, 1130, 1500, 2001}) bad.Add(sector, 1);

        const SaveReport report = SavePhotos(platform, progress, table, {0, 1, 2}, "C:\\Out", "Image");
        EXPECT_EQ(report.failed, 0) << report.firstFailure;
        Bytes damaged = photos[0];
        std::fill(damaged.begin() + 3 * 512, damaged.begin() + 4 * 512, 0);  // sector 103 and only it
        EXPECT_EQ(platform.files.at("C:\\Out\\Image001.JPG"), damaged);
        EXPECT_EQ(platform.files.at("C:\\Out\\Image002.GIF"), photos[1]);
        EXPECT_EQ(platform.files.at("C:\\Out\\Image003.JPG"), photos[2]);
        // Sector 1,130 lies in the run of the GIF, past its end: no file holds it.
        ASSERT_EQ(report.zeroFilled.size(), 1u);
        EXPECT_EQ(report.zeroFilled[0].name, "Image001.JPG");
        EXPECT_EQ(report.zeroFilled[0].sectors, bad.Within(100, 105));
        EXPECT_EQ(UnreadableText(report.unreadable, report.zeroFilled),
                  "Sector 103 could not be read; it is zeros in Image001.JPG.");

        SectorRanges previewed;
        WritePreviewFiles(platform, table[0], DriveEnd(table), "C:\\Temp\\", {}, &previewed);
        EXPECT_EQ(platform.files.at("C:\\Temp\\TB.jpg"), damaged);
        EXPECT_EQ(previewed, bad.Within(100, 105));
    }
}

TEST_F(BadSectors, AnImageHoldsZerosForTheUnreadableSectorsAndOnlyThere) {
    platform.drives['E'].badSectors.insert({1501, 1502, 2999});
    const ImageReport report = testing::ImageInto(platform, "E:\\", 3000, "C:\\Out", progress);
    // The image is whole, and says where it holds zeros.
    EXPECT_TRUE(report.complete) << report.failure;
    EXPECT_EQ(platform.files.at("C:\\Out\\TOBRN.IMG"), Readable(0, 3000));
    EXPECT_EQ(progress.done, 3000);
    EXPECT_EQ(UnreadableText(report.unreadable, {{"TOBRN.IMG", report.unreadable}}),
              "Sector 103 could not be read; it is zeros in TOBRN.IMG.\nSector 1130 could not be read; it is zeros in "
              "TOBRN.IMG.\nSectors 1500-1502 could not be read; they are zeros in TOBRN.IMG.\nSector 2001 could not be "
              "read; it is zeros in TOBRN.IMG.\nSector 2999 could not be read; it is zeros in TOBRN.IMG.");
}

TEST_F(BadSectors, ACardThatStopsAnsweringInAReadIsNotTakenForBadSectors) {
    // The run holding sector 1,500 fails as a whole and is read again a sector at a time; the card
    // is pulled as the eighteenth of those sector reads starts.
    auto card = platform.drives['E'].volume;
    int reads = 0, pullAt = 1 + 18;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile(", 0) == 0 && ++reads == pullAt) platform.drives['E'].volume.reset();
    };
    SectorBuffer run;
    EXPECT_EQ(ReadSectors(platform, "E:\\", 1490, 0, 64 * 512, run), 17);  // sectors 1,490 to 1,506 were read
    EXPECT_EQ(Bytes(run.begin(), run.begin() + 17 * 512), Readable(1490, 17));
    EXPECT_EQ(Bytes(run.begin() + 17 * 512, run.end()), Bytes(47 * 512, 0));

    // The image stops there and says so, rather than going on with zeros.
    platform.drives['E'].volume = card;
    reads = 0;
    pullAt = 1 + 9;
    const ImageReport report = testing::ImageInto(platform, "E:\\", 3000, "C:\\Out", progress);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.sectorsWritten, 8);  // the first run failed whole at sector 103; the ninth sector read took the card
    EXPECT_EQ(report.failure.rfind("Drive E:\\ holds nothing from sector 8 on, though its size goes further", 0), 0u) << report.failure;
    EXPECT_EQ(platform.files.at("C:\\Out\\TOBRN.IMG.partial"), Readable(0, 8));
    EXPECT_TRUE(report.unreadable.empty());  // the card that went is not a bad sector
}

}  // namespace
}  // namespace kelvara
