// The disk image and the disk wipe against the recording platform double: the bytes of the
// files they make, what they take from the window and when, and when the user is told.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/fake_host.h"
#include "tests/support/fake_platform.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

using testing::FakeHost;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

class ImageTest : public ::testing::Test {
protected:
    // Drive E of `sectors` sectors, every byte telling where it lies, chosen with `total` shown.
    void Drive(std::int64_t sectors, std::int32_t total) {
        auto& volume = platform.AddVolume('E', sectors);
        for (std::size_t i = 0; i < volume.size(); ++i) volume[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
        host.drive = "E:\\";
        host.sectorsCaption = std::to_string(total);
        platform.folders.insert("C:\\Images");
    }
    Bytes FirstSectors(std::int64_t count) const {
        const auto& volume = *platform.drives.at('E').volume;
        return Bytes(volume.begin(), volume.begin() + count * 512);
    }

    FakePlatform platform;
    FakeHost host;
};

TEST_F(ImageTest, ImageHoldsTheFirstTotalSectorsInOrder) {
    Drive(8, 3);
    const ImageReport report = MakeImage(platform, host, "C:\\Images");
    EXPECT_TRUE(report.complete) << report.failure;
    EXPECT_EQ(report.path, "C:\\Images\\TOBRN.IMG");
    EXPECT_EQ(platform.files.at(report.path).size(), 1536u);
    EXPECT_EQ(platform.files.at(report.path), FirstSectors(3));
    EXPECT_EQ(host.progressMax, 3);
    EXPECT_EQ(host.progressValue, 3);
    EXPECT_EQ(host.yields, 3);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ImageTest, LongRunsStitchTogetherAndAnOlderLongerImageIsShortened) {
    Drive(5200, 5000);
    platform.files["C:\\Images\\TOBRN.IMG"] = Bytes(5200 * 512 + 77, 0xAB);
    std::int32_t lastValue = 0;
    bool steady = true;
    host.onYield = [&] {
        steady = steady && host.progressValue == lastValue + 1;
        lastValue = host.progressValue;
    };
    ImageDisk(platform, host, "C:\\Images");
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG"), FirstSectors(5000));
    // One yield and one step of the bar per sector, though the reads are long.
    EXPECT_TRUE(steady);
    EXPECT_EQ(host.yields, 5000);
    EXPECT_LT(platform.CallsNamed("ReadFile").size(), 10u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ImageTest, TheDriveAndTotalAreThoseItStartedWith) {
    Drive(3000, 2500);
    platform.AddVolume('F', 100);
    host.onYield = [&] {
        host.drive = "F:\\";
        host.sectorsCaption = "100";
    };
    const ImageReport report = MakeImage(platform, host, "C:\\Images");
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(platform.files.at(report.path), FirstSectors(2500));
    EXPECT_EQ(platform.CallsNamed("CreateFileA").size(), platform.CallsNamed("CloseHandle").size());
}

TEST_F(ImageTest, QuestionNamesTheFolderWithItsBackslash) {
    Drive(8, 3);
    host.answers = {false, true};
    ImageDisk(platform, host, "C:\\Images");
    ImageDisk(platform, host, "C:\\");
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0], std::make_pair(std::string("Make image at C:\\Images\\"), std::string("Make Image")));
    EXPECT_EQ(host.questions[1].first, "Make image at C:\\\\");
    // No wrote nothing; Yes at the root wrote by plain concatenation.
    EXPECT_FALSE(platform.files.count("C:\\Images\\TOBRN.IMG"));
    EXPECT_EQ(platform.CallsNamed("CreateFileA").front(), "CreateFileA(C:\\\\TOBRN.IMG, 0x40000000, 0, 2, 128)");
    EXPECT_EQ(platform.files.at("C:\\TOBRN.IMG"), FirstSectors(3));
}

