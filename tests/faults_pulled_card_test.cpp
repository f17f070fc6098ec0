// A card pulled in the middle of a scan, a preview, a Save All and an Image Disk: the image file
// behind the drive removed or cut short under the running command, on the POSIX platform. The
// program keeps running and says what happened, keeps the photos it had found, and leaves no
// file that looks whole but is not.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "diskio/disk_error.h"
#include "diskio/get_total_sectors.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fat_image.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FakeProgress;
using testing::Told;

constexpr std::int32_t kPhotoSectors[] = {10000, 40000, 65000, 80000, 120000};

// A FAT32 card with five photos lying in its free space far apart, so that each is read by a
// different run of the scan.
class PulledCard : public ::testing::Test {
protected:
    void SetUp() override {
        image = tmp.file("card.img");
        testing::MakeFatImage(image, 32, 140000);
        for (int i = 0; i < 5; ++i) {
            photos.push_back(i == 2 ? testing::MakeGif89a(60, 40, i) : testing::MakeJpeg(200 + 30 * i, 150, i));
            testing::WriteBytesAt(image, std::int64_t{kPhotoSectors[i]} * 512, photos.back());
        }
        fs::copy_file(image, tmp.file("kept.img"));  // the card as it was, to compare and to put back
        fs::create_directory(tmp.file("out"));
        PosixPlatform::Options options;
        options.images.push_back(AttachedImage(image));
        options.home = tmp.path();
        platform = std::make_unique<PosixPlatform>(options);
        total = GetTotalSectors(*platform, "D:\\");
        ASSERT_GT(total, 130000);
    }
    ScanReport Scan() { return testing::ScanNt(*platform, progress, table, "D:\\", total); }
    void PutCardBack() {
        fs::remove(image);
        fs::copy_file(tmp.file("kept.img"), image);
    }
    std::vector<std::int64_t> All() const {
        std::vector<std::int64_t> all(table.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::int64_t>(i);
        return all;
    }
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(tmp.file("out"))) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    Bytes Out(const std::string& name) const { return testing::ReadFileBytes(tmp.file("out/" + name)); }

    testing::TempDir tmp;
    std::string image;
    std::vector<Bytes> photos;
    std::unique_ptr<PosixPlatform> platform;
    std::int32_t total = 0;
    FakeProgress progress;
    FoundPhotoTable table;
};

TEST_F(PulledCard, RemovedMidScanKeepsWhatWasFoundAndItIsSavedOnceTheCardIsBack) {
    progress.onAdvance = [&] {
        if (progress.done == 50000) fs::remove(image);
    };
    const auto told = Told(Scan());
    ASSERT_EQ(testing::EntryNames(table), (std::vector<std::string>{"Image001.JPG", "Image002.JPG"}));
    const std::int32_t stop = table[1].EndSector;  // the start of the first run that could not be read
    EXPECT_GT(stop, 50000);
    EXPECT_LE(stop, 65000);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "Kelvara's found 2 Files");
    EXPECT_EQ(told[1], "Drive D:\\ holds nothing from sector " + std::to_string(stop) +
                                 " on, though its size goes further: the card may have been taken out or changed.");

    // Saving without the card saves nothing and says so; with the card back, everything.
    progress.onAdvance = nullptr;
    const SaveReport without = SavePhotos(*platform, progress, table, All(), "C:\\out", "Image");
    EXPECT_EQ(without.failed, 2);
    EXPECT_EQ(without.firstFailure.rfind("Image001.JPG could not be read: Cannot open drive D:.", 0), 0u)
        << without.firstFailure;
    EXPECT_TRUE(OutFiles().empty());
    PutCardBack();
    const SaveReport with = SavePhotos(*platform, progress, table, All(), "C:\\out", "Image");
    EXPECT_EQ(with.failed, 0) << with.firstFailure;
    EXPECT_EQ(Out("Image001.JPG"), photos[0]);
    EXPECT_EQ(Out("Image002.JPG"), photos[1]);
}

