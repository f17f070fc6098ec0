// Saving found photos and writing the preview files, against the recording platform double:
// where each photo is cut, what the files are called and hold, and what the user is told
// when a photo cannot be saved.

#include <gtest/gtest.h>

#include <algorithm>

#include "diskio/disk_error.h"
#include "photos/end_marker.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "scan/signature.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_platform.h"

namespace kelvara {
namespace {

using testing::FakeHost;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

TEST(EndMarker, FindsTheLastPairFromIndexFiveOn) {
    const Bytes endsWithMarker = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 0xFF, 0xD9};
    EXPECT_EQ(FindLastEndMarker(endsWithMarker, 0xFF, 0xD9), 8u);

    const Bytes several = {0xFF, 0xD8, 0, 0, 0, 0xFF, 0xD9, 7, 0xFF, 0xD9, 9, 9, 0xFF, 0xD9, 0, 0};
    EXPECT_EQ(FindLastEndMarker(several, 0xFF, 0xD9), 12u);

    // A pair starting at 0 to 4 is the photo's own header, never its end; 5 is the first that counts.
    for (std::size_t at = 0; at <= 4; ++at) {
        Bytes early(20, 0);
        early[at] = 0xFF;
        early[at + 1] = 0xD9;
        EXPECT_FALSE(FindLastEndMarker(early, 0xFF, 0xD9)) << at;
    }
    Bytes atFive(7, 0);
    atFive[5] = 0xFF;
    atFive[6] = 0xD9;
    EXPECT_EQ(FindLastEndMarker(atFive, 0xFF, 0xD9), 5u);

    // Too short to hold a counted pair, and a first byte at the very end with no second.
    EXPECT_FALSE(FindLastEndMarker(Bytes{0xFF}, 0xFF, 0xD9));
    EXPECT_FALSE(FindLastEndMarker(Bytes{0xFF, 0xD9, 0xFF, 0xD9, 0xFF, 0xD9}, 0xFF, 0xD9));
    EXPECT_FALSE(FindLastEndMarker(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xD9, 0xFF}, 0xFF, 0xD9));
    // Each kind looks only for its own marker.
    EXPECT_EQ(FindLastEndMarker(several, 0x00, 0x3B), std::nullopt);
}

TEST(EndMarker, CutKeepsEverythingUpToTheMarkerOrTheWholeBuffer) {
    SectorBuffer tail(8192, 0x11);
    tail[0] = 0xFF;
    tail[1] = 0xD8;
    tail[8192 - 3002] = 0xFF;
    tail[8192 - 3001] = 0xD9;
    CutAfterLastEndMarker(tail, 0xFF, 0xD9);
    EXPECT_EQ(tail.size(), 8192u - 3000u);
    EXPECT_EQ(tail.back(), 0xD9);

    SectorBuffer none(1024, 0);
    none[2] = 0xFF;
    none[3] = 0xD9;
    CutAfterLastEndMarker(none, 0xFF, 0xD9);
    EXPECT_EQ(none.size(), 1024u);
}

// A card in drive E: whose photos the test lays out, with the records a scan would make.
class PhotoTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.folders.insert("C:\\Out");
        volume = &platform.AddVolume('E', 64);
        host.drive = "E:\\";
    }
    // Puts a photo at `sector` and records it as entry `index`, running to `end`.
    void Photo(int index, std::int32_t sector, std::int32_t end, const Bytes& bytes, const char* kind = kJpegKind) {
        std::copy(bytes.begin(), bytes.end(), volume->begin() + sector * 512);
        FoundPhoto& photo = table[static_cast<std::size_t>(index)];
        photo = {sector, end, kind, EndMarkerFor(kind), "E:\\"};
    }
    Bytes Run(std::int32_t sector, std::size_t length) const {
        return Bytes(volume->begin() + sector * 512, volume->begin() + sector * 512 + length);
    }
    const Bytes& File(const std::string& path) { return platform.files.at(path); }
    std::vector<std::string> CallsStarting(const std::string& start) const {
        std::vector<std::string> out;
        for (const auto& call : platform.calls)
            if (call.rfind(start, 0) == 0) out.push_back(call);
        return out;
    }

    FakePlatform platform;
    FakeHost host;
    FoundPhotoTable table;
    std::vector<std::uint8_t>* volume = nullptr;
};

