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
    const Bytes& Image() const { return platform.files.at("C:\\Images\\TOBRN.IMG"); }

    FakePlatform platform;
    FakeHost host;
};

TEST_F(ImageTest, ImageHoldsTheFirstTotalSectorsInOrder) {
    Drive(8, 3);
    EXPECT_TRUE(MakeImage(platform, host, "C:\\Images").complete);
    EXPECT_EQ(Image(), FirstSectors(3));  // 1,536 bytes
    EXPECT_EQ(host.progressMax, 3);
    EXPECT_EQ(host.progressValue, 3);

    // Several long runs, an older longer image, and another drive chosen during the run.
    Drive(5200, 5000);
    platform.AddVolume('F', 100);
    platform.files["C:\\Images\\TOBRN.IMG"] = Bytes(5200 * 512 + 77, 0xAB);
    host.yields = 0;
    std::int32_t lastValue = 0;
    bool steady = true;
    host.onYield = [&] {
        steady = steady && host.progressValue == lastValue + 1;
        lastValue = host.progressValue;
        host.drive = "F:\\";
        host.sectorsCaption = "100";
    };
    const ImageReport report = MakeImage(platform, host, "C:\\Images");
    EXPECT_TRUE(report.complete) << report.failure;
    // The image of another card keeps its name; this one takes the next.
    EXPECT_EQ(report.path, "C:\\Images\\TOBRN (2).IMG");
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG"), Bytes(5200 * 512 + 77, 0xAB));
    EXPECT_EQ(platform.files.at(report.path), FirstSectors(5000));
    EXPECT_TRUE(steady);  // one step of the bar and one yield per sector, though reads are long
    EXPECT_EQ(host.yields, 5000);
    EXPECT_LT(platform.CallsNamed("ReadFile").size(), 10u);
}

TEST_F(ImageTest, QuestionNamesTheFolderWithItsBackslash) {
    Drive(8, 3);
    host.answers = {false, true};
    ImageDisk(platform, host, "C:\\Images");
    ImageDisk(platform, host, "C:\\");
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0], std::make_pair(std::string("Make image at C:\\Images\\"), std::string("Make Image")));
    EXPECT_EQ(host.questions[1].first, "Make image at C:\\\\");
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
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ImageTest, AFailedRunStopsKeepsThePartialImageAndSaysHowMuchItHolds) {
    Drive(6000, 5000);
    platform.diskSpace = 3000 * 512 + 256;
    ImageDisk(platform, host, "C:\\Images");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first,
              "TOBRN.IMG could not be written: There is not enough space on the disk.\n\n"
              "The image C:\\Images\\TOBRN.IMG.partial is incomplete: it holds 3000 of 5000 sectors.");
    // Only a whole image is called TOBRN.IMG.
    EXPECT_FALSE(platform.files.count("C:\\Images\\TOBRN.IMG"));
    const Bytes& partial = platform.files.at("C:\\Images\\TOBRN.IMG.partial");
    EXPECT_EQ(Bytes(partial.begin(), partial.begin() + 3000 * 512), FirstSectors(3000));
    EXPECT_EQ(host.progressValue, 3000);
    EXPECT_EQ(platform.OpenHandles(), 0);

    platform.diskSpace = -1;
    int runs = 0;
    bool created = false;
    platform.onCall = [&](const std::string& call) {  // the card pulled after the first run
        created = created || call.rfind("CreateFileA(C:\\Images\\TOBRN.IMG.kelvara-", 0) == 0;
        if (created && call == "ReadFile(1048576)" && ++runs == 2) platform.drives['E'].volume.reset();
    };
    const ImageReport pulled = MakeImage(platform, host, "C:\\Images");
    EXPECT_EQ(pulled.sectorsWritten, 2048);
    EXPECT_EQ(pulled.failure.rfind("Drive E:\\ holds nothing from sector 2048 on", 0), 0u) << pulled.failure;
    // The first partial image is kept beside the second: either may be all that is left of a card.
    EXPECT_EQ(pulled.path, "C:\\Images\\TOBRN.IMG (2).partial");
    EXPECT_EQ(platform.files.at(pulled.path).size(), 2048u * 512);
    EXPECT_EQ(platform.files.at("C:\\Images\\TOBRN.IMG.partial").size(), partial.size());
    EXPECT_EQ(platform.files.size(), 2u);  // no temporary left
    EXPECT_EQ(MakeImage(platform, host, "C:\\Gone").failure,
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
        host.drive = "E:\\";
        host.sectorsCaption = "100";
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
    std::string Told() const { return host.messages.empty() ? "" : host.messages.back().first; }

    FakePlatform platform;
    FakeHost host;
};