TEST_F(PulledCard, CutShortMidScanIsToldAndThePhotoBeforeTheEndEndsThere) {
    progress.onAdvance = [&] {
        if (progress.done == 50000) fs::resize_file(image, std::uint64_t{70000} * 512);
    };
    const auto told = Told(Scan());
    progress.onAdvance = nullptr;
    ASSERT_EQ(testing::EntryNames(table), (std::vector<std::string>{"Image001.JPG", "Image002.JPG", "Image003.GIF"}));
    EXPECT_EQ(table[2].StartSector, 65000);
    EXPECT_EQ(table[2].EndSector, 70000);  // not the old end of the drive, which is gone
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "Kelvara's found 3 Files");
    EXPECT_EQ(told[1].rfind("Drive D:\\ holds nothing from sector 70000 on, though its size goes further", 0), 0u)
        << told[1];

    const SaveReport report = SavePhotos(*platform, progress, table, All(), "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_EQ(Out("Image003.GIF"), photos[2]);
}

TEST_F(PulledCard, SaveAllStopsNoPhotoHalfWayAndTheOnesBeforeAreWhole) {
    Scan();
    ASSERT_EQ(table.size(), 5u);
    for (const bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed" : "cut short inside the fourth photo");
        fs::remove_all(tmp.file("out"));
        fs::create_directory(tmp.file("out"));
        PutCardBack();
        bool gone = false;
        progress.onAdvance = [&] {
            // Save All counts each photo as it is done: once the second photo is written, the card goes.
            if (gone || !fs::exists(tmp.file("out/Image002.JPG"))) return;
            gone = true;
            if (removed)
                fs::remove(image);
            else
                fs::resize_file(image, (std::uint64_t{80000} + 1) * 512);
        };
        const SaveReport report = SavePhotos(*platform, progress, table, All(), "C:\\out", "Image");
        progress.onAdvance = nullptr;
        EXPECT_EQ(report.saved, removed ? 2 : 3);
        EXPECT_EQ(report.failed, removed ? 3 : 2);
        const std::vector<std::string> expected =
            removed ? std::vector<std::string>{"Image001.JPG", "Image002.JPG"}
                    : std::vector<std::string>{"Image001.JPG", "Image002.JPG", "Image003.GIF"};
        EXPECT_EQ(OutFiles(), expected);  // nothing for the photos the card no longer held
        EXPECT_EQ(Out("Image001.JPG"), photos[0]);
        EXPECT_EQ(Out("Image002.JPG"), photos[1]);
        if (!removed) {
            EXPECT_EQ(Out("Image003.GIF"), photos[2]);
            EXPECT_EQ(report.firstFailure,
                      "Image004.JPG could not be read: Drive D:\\ holds nothing from sector 80001 on, inside the photo. "
                      "The card may have been taken out or changed.");
        }
        const std::string told = SaveShortfall(report).value_or("");
        EXPECT_EQ(told.rfind("Saved " + std::to_string(report.saved) + " of 5 photos; ", 0), 0u) << told;
    }
}

TEST_F(PulledCard, AnotherCardPutInMidSaveIsNeverReadIntoIt) {
    Scan();
    ASSERT_EQ(table.size(), 5u);
    for (const bool same : {false, true}) {
        SCOPED_TRACE(same ? "the same card put back" : "another card put in");
        fs::remove_all(tmp.file("out"));
        fs::create_directory(tmp.file("out"));
        PutCardBack();
        bool swapped = false;
        progress.onAdvance = [&] {
            if (swapped || !fs::exists(tmp.file("out/Image002.JPG"))) return;
            swapped = true;
            Bytes card = testing::ReadFileBytes(tmp.file("kept.img"));
            if (!same)
                for (std::uint8_t& b : card) b ^= 0x5A;  // every sector other bytes: another card
            fs::remove(image);
            testing::WriteFileBytes(image, card);
        };
        std::vector<std::string> failures;
        const SaveReport report = SavePhotos(*platform, progress, table, All(), "C:\\out", "Image", [&](const SavedEntry& entry) {
            if (!entry.failure.empty()) failures.push_back(entry.failure);
        });
        progress.onAdvance = nullptr;
        // The photo being read when the card went fails; the card put back is read on only if it is the same.
        ASSERT_FALSE(failures.empty());
        EXPECT_EQ(failures[0].rfind("Image003.GIF could not be read: Drive D:\\ holds nothing from sector ", 0), 0u) << failures[0];
        EXPECT_EQ(report.saved, same ? 4 : 2);
        if (same) continue;
        ASSERT_EQ(failures.size(), 3u);
        EXPECT_EQ(failures[1], "Image004.JPG could not be read: Drive D:\\ now holds another card than the one "
                               "being read. Put that card back to go on.");
        EXPECT_EQ(OutFiles(), (std::vector<std::string>{"Image001.JPG", "Image002.JPG"}));
    }
}