TEST_F(ImageTest, AFailedRunStopsKeepsThePartialImageAndSaysHowMuchItHolds) {
    Drive(6000, 5000);
    // Room for 3000 sectors and half of another.
    platform.diskSpace = 3000 * 512 + 256;
    ImageDisk(platform, host, "C:\\Images");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first,
              "TOBRN.IMG could not be written: There is not enough space on the disk.\n\n"
              "The image C:\\Images\\TOBRN.IMG is incomplete: it holds 3000 of 5000 sectors.");
    EXPECT_EQ(host.progressValue, 3000);
    const Bytes& kept = platform.files.at("C:\\Images\\TOBRN.IMG");
    EXPECT_EQ(Bytes(kept.begin(), kept.begin() + 3000 * 512), FirstSectors(3000));
    EXPECT_EQ(platform.OpenHandles(), 0);

    // The card pulled after the first run.
    platform.diskSpace = -1;
    host.messages.clear();
    int opens = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("CreateFileA(\\\\.\\E:", 0) == 0 && ++opens == 2) platform.drives['E'].volume.reset();
    };
    const ImageReport pulled = MakeImage(platform, host, "C:\\Images");
    EXPECT_FALSE(pulled.complete);
    EXPECT_EQ(pulled.sectorsWritten, 2048);
    EXPECT_EQ(pulled.failure.rfind("Drive E:\\ could not be read at sector 2048: ", 0), 0u) << pulled.failure;
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG").size(), 2048u * 512);

    // A destination that is not there.
    const ImageReport nowhere = MakeImage(platform, host, "C:\\Gone");
    EXPECT_EQ(nowhere.sectorsWritten, 0);
    EXPECT_EQ(nowhere.failure, "TOBRN.IMG could not be created in C:\\Gone: The system cannot find the path specified.");
}

// Drive E with a camera's folders and a few loose files in its root; `free` bytes of room.
class WipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.AddVolume('E', 16);
        platform.folders.insert("E:\\");
        platform.folders.insert("E:\\DCIM");
        platform.files["E:\\DCIM\\IMG_0001.JPG"] = Bytes(3000, 1);
        platform.files["E:\\NOTES.TXT"] = Bytes(100, 2);
        platform.files["E:\\Wipe.img"] = Bytes(1026, 3);
        host.drive = "E:\\";
        host.sectorsCaption = "100";
    }
    // The medium has `free` bytes after the root files went; the platform says `claimed`.
    void Free(std::int64_t free, std::int64_t claimed) {
        platform.diskSpace = 3000 + free;
        platform.drives['E'].freeClusters = static_cast<DWORD>(claimed / 512);
    }
    static bool WholeBlocks(const Bytes& fill) {
        for (std::size_t i = 0; i < fill.size(); ++i)
            if (fill[i] != (i % 513 < 511 ? 0xFF : 0x00)) return false;
        return true;
    }

    FakePlatform platform;
    FakeHost host;
};

TEST_F(WipeTest, DeletesRootFilesKeepsFoldersAndFillsTheFreeSpace) {
    Free(20000, 20000);
    DiskWipe(platform, host);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].second, "Confrim");
    EXPECT_EQ(host.questions[0].first,
              "Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible."
              "         Are you sure you want to wipe this disk?");
    EXPECT_FALSE(platform.files.count("E:\\NOTES.TXT"));
    EXPECT_EQ(platform.files.at("E:\\DCIM\\IMG_0001.JPG"), Bytes(3000, 1));
    EXPECT_TRUE(platform.folders.count("E:\\DCIM"));
    // The old fill file went with the root files; the new one is the block stream, cut by the full medium.
    const Bytes& fill = platform.files.at("E:\\Wipe.img");
    EXPECT_EQ(fill.size(), 20000u);
    EXPECT_TRUE(WholeBlocks(fill));
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(host.yields, 100);
    EXPECT_EQ(host.progressValue, 100);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST_F(WipeTest, RoomForEveryBlockWritesExactlyNBlocks) {
    host.sectorsCaption = "4500";  // more than one batch
    host.progressMax = 4000;
    Free(10'000'000, 10'000'000);
    std::vector<std::string> statuses;
    host.onYield = [&] { statuses.push_back(host.status); };
    DiskWipe(platform, host);
    const Bytes& fill = platform.files.at("E:\\Wipe.img");
    EXPECT_EQ(fill.size(), 4500u * 513);
    EXPECT_TRUE(WholeBlocks(fill));
    EXPECT_EQ(statuses.front(), "Wipeing");
    // The bar keeps its maximum; values past it are refused and passed over.
    EXPECT_EQ(host.progressMax, 4000);
    EXPECT_EQ(host.progressValue, 4000);
    EXPECT_EQ(host.refusedProgress, 500);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WipeTest, TheCountIsReadBeforeEveryPass) {
    Free(10'000'000, 10'000'000);
    host.onYield = [&] {
        if (host.yields == 10) host.sectorsCaption = "40";
    };
    DiskWipe(platform, host);
    EXPECT_EQ(host.yields, 40);
    EXPECT_EQ(platform.files.at("E:\\Wipe.img").size(), 40u * 513);
}