Bytes Jpeg(std::size_t length, std::uint8_t fill = 0x42) {
    Bytes bytes(length, fill);
    bytes[0] = 0xFF;
    bytes[1] = 0xD8;
    bytes[length - 2] = 0xFF;
    bytes[length - 1] = 0xD9;
    return bytes;
}

TEST_F(PhotoTest, SavedFileIsTheRunCutAfterItsOwnKindsMarker) {
    const Bytes jpeg = Jpeg(700);
    Photo(0, 2, 5, jpeg);  // three sectors, zeros after the photo
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 0xFF, 0xD9, 3, 0x00, 0x3B, 4, 0x00, 0x3B};
    Photo(1, 5, 6, gif, kGifKind);
    volume->at(6 * 512 - 1) = 0xFF;  // a stray FF D9 past the GIF's end does not matter to it
    volume->at(6 * 512 - 2) = 0xFF;
    Bytes whole(1024, 0x33);
    whole[0] = 0xFF;
    whole[1] = 0xD8;
    whole[2] = 0xFF;
    whole[3] = 0xD9;
    Photo(2, 6, 8, whole);  // no pair from index 5 on: written at the length read

    EXPECT_EQ(SaveFile(platform, host, table, 0, "C:\\Out", "Image"), "C:\\Out\\Image001.JPG");
    EXPECT_EQ(File("C:\\Out\\Image001.JPG"), jpeg);
    EXPECT_EQ(SaveFile(platform, host, table, 1, "C:\\Out", "Image"), "C:\\Out\\Image002.GIF");
    EXPECT_EQ(File("C:\\Out\\Image002.GIF"), Bytes(gif.begin(), gif.end()));
    SaveFile(platform, host, table, 2, "C:\\Out", "Image");
    EXPECT_EQ(File("C:\\Out\\Image003.JPG"), whole);
    // Reads once per photo, the whole run, and yields before and after each.
    EXPECT_EQ(platform.CallsNamed("ReadFile").front(), "ReadFile(1536)");
    EXPECT_EQ(host.yields, 6);
}

TEST_F(PhotoTest, NamesFollowTheListAndTheCurrentPrefix) {
    const Bytes jpeg = Jpeg(512);
    for (const int index : {8, 9, 98, 99, 500}) Photo(index, 1, 2, jpeg);
    for (const auto& [index, name] : std::vector<std::pair<int, std::string>>{
             {8, "Image009.JPG"}, {9, "Image010.JPG"}, {98, "Image099.JPG"}, {99, "Image100.JPG"}, {500, "Image501.JPG"}})
        EXPECT_EQ(SaveFile(platform, host, table, index, "C:\\Out", "Image"), "C:\\Out\\" + name);
    EXPECT_EQ(SaveFile(platform, host, table, 8, "C:\\", "Pic"), "C:\\\\Pic009.JPG");
    EXPECT_TRUE(platform.files.count("C:\\Pic009.JPG"));

    const auto writes = CallsStarting("CreateFileA(C:").size();
    for (const int outside : {-1, 501}) EXPECT_THROW(SaveFile(platform, host, table, outside, "C:\\Out", "Image"), SaveError);
    // The dialog's cancel marker and an empty folder are never written into.
    EXPECT_THROW(SaveFile(platform, host, table, 8, "No", "Image"), SaveError);
    EXPECT_THROW(SaveFile(platform, host, table, 8, "", "Image"), SaveError);
    EXPECT_EQ(CallsStarting("CreateFileA(C:").size(), writes);
}

TEST_F(PhotoTest, SavingAgainOverALongerFileLeavesNoOldTail) {
    platform.files["C:\\Out\\Image001.JPG"] = Bytes(5000, 0xEE);
    const Bytes jpeg = Jpeg(600);
    Photo(0, 0, 2, jpeg);
    SaveFile(platform, host, table, 0, "C:\\Out", "Image");
    SaveFile(platform, host, table, 0, "C:\\Out", "Image");
    EXPECT_EQ(File("C:\\Out\\Image001.JPG"), jpeg);
}

