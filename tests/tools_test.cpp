// The disk image and the disk wipe against the recording platform double: the bytes of the
// files they make, their progress, and what their reports say.

#include <gtest/gtest.h>

#include <algorithm>

#include "destination/destination.h"
#include "diskio/sector_source.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fake_platform.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

using testing::FakeProgress;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

class ImageTest : public ::testing::Test {
protected:
    // Drive E of `sectors` sectors, every byte telling where it lies, of which `total` are imaged.
    void Drive(std::int64_t sectors, std::int32_t total) {
        auto& volume = platform.AddVolume('E', sectors);
        for (std::size_t i = 0; i < volume.size(); ++i) volume[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
        total_ = total;
        platform.folders.insert("C:\\Images");
    }
    ImageReport MakeImage(const std::string& folder) {
        Destination destination(platform, folder, {"E:\\"});
        SectorSource card(platform, "E:\\");
        return kelvara::MakeImage(card, total_, destination, progress);
    }
    Bytes FirstSectors(std::int64_t count) const {
        const auto& volume = *platform.drives.at('E').volume;
        return Bytes(volume.begin(), volume.begin() + count * 512);
    }
    const Bytes& Image() const { return platform.files.at("C:\\Images\\TOBRN.IMG"); }

    FakePlatform platform;
    FakeProgress progress;
    std::int32_t total_ = 0;
};

TEST_F(ImageTest, ImageHoldsTheFirstTotalSectorsInOrder) {
    Drive(8, 3);
    EXPECT_TRUE(MakeImage("C:\\Images").complete);
    EXPECT_EQ(Image(), FirstSectors(3));  // 1,536 bytes
    EXPECT_EQ(progress.total, 3);
    EXPECT_EQ(progress.done, 3);

    // Several long runs and an older longer image.
    Drive(5200, 5000);
    platform.files["C:\\Images\\TOBRN.IMG"] = Bytes(5200 * 512 + 77, 0xAB);
    progress.advances = 0;
    std::int64_t lastValue = 0;
    bool steady = true;
    progress.onAdvance = [&] {
        steady = steady && progress.done == lastValue + 1;
        lastValue = progress.done;
    };
    const ImageReport report = MakeImage("C:\\Images");
    EXPECT_TRUE(report.complete) << report.failure;
    // The image of another card keeps its name; this one takes the next.
    EXPECT_EQ(report.path, "C:\\Images\\TOBRN (2).IMG");
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG"), Bytes(5200 * 512 + 77, 0xAB));
    EXPECT_EQ(platform.files.at(report.path), FirstSectors(5000));
    EXPECT_TRUE(steady);  // one step per sector, though reads are long
    EXPECT_EQ(progress.advances, 5000);
    EXPECT_LT(platform.CallsNamed("ReadFile").size(), 10u);
}

TEST_F(ImageTest, TheImageIsMadeUnderATemporaryNameAndNamedWhenWhole) {
    Drive(8, 3);
    EXPECT_TRUE(MakeImage("C:\\").complete);
    // Made anew (CREATE_NEW) under a temporary name in the folder chosen, after the folder was taken
    // for this command, and given its name when whole.
    const auto creates = platform.CallsNamed("CreateFileA");
    EXPECT_EQ(creates.front(), "CreateFileA(C:\\, 0x80000000, 0, 3, 33554432)");
    const auto made = std::find_if(creates.begin(), creates.end(), [](const std::string& call) {
        return call.rfind("CreateFileA(C:\\\\TOBRN.IMG.kelvara-", 0) == 0 && call.find(".tmp, 0x40000000, 1, 1, 128)") != std::string::npos;
    });
    ASSERT_NE(made, creates.end());
    const std::string temporary = made->substr(12, made->find(", ") - 12);
    EXPECT_EQ(platform.CallsNamed("MoveFileExA").back(), "MoveFileExA(" + temporary + ", C:\\\\TOBRN.IMG, 0)");
    EXPECT_FALSE(platform.files.count("C:\\Images\\TOBRN.IMG"));
}

TEST_F(ImageTest, AFailedRunStopsKeepsThePartialImageAndSaysHowMuchItHolds) {
    Drive(6000, 5000);
    platform.diskSpace = 3000 * 512 + 256;
    const ImageReport full = MakeImage("C:\\Images");
    EXPECT_FALSE(full.complete);
    EXPECT_EQ(full.failure, "TOBRN.IMG could not be written: There is not enough space on the disk.");
    EXPECT_EQ(IncompleteImageText(full, full.path),
              "The image C:\\Images\\TOBRN.IMG.partial is incomplete: it holds 3000 of 5000 sectors.");
    // Only a whole image is called TOBRN.IMG.
    EXPECT_FALSE(platform.files.count("C:\\Images\\TOBRN.IMG"));
    const Bytes& partial = platform.files.at("C:\\Images\\TOBRN.IMG.partial");
    EXPECT_EQ(Bytes(partial.begin(), partial.begin() + 3000 * 512), FirstSectors(3000));
    EXPECT_EQ(progress.done, 3000);
    EXPECT_EQ(platform.OpenHandles(), 0);

    platform.diskSpace = -1;
    int runs = 0;
    bool created = false;
    platform.onCall = [&](const std::string& call) {  // the card pulled after the first run
        created = created || call.rfind("CreateFileA(C:\\Images\\TOBRN.IMG.kelvara-", 0) == 0;
        if (created && call == "ReadFile(1048576)" && ++runs == 2) platform.drives['E'].volume.reset();
    };
    const ImageReport pulled = MakeImage("C:\\Images");
    EXPECT_EQ(pulled.sectorsWritten, 2048);
    EXPECT_EQ(pulled.failure.rfind("Drive E:\\ holds nothing from sector 2048 on", 0), 0u) << pulled.failure;
    // The first partial image is kept beside the second: either may be all that is left of a card.
    EXPECT_EQ(pulled.path, "C:\\Images\\TOBRN.IMG (2).partial");
    EXPECT_EQ(platform.files.at(pulled.path).size(), 2048u * 512);
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG.partial").size(), partial.size());
    EXPECT_EQ(platform.files.size(), 2u);  // no temporary left
    EXPECT_EQ(MakeImage("C:\\Gone").failure,
              "The folder C:\\Gone cannot be opened: The system cannot find the file specified.");
}

// Drive E with a camera's folders and a loose file and an old fill file in its root.
class WipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.AddVolume('E', 16);
        platform.folders.insert("E:\\");
        platform.folders.insert("E:\\DCIM");
        platform.files["E:\\DCIM\\IMG_0001.JPG"] = Bytes(3000, 1);
        platform.files["E:\\NOTES.TXT"] = Bytes(100, 2);
        platform.files["E:\\Wipe.img"] = Bytes(1026, 3);
    }
    // The medium takes `room` more bytes once the root files are gone; the platform says `claimed`.
    void Free(std::int64_t room, std::int64_t claimed) {
        platform.diskSpace = 3000 + room;
        platform.drives['E'].freeClusters = static_cast<DWORD>(claimed / 512);
    }
    static bool WholeBlocks(const Bytes& fill) {
        for (std::size_t i = 0; i < fill.size(); ++i)
            if (fill[i] != (i % 513 < 511 ? 0xFF : 0x00)) return false;
        return true;
    }
    WipeReport Wipe(std::int64_t blocks = 100) { return WipeDrive(platform, "E:\\", blocks, progress); }

    FakePlatform platform;
    FakeProgress progress;
};