TEST_F(WipeTest, NoOrNoDriveLeavesEverything) {
    host.answers = {false};
    DiskWipe(platform, host);
    EXPECT_EQ(host.status, "Ready");
    host.sectorsCaption = "0";
    host.status = "Scaning. .";
    DiskWipe(platform, host);
    EXPECT_EQ(host.status, "Scaning. .");
    EXPECT_EQ(host.questions.size(), 1u);
    // A drive text that is no drive's root would make the pattern relative to anywhere.
    host.sectorsCaption = "100";
    host.drive = "Select Drive";
    DiskWipe(platform, host);
    EXPECT_EQ(host.questions.size(), 1u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(platform.files.size(), 3u);
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

TEST_F(WipeTest, FailuresAreToldOnceAtTheEnd) {
    // A write-protected card: nothing deleted, no fill file.
    platform.readOnly = true;
    DiskWipe(platform, host);
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(host.yields, 100);  // the passes still run
    ASSERT_EQ(host.messages.size(), 1u);
    const std::string& text = host.messages[0].first;
    EXPECT_EQ(text.rfind("The wipe of E:\\ is not complete.", 0), 0u) << text;
    EXPECT_NE(text.find("2 files in the root folder could not be deleted (NOTES.TXT: The media is write protected.)"),
              std::string::npos) << text;
    EXPECT_NE(text.find("Wipe.img could not be created"), std::string::npos) << text;

    // A drive whose root is nowhere: nothing to delete from, nothing written.
    platform.readOnly = false;
    host.messages.clear();
    host.drive = "G:\\";
    DiskWipe(platform, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find("The root folder G:\\ could not be read"), std::string::npos);
    EXPECT_NE(host.messages[0].first.find("Wipe.img could not be created"), std::string::npos);
}

TEST_F(WipeTest, AFillThatStopsShortOfTheFreeSpaceIsToldEvenWithoutADiskFullError) {
    // The medium says 40000 bytes are free, but refuses more after 10000.
    Free(10000, 40000);
    DiskWipe(platform, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find("only 10000 bytes of the 39936 bytes free were overwritten"),
              std::string::npos)
        << host.messages[0].first;

    // Free space unknown: a full medium is a good end, anything else is not.
    host.messages.clear();
    platform.drives['E'].sizeKnown = false;
    platform.files.erase("E:\\Wipe.img");
    Free(10000, 0);
    DiskWipe(platform, host);
    EXPECT_TRUE(host.messages.empty());

    platform.diskSpace = -1;
    platform.onCall = [&](const std::string& call) {
        if (call == "WriteFile(51300)") platform.files.erase("E:\\Wipe.img");  // the card went away
    };
    DiskWipe(platform, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find("the writing stopped after 0 bytes"), std::string::npos)
        << host.messages[0].first;
}

}  // namespace
}  // namespace kelvara