TEST_F(PhotoTest, ARunTooLongForOneReadIsRefusedBeforeAnythingIsReadOrWritten) {
    table[0] = {10, 10 + 4194304, ".JPG", EndMarkerFor(kJpegKind), "E:\\"};
    try {
        SaveFile(platform, host, table, 0, "C:\\Out", "Image");
        FAIL() << "saved";
    } catch (const SaveError& error) {
        EXPECT_NE(std::string(error.what()).find("Image001.JPG"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(platform.CallsNamed("CreateFileA").empty());
}

TEST_F(PhotoTest, SaveAllSkipsWhatFailsAndSaysSoOnce) {
    for (int i = 0; i < 3; ++i) Photo(i, 4 * i, 4 * i + 4, Jpeg(1500, static_cast<std::uint8_t>(i + 1)));
    // Room for the first photo and half of the second.
    platform.diskSpace = 1500 + 700;
    std::vector<std::string> statuses;
    host.onYield = [&] { statuses.push_back(host.status); };

    const SaveReport report = SavePhotos(platform, host, table, {0, 1, 2}, "C:\\Out", "Image");

    EXPECT_EQ(report.written, std::vector<std::string>{"C:\\Out\\Image001.JPG"});
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(report.firstFailure, "Image002.JPG could not be written: There is not enough space on the disk.");
    // The half-written photo is not left behind looking like a good file.
    EXPECT_FALSE(platform.files.count("C:\\Out\\Image002.JPG"));
    EXPECT_FALSE(platform.files.count("C:\\Out\\Image003.JPG"));
    EXPECT_TRUE(std::all_of(statuses.begin(), statuses.end(), [](const std::string& s) { return s == "Saveing"; }));
    EXPECT_EQ(host.status, "Ready");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first,
              "Saved 1 of 3 photos; 2 could not be saved.\n\n"
              "Image002.JPG could not be written: There is not enough space on the disk.");
    EXPECT_EQ(host.messages[0].second, "Kelvara");

    // A read-only destination: nothing saved, the reason given.
    platform.diskSpace = -1;
    platform.readOnly = true;
    host.messages.clear();
    SavePhotos(platform, host, table, {2}, "C:\\Out", "Image");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first,
              "Saved 0 of 1 photo; 1 could not be saved.\n\nImage003.JPG could not be written: The media is write protected.");

    // All saved: no message at all.
    platform.readOnly = false;
    host.messages.clear();
    EXPECT_EQ(SavePhotos(platform, host, table, {0, 1, 2}, "C:\\Out", "Image").written.size(), 3u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(PhotoTest, ACardPulledDuringSaveAllCostsOnlyThePhotosItCouldNotRead) {
    for (int i = 0; i < 3; ++i) Photo(i, 4 * i, 4 * i + 4, Jpeg(900, static_cast<std::uint8_t>(i + 1)));
    auto card = platform.drives['E'].volume;
    int opens = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("CreateFileA(\\\\.\\E:", 0) == 0 && ++opens == 2) platform.drives['E'].volume.reset();
    };
    // Put back in before the third photo.
    host.onYield = [&] {
        if (opens == 2) platform.drives['E'].volume = card;
    };

    const SaveReport report = SavePhotos(platform, host, table, {0, 1, 2}, "C:\\Out", "Image");
    EXPECT_EQ(report.written, (std::vector<std::string>{"C:\\Out\\Image001.JPG", "C:\\Out\\Image003.JPG"}));
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.firstFailure.rfind("Image002.JPG could not be read: ", 0), 0u) << report.firstFailure;
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(File("C:\\Out\\Image003.JPG"), Jpeg(900, 3));
}