TEST_F(WipeTest, DeletesRootFilesKeepsFoldersAndFillsTheFreeSpaceSilently) {
    Free(20000, 20000);
    DiskWipe(platform, host);
    EXPECT_EQ(host.questions.at(0),
              std::make_pair(std::string("Disk wipe will completely erase all data from the disk makeing any recovery "
                                         "attempt impossible.         Are you sure you want to wipe this disk?"),
                             std::string("Confrim")));
    EXPECT_FALSE(platform.files.count("E:\\NOTES.TXT"));
    EXPECT_EQ(platform.files.at("E:\\DCIM\\IMG_0001.JPG"), Bytes(3000, 1));
    const Bytes& fill = platform.files.at("E:\\Wipe.img");
    EXPECT_EQ(fill.size(), 20000u);  // cut short by the full medium
    EXPECT_TRUE(WholeBlocks(fill));
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(host.yields, 100);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST_F(WipeTest, WithRoomForEveryBlockTheCountIsReadBeforeEveryPass) {
    Free(10'000'000, 10'000'000);
    host.sectorsCaption = "4500";  // more than one buffer of blocks
    host.progressMax = 4000;
    bool wiping = true;
    host.onYield = [&] {
        wiping = wiping && host.status == "Wipeing";
        if (host.yields == 4200) host.sectorsCaption = "4300";
    };
    DiskWipe(platform, host);
    EXPECT_TRUE(wiping);
    EXPECT_EQ(platform.files.at("E:\\Wipe.img").size(), 4300u * 513);
    EXPECT_TRUE(WholeBlocks(platform.files.at("E:\\Wipe.img")));
    EXPECT_EQ(host.progressValue, 4000);  // values past the maximum are refused and passed over
    EXPECT_EQ(host.refusedProgress, 300);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(WipeTest, NoOrNoDriveLeavesEverything) {
    host.answers = {false};
    DiskWipe(platform, host);
    EXPECT_EQ(host.status, "Ready");
    host.sectorsCaption = "0";
    DiskWipe(platform, host);
    host.sectorsCaption = "100";
    host.drive = "Select Drive";  // would make the pattern relative to anywhere
    DiskWipe(platform, host);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(platform.files.size(), 3u);
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

TEST_F(WipeTest, WhatTheWipeCouldNotDoIsToldOnceAtTheEnd) {
    platform.readOnly = true;  // a write-protected card
    DiskWipe(platform, host);
    EXPECT_EQ(host.yields, 100);  // the passes still run
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(Told().rfind("The wipe of E:\\ is not complete.", 0), 0u) << Told();
    EXPECT_NE(Told().find("2 files in the root folder could not be deleted (NOTES.TXT: The media is write protected.)"),
              std::string::npos) << Told();
    EXPECT_NE(Told().find("Wipe.img could not be created"), std::string::npos);

    platform.readOnly = false;
    // The medium says 40000 bytes are free but refuses more after 10000, without saying it is full.
    host.drive = "E:\\";
    Free(10000, 40000);
    DiskWipe(platform, host);
    EXPECT_NE(Told().find("only 10000 bytes of the 39936 bytes free were overwritten"), std::string::npos) << Told();

    // Free space unknown: a full medium is a good end, anything else is not.
    platform.drives['E'].sizeKnown = false;
    platform.files.erase("E:\\Wipe.img");
    Free(10000, 0);
    DiskWipe(platform, host);
    EXPECT_EQ(host.messages.size(), 2u);
    platform.diskSpace = -1;
    platform.onCall = [&](const std::string& call) {
        if (call == "WriteFile(51300)") platform.files.erase("E:\\Wipe.img");  // the card went away
    };
    DiskWipe(platform, host);
    EXPECT_NE(Told().find("the writing stopped after 0 bytes"), std::string::npos) << Told();
}

// An attached card image or an unmounted card: its root cannot be listed, so nothing can be
// deleted or filled. That is said before the question, and nothing else happens.
TEST_F(WipeTest, ADriveWithoutAReadableRootIsToldBeforeTheQuestionAndLeftAlone) {
    host.drive = "G:\\";
    host.status = "Ready";
    DiskWipe(platform, host);
    EXPECT_TRUE(host.questions.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(Told().rfind("Drive G:\\ cannot be wiped: its root folder cannot be read. The system cannot find the "
                           "path specified.",
                           0),
              0u)
        << Told();
    EXPECT_NE(Told().find("it needs the card mounted"), std::string::npos) << Told();
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(host.yields, 0);
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

// Asked to stop (the window was closed), the wipe ends at once with the fill file closed.
TEST_F(WipeTest, AStopEndsTheFillAndClosesTheFile) {
    Free(10'000'000, 10'000'000);
    host.sectorsCaption = "4500";
    host.onYield = [&] { host.stopRequested = host.yields == 3000; };
    DiskWipe(platform, host);
    EXPECT_EQ(host.yields, 3000);
    EXPECT_EQ(platform.files.at("E:\\Wipe.img").size(), 3000u * 513);
    EXPECT_TRUE(WholeBlocks(platform.files.at("E:\\Wipe.img")));
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(host.status, "Ready");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(Told().find("stopped at your request"), std::string::npos) << Told();
}

}  // namespace
}  // namespace kelvara