TEST_F(WipeTest, DeletesRootFilesKeepsFoldersAndFillsTheFreeSpace) {
    Free(20000, 20000);
    const WipeReport report = Wipe();
    EXPECT_FALSE(platform.files.count("E:\\NOTES.TXT"));
    EXPECT_EQ(platform.files.at("E:\\DCIM\\IMG_0001.JPG"), Bytes(3000, 1));
    const Bytes& fill = platform.files.at("E:\\Wipe.img");
    EXPECT_EQ(fill.size(), 20000u);  // cut short by the full medium
    EXPECT_TRUE(WholeBlocks(fill));
    EXPECT_EQ(progress.total, 100);
    EXPECT_EQ(progress.advances, 100);
    EXPECT_TRUE(report.listed);
    EXPECT_EQ(report.deleteFailed, 0);
    EXPECT_TRUE(report.filled);
    EXPECT_FALSE(report.fillShort) << "a full medium is a good end";
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST_F(WipeTest, WithRoomForEveryBlockEveryBlockIsWritten) {
    Free(10'000'000, 10'000'000);
    Wipe(4500);  // more than one buffer of blocks
    EXPECT_EQ(platform.files.at("E:\\Wipe.img").size(), 4500u * 513);
    EXPECT_TRUE(WholeBlocks(platform.files.at("E:\\Wipe.img")));
    EXPECT_EQ(progress.done, 4500);
}

// A drive string that is no drive's root, or a drive whose root cannot be listed (an attached
// card image, an unmounted card), cannot be wiped: that is known before anything is asked.
TEST_F(WipeTest, OnlyADriveWithAListableRootCanBeWiped) {
    EXPECT_EQ(CheckWipe(platform, "E:\\"), WipeCheck::Ready);
    EXPECT_EQ(CheckWipe(platform, "Select Drive"), WipeCheck::NotADrive);  // would make the pattern relative to anywhere
    EXPECT_EQ(CheckWipe(platform, "G:\\"), WipeCheck::RootUnreadable);
    EXPECT_EQ(platform.files.size(), 3u);
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

TEST_F(WipeTest, WhatTheWipeCouldNotDoIsInItsReport) {
    platform.readOnly = true;  // a write-protected card
    WipeReport report = Wipe();
    EXPECT_EQ(progress.advances, 100);  // the passes still run
    EXPECT_EQ(report.deleteFailed, 2);
    EXPECT_EQ(report.firstDeleteFailure, "NOTES.TXT: The media is write protected.");
    EXPECT_FALSE(report.createFailure.empty());
    EXPECT_FALSE(report.filled);

    platform.readOnly = false;
    // The medium says 40000 bytes are free but refuses more after 10000, without saying it is full.
    Free(10000, 40000);
    report = Wipe();
    EXPECT_TRUE(report.fillShort);
    EXPECT_EQ(report.written, 10000u);
    EXPECT_EQ(report.freeBytes, 39936u);

    // Free space unknown: a full medium is a good end, anything else is not.
    platform.drives['E'].sizeKnown = false;
    platform.files.erase("E:\\Wipe.img");
    Free(10000, 0);
    EXPECT_FALSE(Wipe().fillShort);
    platform.diskSpace = -1;
    platform.onCall = [&](const std::string& call) {
        if (call == "WriteFile(51300)") platform.files.erase("E:\\Wipe.img");  // the card went away
    };
    report = Wipe();
    EXPECT_TRUE(report.fillShort);
    EXPECT_FALSE(report.freeBytes);
    EXPECT_EQ(report.written, 0u);
}

// Asked to stop (the window was closed), the wipe ends at once with the fill file closed.
TEST_F(WipeTest, AStopEndsTheFillAndClosesTheFile) {
    Free(10'000'000, 10'000'000);
    progress.onAdvance = [&] { progress.stopRequested = progress.advances == 3000; };
    const WipeReport report = Wipe(4500);
    EXPECT_EQ(progress.advances, 3000);
    EXPECT_EQ(platform.files.at("E:\\Wipe.img").size(), 3000u * 513);
    EXPECT_TRUE(WholeBlocks(platform.files.at("E:\\Wipe.img")));
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(report.fillShort);
}

}  // namespace
}  // namespace kelvara