TEST(PreviewPage, IsOneLineAroundTheTempFolderEscapingOnlyWhatWouldBreakIt) {
    EXPECT_EQ(PreviewPageText("C:\\Temp\\"),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"C:\\Temp\\TB.jpg\" width=\"256\" "
              "height=\"256\"></body>");
    EXPECT_EQ(PreviewPageText("/home/ann/.cache/kelvara-1000 (x)/"),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"/home/ann/.cache/kelvara-1000 (x)/TB.jpg\" "
              "width=\"256\" height=\"256\"></body>");
    EXPECT_EQ(PreviewPageText("C:\\a\"b&c<d>\\"),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"C:\\a&quot;b&amp;c&lt;d>\\TB.jpg\" "
              "width=\"256\" height=\"256\"></body>");
    EXPECT_EQ(PreviewPageText(""),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"TB.jpg\" width=\"256\" height=\"256\"></body>");
}

TEST(PreviewTemp, AsksWithA256CharacterBufferAndAgainWhenThePathIsLonger) {
    FakePlatform platform;
    EXPECT_EQ(PreviewTempFolder(platform), "C:\\Temp\\");
    EXPECT_EQ(platform.calls, std::vector<std::string>{"GetTempPathA(256)"});
    platform.tempPath = "C:\\" + std::string(300, 'x') + "\\";
    EXPECT_EQ(PreviewTempFolder(platform), platform.tempPath);
}

TEST_F(PhotoTest, PreviewFilesHoldTheCutPhotoAndThePageAndNothingOld) {
    const Bytes longer = Jpeg(1500, 0x10);
    const Bytes shorter = Jpeg(300, 0x20);
    Photo(0, 0, 4, longer);
    Photo(1, 4, 8, shorter);
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 0xFF, 0xD9, 3, 0x00, 0x3B};
    Photo(2, 8, 9, gif, kGifKind);

    EXPECT_EQ(WritePreviewFiles(platform, table[0], "C:\\Temp\\"), "C:\\Temp\\TB001.htm");
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), longer);
    const std::string page = PreviewPageText("C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB001.htm"), Bytes(page.begin(), page.end()));

    WritePreviewFiles(platform, table[1], "C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), shorter);
    // A GIF is shown as a JPEG would be: cut after its last FF D9.
    WritePreviewFiles(platform, table[2], "C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), Bytes(gif.begin(), gif.begin() + 10));

    // Each file is deleted, then created new: never opened through whatever holds the name.
    const auto creates = CallsStarting("CreateFileA(C:");
    ASSERT_EQ(creates.size(), 6u);
    for (const auto& call : creates) EXPECT_EQ(call.substr(call.size() - 9), ", 1, 128)") << call;
    const auto& calls = platform.calls;
    const auto del = std::find(calls.begin(), calls.end(), "DeleteFileA(C:\\Temp\\TB.jpg)");
    const auto create = std::find_if(calls.begin(), calls.end(),
                                     [](const std::string& c) { return c.rfind("CreateFileA(C:\\Temp\\TB.jpg", 0) == 0; });
    EXPECT_LT(del, create);
}

TEST_F(PhotoTest, PreviewThatCannotReadWritesNothing) {
    Photo(0, 0, 4, Jpeg(1500));
    platform.files["C:\\Temp\\TB.jpg"] = Bytes{1, 2, 3};
    const auto card = platform.drives['E'].volume;
    platform.drives['E'].volume.reset();
    EXPECT_THROW(WritePreviewFiles(platform, table[0], "C:\\Temp\\"), DiskError);
    table[0].EndSector = INT32_MAX;
    table[0].StartSector = -2;
    EXPECT_THROW(WritePreviewFiles(platform, table[0], "C:\\Temp\\"), DiskError);
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), (Bytes{1, 2, 3}));

    // A file step that fails is passed over; the page is still written.
    platform.drives['E'].volume = card;
    table[0] = {0, 4, ".JPG", EndMarkerFor(kJpegKind), "E:\\"};
    platform.folders.erase("C:\\Temp");
    EXPECT_NO_THROW(WritePreviewFiles(platform, table[0], "C:\\Temp\\"));
}

}  // namespace
}  // namespace kelvara