TEST_F(PulledCard, APreviewOfAPhotoTheCardNoLongerHoldsWritesNothing) {
    Scan();
    const std::string temp = PreviewTempFolder(*platform);
    ASSERT_FALSE(temp.empty());
    WritePreviewFiles(*platform, table[0], DriveEnd(table), temp);
    const Bytes shown = testing::ReadFileBytes(temp + "TB.jpg");
    ASSERT_EQ(shown, photos[0]);
    const Bytes page = testing::ReadFileBytes(temp + "TB001.htm");

    fs::resize_file(image, (std::uint64_t{40000} + 2) * 512);  // inside the second photo
    try {
        WritePreviewFiles(*platform, table[1], DriveEnd(table), temp);
        ADD_FAILURE() << "a cut-off photo was previewed";
    } catch (const DiskError& error) {
        EXPECT_EQ(error.kind(), DiskError::Kind::Ended);
        EXPECT_EQ(std::string(error.what()).rfind("Drive D:\\ holds nothing from sector 40002 on, inside the photo.", 0), 0u)
            << error.what();
    }
    fs::remove(image);
    EXPECT_THROW(WritePreviewFiles(*platform, table[0], DriveEnd(table), temp), DiskError);
    // The pane's files still hold the last photo shown, whole.
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), shown);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB001.htm"), page);
}

TEST_F(PulledCard, AnImageStopsWhereTheCardWentAndSaysHowMuchItHolds) {
    const Bytes before = testing::ReadBytesAt(image, 0, std::size_t{8192} * 512);
    for (const bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed" : "cut short");
        PutCardBack();
        fs::remove(tmp.file("out/TOBRN.IMG.partial"));  // else this image would keep the last one and take the next name
        progress.onAdvance = [&] {
            if (progress.done != 5000) return;
            if (removed)
                fs::remove(image);
            else
                fs::resize_file(image, std::uint64_t{7000} * 512);
        };
        const ImageReport report = testing::ImageInto(*platform, "D:\\", total, "C:\\out", progress);
        progress.onAdvance = nullptr;
        // Runs of 2,048 sectors: the run holding sector 5,000 was copied whole before the card went.
        const std::int32_t held = removed ? 6144 : 7000;
        ASSERT_TRUE(report.created);
        const std::string text = report.failure + "\n\n" + IncompleteImageText(report, report.path);
        EXPECT_NE(text.find(removed ? "holds nothing from sector 6144 on" : "holds nothing from sector 7000 on"), std::string::npos)
            << text;
        EXPECT_NE(text.find("is incomplete: it holds " + std::to_string(held) + " of " + std::to_string(total) +
                            " sectors."),
                  std::string::npos)
            << text;
        const Bytes copy = Out("TOBRN.IMG.partial");
        EXPECT_EQ(copy.size(), std::size_t(held) * 512);  // no zeros standing in for what was not read
        EXPECT_TRUE(std::equal(copy.begin(), copy.end(), before.begin()));
        EXPECT_EQ(progress.done, held);
    }
}

}  // namespace
}  // namespace kelvara
