// Saving found photos and writing the preview files, against the recording platform double:
// where each photo is cut, what the files are called and hold, and what the user is told.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "diskio/disk_error.h"
#include "photos/card_entry.h"
#include "photos/card_names.h"
#include "photos/card_window.h"
#include "photos/cluster_grid.h"
#include "photos/drive_bytes.h"
#include "photos/end_marker.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "photos/scan_and_save.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_progress.h"
#include "tests/support/hostile_cards.h"
#include "tests/support/run_commands.h"
#include "scan/scan.h"

namespace kelvara {
namespace {

const FileKind kJpeg = *formats::KindOfExtension(".JPG"), kGif = *formats::KindOfExtension(".GIF");

using testing::FakeProgress;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

TEST(EndMarker, OnlyTheLastPairFromIndexFiveOnCounts) {
    const Bytes several = {0xFF, 0xD8, 0, 0, 0, 0xFF, 0xD9, 7, 0xFF, 0xD9, 9, 9, 0xFF, 0xD9, 0, 0};
    EXPECT_EQ(FindLastEndMarker(several, 0xFF, 0xD9), 12u);
    EXPECT_EQ(FindLastEndMarker(Bytes{0, 0, 0, 0, 0, 0xFF, 0xD9}, 0xFF, 0xD9), 5u);
    EXPECT_EQ(FindLastEndMarker(several, 0x00, 0x3B), std::nullopt);
    for (std::size_t at = 0; at <= 4; ++at) {  // the photo's own header, never its end
        Bytes early(20, 0);
        early[at] = 0xFF;
        early[at + 1] = 0xD9;
        EXPECT_FALSE(FindLastEndMarker(early, 0xFF, 0xD9)) << at;
    }
    EXPECT_FALSE(FindLastEndMarker(Bytes{0xFF}, 0xFF, 0xD9));
    EXPECT_FALSE(FindLastEndMarker(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xD9, 0xFF}, 0xFF, 0xD9));

    Bytes tail(8192, 0x11);
    tail[8192 - 3002] = 0xFF;
    tail[8192 - 3001] = 0xD9;
    EXPECT_EQ(FindLastEndMarker(tail, 0xFF, 0xD9), 8192u - 3002u);

    // Searched back a block at a time: a marker across two blocks, and one far from the end.
    Bytes blocks(3 << 20, 0x11);
    blocks[(2 << 20) - 1] = 0xFF;
    blocks[2 << 20] = 0xD9;
    EXPECT_EQ(FindLastEndMarker(blocks, 0xFF, 0xD9), (2u << 20) - 1);
    blocks[(2 << 20) - 1] = 0x11;
    blocks[7] = 0xFF;
    blocks[8] = 0xD9;
    EXPECT_EQ(FindLastEndMarker(blocks, 0xFF, 0xD9), 7u);
}

// Photos start at cluster starts; thumbnails and chance signatures inside them anywhere.
TEST(ClusterGrid, IsWhereMostPhotosStartWhateverStartsBetween) {
    const std::int64_t data = 1227;  // the data area's first sector, as FAT lays it: odd
    std::vector<std::int64_t> starts = {data + 5, data + 70, data + 301};
    for (const std::int64_t cluster : {0, 3, 4, 9, 10, 11, 17, 30, 31, 44}) starts.push_back(data + cluster * 16);
    std::sort(starts.begin(), starts.end());
    FoundPhotoTable table;
    for (const std::int64_t start : starts) table.push_back({start, 0, {}, {}, "D:\\"});
    const ClusterGrid grid = InferClusterGrid(table, "D:\\");
    EXPECT_EQ(grid.clusterBytes, 16u * 512);
    EXPECT_TRUE(grid.IsStart(static_cast<std::uint64_t>(data + 9 * 16) * 512));
    EXPECT_FALSE(grid.IsStart(static_cast<std::uint64_t>(data + 9 * 16 + 8) * 512));
    EXPECT_EQ(grid.StartAtOrAfter(static_cast<std::uint64_t>(data + 1) * 512), static_cast<std::uint64_t>(data + 16) * 512);

    // Three photos could lie on any grid by chance: none is taken.
    EXPECT_FALSE(InferClusterGrid(FoundPhotoTable{{data, 0, {}, {}, "D:\\"}, {data + 64, 0, {}, {}, "D:\\"},
                                                  {data + 128, 0, {}, {}, "D:\\"}},
                                  "D:\\")
                     .Known());
}

TEST(DriveBytes, ALongRunReadsTheSameOnBothFamiliesInBoundedPieces) {
    FakePlatform platform;
    auto& bytes = platform.AddVolume('E', 70000);
    for (std::size_t i = 0; i < bytes.size(); i += 512) bytes[i] = static_cast<std::uint8_t>(i / 512);
    for (const DWORD id : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        platform.platformId = id;
        platform.calls.clear();
        int reads = 0;
        SectorSource card(platform, "E:\\");
        DriveBytes run(card, 1000, 69000, 69000, [&] { ++reads; });
        std::uint64_t at = 0;
        for (auto piece = run.From(0); !piece.empty(); piece = run.From(at)) {
            EXPECT_LE(piece.size(), 16u << 20);  // never the whole run at once
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), bytes.begin() + 1000 * 512 + at)) << id << " " << at;
            at += piece.size();
        }
        EXPECT_EQ(at, 68000u * 512);
        EXPECT_EQ(reads, 34);  // 2,048 sectors a read, which the 9x service takes in one call
        EXPECT_FALSE(run.VolumeEnd());
    }
    // The first read ends with the photo's run; reading on past it goes by whole mebibytes again.
    platform.platformId = VER_PLATFORM_WIN32_NT;
    platform.calls.clear();
    SectorSource card(platform, "E:\\");
    DriveBytes run(card, 1000, 1100, 69000);
    EXPECT_EQ(run.From(0).size(), 100u * 512);
    EXPECT_EQ(run.From(100 * 512).size(), 1948u * 512);
    EXPECT_EQ(run.From(2048 * 512).size(), 2048u * 512);
    EXPECT_EQ(platform.CallsNamed("ReadFile"), (std::vector<std::string>{"ReadFile(51200)", "ReadFile(997376)", "ReadFile(1048576)"}));

    // A photo's end looked for from the back, its head looked at, then the photo written out
    // front to back: each piece comes from the drive once.
    platform.calls.clear();
    DriveBytes photo(card, 0, 69000, 69000);
    for (std::uint64_t piece = 20; piece-- > 0;) EXPECT_FALSE(photo.From(piece << 20).empty());
    for (std::uint64_t at = 0; at < 20u << 20; at += photo.From(at).size()) EXPECT_EQ(photo.From(at)[0], bytes[at]);
    EXPECT_EQ(platform.CallsNamed("ReadFile").size(), 20u);
    // What is kept is bounded: past it the pieces asked for longest ago are read again.
    DriveBytes small(card, 0, 69000, 69000, {}, 4 << 20);
    platform.calls.clear();
    for (const std::uint64_t piece : {0, 1, 2, 3, 0, 4, 0, 1}) EXPECT_EQ(small.From(piece << 20)[0], bytes[piece << 20]);
    EXPECT_EQ(platform.CallsNamed("ReadFile").size(), 6u);  // 0 to 3, 4 in 1's place, 1 again
}

// A JPEG whose structure holds: a frame and a scan of it, then `fill` up to its end marker.
Bytes Jpeg(std::size_t length, std::uint8_t fill = 0x42) {
    Bytes bytes = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0};
    bytes.resize(length, fill);
    bytes[length - 2] = 0xFF;
    bytes[length - 1] = 0xD9;
    return bytes;
}

// A card in drive E: whose photos the test lays out, with the records a scan would make.
class PhotoTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.folders.insert("C:\\Out");
        volume = &platform.AddVolume('E', 64);
    }
    void Photo(int index, std::int64_t sector, std::int64_t end, const Bytes& bytes, FileKind kind = kJpeg) {
        std::copy(bytes.begin(), bytes.end(), volume->begin() + sector * 512);
        if (table.size() <= static_cast<std::size_t>(index)) table.resize(static_cast<std::size_t>(index) + 1);
        table.Set(static_cast<std::size_t>(index), {sector, end, kind, formats::EndMarkerOf(kind), "E:\\"});
    }
    std::string Save(int index, const std::string& folder = "C:\\Out") {
        return SaveFile(platform, progress, table, index, folder, "Image");
    }
    const Bytes& File(const std::string& path) { return platform.files.at(path); }
    std::vector<std::string> Creates() const {
        std::vector<std::string> out;
        for (const auto& call : platform.calls)
            if (call.rfind("CreateFileA(C:", 0) == 0 && call.find(".tmp,") != std::string::npos) out.push_back(call);
        return out;
    }

    FakePlatform platform;
    FakeProgress progress;
    FoundPhotoTable table;
    std::vector<std::uint8_t>* volume = nullptr;
};

// The bytes kept behind the scan: the latest, across the ring's wrap, with the sectors that could
// not be read still said to be so; what gave way, or is not read yet, is not served.
TEST(CardWindow, ServesTheLatestSectorsAcrossItsWrapAndWhatCouldNotBeReadThere) {
    CardWindow window(8 * 512);
    const auto sectors = [](std::int64_t first, std::int64_t count) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 512);
        for (std::int64_t i = 0; i < count; ++i) bytes[static_cast<std::size_t>(i) * 512 + 7] = static_cast<std::uint8_t>(first + i);
        return bytes;
    };
    SectorRanges bad;
    bad.Add(6, 2);
    window.Add(0, sectors(0, 5), {});
    window.Add(5, sectors(5, 6), bad);  // wraps: sectors 0 to 2 give way
    EXPECT_EQ(window.Low(), 3);
    EXPECT_EQ(window.High(), 11);
    std::vector<std::uint8_t> all(8 * 512);
    const std::span<std::uint8_t> into = std::span(all).first(6 * 512);
    SectorRanges unreadable;
    ASSERT_TRUE(window.Copy(4, into, &unreadable));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(into[static_cast<std::size_t>(i) * 512 + 7], 4 + i);
    EXPECT_EQ(unreadable.ranges(), (std::vector<SectorRange>{{6, 8}}));
    EXPECT_FALSE(window.Copy(2, into, nullptr));   // gave way
    EXPECT_FALSE(window.Copy(6, into, nullptr));   // not read yet
    // A read that does not follow on starts afresh; one larger than the window keeps its end.
    window.Add(100, sectors(100, 20), {});
    EXPECT_EQ(window.Low(), 112);
    ASSERT_TRUE(window.Copy(112, all, &unreadable));
    EXPECT_EQ(all[7 * 512 + 7], 119);
}

// Whatever a card's entries spell, a name made of them stays inside the folder chosen.
TEST(CardNames, StayInsideTheFolderChosen) {
    const auto path = [](const std::string& folder, const std::string& name) {
        CardFile file;
        file.folder = folder;
        file.name = name;
        return CardRelativePath(file);
    };
    EXPECT_EQ(path("DCIM/100CANON", "IMG_0042.JPG"), "DCIM\\100CANON\\IMG_0042.JPG");
    EXPECT_EQ(path("", ".."), std::nullopt);
    EXPECT_EQ(path("../..", "a/b\\c:d.JPG"), "a_b_c_d.JPG");
    EXPECT_EQ(path("x/./CON", "nul.txt. "), "x\\_CON\\_nul.txt");
    EXPECT_EQ(path("", "a.kelvara-12345678.tmp"), "a_kelvara-12345678.tmp");
    EXPECT_EQ(path("", std::string(300, 'A') + ".JPG")->size(), 200u);
    EXPECT_EQ(path(std::string(1, '\x01') + "\x7f", "x\ty"), "__\\x_y");
}

// The entry at a photo's first cluster weighs on how much of it is saved, and whether whole.
TEST(CardVerdict, TheLiveEntrysSizeDecidesAndOtherEntriesOnlyNameWhatAgrees) {
    const auto file = [](std::uint64_t size, bool deleted, bool held, ByteExtents extents = {}) {
        CardFile f;
        f.name = "IMG.JPG";
        f.size = size;
        f.deleted = deleted;
        f.chainHeld = held;
        f.extents = std::move(extents);
        return f;
    };
    const PhotoCut whole{PhotoStatus::Whole, 5000}, broken{PhotoStatus::Incomplete, 3000};
    // A deleted entry names a photo of its size, or one that broke off short of it; never another.
    EXPECT_TRUE(JudgeByCard(whole, {file(4000, true, false), file(5000, true, false)}).file);
    EXPECT_EQ(JudgeByCard(whole, {file(4000, true, false)}).file, std::nullopt);
    EXPECT_TRUE(JudgeByCard(broken, {file(4000, true, false)}).file);
    EXPECT_EQ(JudgeByCard(broken, {file(4000, true, false)}).cut.status, PhotoStatus::Incomplete);
    // A live file in one run that goes on past the structure is saved as the card holds it.
    const CardVerdict longer = JudgeByCard(whole, {file(6000, false, true, {{0, 6000}})});
    EXPECT_EQ(longer.cut.status, PhotoStatus::Whole);
    EXPECT_EQ(longer.cut.length, 6000u);
    // A live file in pieces, or shorter than the structure, is not whole as one run.
    const CardVerdict pieces = JudgeByCard(whole, {file(8192, false, true, {{0, 4096}, {65536, 4096}})});
    EXPECT_EQ(pieces.cut.status, PhotoStatus::Incomplete);
    EXPECT_EQ(pieces.cut.length, 4096u);
    EXPECT_EQ(JudgeByCard(whole, {file(4000, false, true, {{0, 4000}})}).cut.length, 4000u);
    EXPECT_EQ(JudgeByCard({PhotoStatus::Inside, 0}, {file(5000, false, true, {{0, 5000}})}).file, std::nullopt);
}

TEST_F(PhotoTest, SavedFileIsTheRunCutAfterItsOwnKindsMarker) {
    platform.files["C:\\Out\\Image001.JPG"] = Bytes(5000, 0xEE);  // an earlier, longer file
    const Bytes jpeg = Jpeg(700);
    Photo(0, 2, 5, jpeg);
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 0xFF, 0xD9, 3, 0x00, 0x3B, 4, 0x00, 0x3B};
    Photo(1, 5, 6, gif, kGif);
    volume->at(6 * 512 - 2) = 0xFF;  // past the GIF's end; not its marker
    volume->at(6 * 512 - 1) = 0xD9;
    Bytes whole = Jpeg(1024, 0x33);  // no end marker: written whole
    whole[1022] = whole[1023] = 0x33;
    Photo(2, 6, 8, whole);

    // A file of the user's under the photo's name keeps it; the photo takes the next free name.
    EXPECT_EQ(Save(0), "C:\\Out\\Image001 (2).JPG");
    EXPECT_EQ(File("C:\\Out\\Image001.JPG"), Bytes(5000, 0xEE));
    EXPECT_EQ(File("C:\\Out\\Image001 (2).JPG"), jpeg);
    EXPECT_EQ(Save(1), "C:\\Out\\Image002.GIF");
    EXPECT_EQ(File("C:\\Out\\Image002.GIF"), gif);
    Save(2);
    EXPECT_EQ(File("C:\\Out\\Image003.JPG"), whole);
    // Read once, up to where the scan saw the drive end.
    EXPECT_EQ(platform.CallsNamed("ReadFile").front(), "ReadFile(4096)");
    EXPECT_EQ(progress.advances, 9);  // before and after each, and after each read
    EXPECT_EQ(Save(0), "C:\\Out\\Image001 (2).JPG");  // saved again: the same bytes are that file
    EXPECT_EQ(platform.files.size(), 4u);
}

TEST_F(PhotoTest, NamesFollowTheListAndBadRequestsWriteNothing) {
    for (const int index : {8, 9, 98, 99, 500}) Photo(index, 1, 2, Jpeg(512));
    EXPECT_EQ(Save(8), "C:\\Out\\Image009.JPG");
    EXPECT_EQ(Save(9), "C:\\Out\\Image010.JPG");
    EXPECT_EQ(Save(98), "C:\\Out\\Image099.JPG");
    EXPECT_EQ(Save(99), "C:\\Out\\Image100.JPG");
    EXPECT_EQ(Save(500), "C:\\Out\\Image501.JPG");
    EXPECT_EQ(Save(8, "C:\\"), "C:\\Image009.JPG");

    const auto writes = Creates().size();
    for (const int outside : {-1, 501}) EXPECT_THROW(Save(outside), SaveError);
    platform.folders.insert("No");
    EXPECT_EQ(Save(8, "No"), "No\\Image009.JPG");  // without a dialog, "No" is only a folder's name
    EXPECT_THROW(Save(8, ""), SaveError);
    // A run of any length is read, but zeros past the card's end are no photo.
    table.Set(0, {10, 10 + 4194304, kJpeg, formats::EndMarkerOf(kJpeg), "E:\\"});
    table.SetEndSector(table.size() - 1, table[0].EndSector);
    try {
        Save(0);
        ADD_FAILURE() << "saved";
    } catch (const SaveError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Image001.JPG could not be read: Drive E:\\ holds nothing from sector 64 on, inside the photo. "
                  "The card may have been taken out or changed.");
    }
    EXPECT_EQ(Creates().size(), writes);
}

TEST_F(PhotoTest, SaveAllSkipsWhatFailsAndSaysSoOnce) {
    for (int i = 0; i < 3; ++i) Photo(i, 4 * i, 4 * i + 4, Jpeg(1500, static_cast<std::uint8_t>(i + 1)));
    platform.diskSpace = 1500 + 700;  // the first photo and half of the second

    std::vector<std::string> written;
    const SaveReport report = SavePhotos(platform, progress, table, {0, 1, 2}, "C:\\Out", "Image", [&](const SavedEntry& entry) {
        if (!entry.path.empty()) written.push_back(entry.path);
    });
    EXPECT_EQ(written, std::vector<std::string>{"C:\\Out\\Image001.JPG"});
    EXPECT_EQ(report.saved, 1);
    EXPECT_EQ(report.failed, 2);
    EXPECT_FALSE(platform.files.count("C:\\Out\\Image002.JPG"));  // no half-written photo left
    EXPECT_EQ(progress.total, 3);
    EXPECT_EQ(progress.done, 3);
    EXPECT_EQ(SaveShortfall(report), "Saved 1 of 3 photos; 2 could not be saved.\n\n"
                                     "Image002.JPG could not be written: There is not enough space on the disk.");

    platform.diskSpace = -1;
    platform.readOnly = true;
    EXPECT_EQ(SaveShortfall(SavePhotos(platform, progress, table, {2}, "C:\\Out", "Image")),
              "Saved 0 of 1 photo; 1 could not be saved.\n\nImage003.JPG could not be written: The media is write protected.");
    platform.readOnly = false;
    const SaveReport again = SavePhotos(platform, progress, table, {0, 1, 2}, "C:\\Out", "Image");
    EXPECT_FALSE(SaveShortfall(again));  // all saved, and one of them was there before
    EXPECT_EQ(again.saved, 3);
    EXPECT_EQ(again.alreadyThere, 1);
}

TEST_F(PhotoTest, ACardPulledDuringSaveAllCostsOnlyThePhotoItCouldNotRead) {
    for (int i = 0; i < 3; ++i) Photo(i, 4 * i, 4 * i + 4, Jpeg(900, static_cast<std::uint8_t>(i + 1)));
    auto card = platform.drives['E'].volume;
    bool pulled = false;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("CreateFileA(\\\\.\\E:", 0) == 0 && !pulled) platform.drives['E'].volume.reset(), pulled = true;
    };
    progress.onAdvance = [&] { platform.drives['E'].volume = card; };  // back in before the next photo

    std::vector<std::string> written;
    const SaveReport report = SavePhotos(platform, progress, table, {0, 1, 2}, "C:\\Out", "Image", [&](const SavedEntry& entry) {
        if (!entry.path.empty()) written.push_back(entry.path);
    });
    EXPECT_EQ(written, (std::vector<std::string>{"C:\\Out\\Image002.JPG", "C:\\Out\\Image003.JPG"}));
    EXPECT_EQ(report.firstFailure.rfind("Image001.JPG could not be read: ", 0), 0u) << report.firstFailure;
    EXPECT_EQ(File("C:\\Out\\Image003.JPG"), Jpeg(900, 3));
}

// Cards crafted against the walkers: scanned, then saved whole. Whatever they hold, Save All
// writes at most the card and reads it a few times, in time that follows from that.
TEST(HostileCards, SaveAllWritesAtMostTheCardAndReadsItAFewTimes) {
    struct Case {
        const char* name;
        Bytes card;
        std::size_t files;
        std::int64_t inside, notPhotos;  // of the entries that are not saved
    };
    const Case cases[] = {
        {"segments hopping across the card", testing::HoppingJpegCard(16384), 1, 16383, 0},
        {"segments hopping across a longer card", testing::HoppingJpegCard(81919), 4, 81915, 0},
        {"GIF sub-blocks chained to the card's end", testing::ChainedGifCard(4096), 1, 4095, 0},
        {"100 JPEGs declaring a preview near the card's end", testing::FarPreviewCard(32768, 100), 101, 0, 0},
        {"a small photo declaring gigabytes", testing::DeclaredGiantCard(16384, 2400000000u), 1, 0, 0},
        {"an index alternating two far offsets", testing::AlternatingIndexCard(16384, 4000), 3, 0, 0},
        {"5,459 index tags", testing::ManyTagsCard(2048, 5459), 1, 0, 0},
        {"FF D8 FF in every sector", testing::SignatureEverywhereCard(16384), 0, 0, 16384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        platform.AddVolume('E', static_cast<std::int64_t>(c.card.size() / 512)) = c.card;
        platform.folders.insert("C:\\Out");
        FakeProgress progress;
        FoundPhotoTable table;
        testing::ScanNt(platform, progress, table, "E:\\", static_cast<std::int64_t>(c.card.size() / 512));
        platform.calls.clear();

        const SaveReport report = SaveAllPhotos(platform, progress, table, "C:\\Out", "Image");
        std::uint64_t written = 0, read = 0;
        for (const auto& [path, bytes] : platform.files) written += bytes.size();
        for (const std::string& call : platform.CallsNamed("ReadFile")) read += std::stoull(call.substr(9));
        EXPECT_LE(written, c.card.size());
        // Walks within walks reach over the card three deep at most; then the photos are written.
        EXPECT_LE(read, 5 * c.card.size());
        EXPECT_EQ(report.failed, 0) << report.firstFailure;
        EXPECT_EQ(static_cast<std::size_t>(report.saved), platform.files.size());
        EXPECT_EQ(platform.files.size(), c.files);
        EXPECT_EQ(report.inside, c.inside);
        EXPECT_EQ(report.notPhotos, c.notPhotos);
        EXPECT_EQ(report.saved + report.inside + report.notPhotos, static_cast<std::int64_t>(table.size()));
        std::cout << c.name << ": " << table.size() << " entries, " << platform.files.size() << " files, written "
                  << written << " of " << c.card.size() << ", read " << read << "\n";
    }
}

// A photo longer than what a save keeps in memory (the bytes behind the scan it goes along with,
// or the pieces kept after a scan) is still read from the card once: what gives way of it is kept
// in the folder saved into, which holds only the photos after. Where the folder has room for the
// photos alone, that goes and the photo is read again.
TEST(ScanAndSave, APhotoLongerThanWhatIsKeptInMemoryIsReadFromTheCardOnceEitherWay) {
    FakePlatform platform;
    Bytes card(98304 * 512, 0x33);  // old data to the end
    const Bytes small = Jpeg(3000), large = Jpeg(40 << 20, 0x5A);
    for (const auto& [sector, photo] : {std::pair{100, &small}, {3000, &large}, {90000, &small}})
        std::copy(photo->begin(), photo->end(), card.begin() + sector * 512);
    platform.AddVolume('E', 98304) = card;
    FakeProgress scanning, saving;
    for (const bool roomy : {true, false}) {
        SCOPED_TRACE(roomy ? "room to spare" : "room for the photos alone");
        platform.files.clear();
        platform.diskSpace = roomy ? -1 : static_cast<std::int64_t>(large.size() + 2 * small.size() + 4096);
        const auto saved = [&](const std::string& folder) {
            std::vector<std::string> left;
            for (const auto& [path, bytes] : platform.files)
                if (path.rfind(folder, 0) == 0) left.push_back(path.substr(folder.size()));
            EXPECT_EQ(left, (std::vector<std::string>{"Image001.JPG", "Image002.JPG", "Image003.JPG"}));
            EXPECT_EQ(platform.files[folder + "Image002.JPG"], large);
        };
        {
            SCOPED_TRACE("along the scan, keeping 2 MiB behind it");
            platform.folders.insert("C:\\Once");
            platform.volumeBytesRead = 0;
            FoundPhotoTable table;
            SectorSource source(platform, "E:\\");
            Destination destination(platform, "C:\\Once", {"E:\\"});
            const ScanAndSaveReport report = ScanAndSave({platform, scanning, table, source, 98304}, saving, destination,
                                                         "Image", {}, {false, {}, &source}, 2 << 20);
            EXPECT_EQ(report.save.saved, 3) << report.save.firstFailure;
            // The scan's, and a look at the file system.
            if (roomy) {
                EXPECT_LT(platform.volumeBytesRead, card.size() + (1 << 20));
            }
        }
        saved("C:\\Once\\");
        platform.files.clear();
        {
            SCOPED_TRACE("after the scan");
            platform.folders.insert("C:\\After");
            FoundPhotoTable table;
            testing::ScanNt(platform, scanning, table, "E:\\", 98304);
            platform.volumeBytesRead = 0;
            const SaveReport report = SaveAllPhotos(platform, saving, table, "C:\\After", "Image");
            EXPECT_EQ(report.saved, 3) << report.firstFailure;
            // The pieces of 1 MiB the photos lie in, and the one after the last, each once.
            if (roomy) {
                EXPECT_LT(platform.volumeBytesRead, large.size() + (5 << 20));
            }
        }
        saved("C:\\After\\");
    }
}

TEST(PreviewPage, IsOneLineAroundTheTempFolderEscapingOnlyWhatWouldBreakIt) {
    EXPECT_EQ(PreviewPageText("C:\\Temp\\"),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"C:\\Temp\\TB.jpg\" width=\"256\" "
              "height=\"256\"></body>");
    EXPECT_EQ(PreviewPageText("/home/ann/.cache/k (x)>/"),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"/home/ann/.cache/k (x)>/TB.jpg\" "
              "width=\"256\" height=\"256\"></body>");
    EXPECT_NE(PreviewPageText("C:\\a\"b&c<d\\").find("src=\"C:\\a&quot;b&amp;c&lt;d\\TB.jpg\""), std::string::npos);

    FakePlatform platform;
    EXPECT_EQ(PreviewTempFolder(platform), "C:\\Temp\\");
    EXPECT_EQ(platform.calls, std::vector<std::string>{"GetTempPathA(256)"});
    platform.tempPath = "C:\\" + std::string(300, 'x') + "\\";  // too long for 256: asked again
    EXPECT_EQ(PreviewTempFolder(platform), platform.tempPath);
}

TEST_F(PhotoTest, PreviewFilesHoldTheCutPhotoAndThePageAndNothingOld) {
    const Bytes longer = Jpeg(1500, 0x10), shorter = Jpeg(300, 0x20);
    Photo(0, 0, 4, longer);
    Photo(1, 4, 8, shorter);
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 0xFF, 0xD9, 3, 0x00, 0x3B};
    Photo(2, 8, 9, gif, kGif);
    const std::int64_t end = DriveEnd(table);

    EXPECT_EQ(WritePreviewFiles(platform, table[0], end, "C:\\Temp\\"), "C:\\Temp\\TB001.htm");
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), longer);
    const std::string page = PreviewPageText("C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB001.htm"), Bytes(page.begin(), page.end()));
    WritePreviewFiles(platform, table[1], end, "C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), shorter);
    WritePreviewFiles(platform, table[2], end, "C:\\Temp\\");  // the same bytes Save writes: cut after 00 3B
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), gif);
    // Created new under a name of its own, then renamed over whatever held the name: never opened
    // through it, and never there half-written.
    for (const auto& call : Creates()) {
        EXPECT_EQ(call.substr(call.size() - 9), ", 1, 128)") << call;
        EXPECT_NE(call.find(".kelvara-"), std::string::npos) << call;
    }
    const auto moves = platform.CallsNamed("MoveFileExA");
    ASSERT_EQ(moves.size(), 6u);
    EXPECT_EQ(moves[4].rfind("MoveFileExA(C:\\Temp\\TB.jpg.kelvara-", 0), 0u) << moves[4];
    const std::string renamed = ".tmp, C:\\Temp\\TB.jpg, 1)";
    EXPECT_EQ(moves[4].substr(moves[4].size() - renamed.size()), renamed);
    EXPECT_EQ(platform.files.size(), 2u);

    // A photo that cannot be read, or whose place is unknown, writes nothing at all.
    const auto card = platform.drives['E'].volume;
    platform.drives['E'].volume.reset();
    const auto before = platform.calls.size();
    EXPECT_THROW(WritePreviewFiles(platform, table[0], end, "C:\\Temp\\"), DiskError);
    table.Set(0, {-2, INT32_MAX, kJpeg, formats::EndMarkerOf(kJpeg), "E:\\"});
    EXPECT_THROW(WritePreviewFiles(platform, table[0], end, "C:\\Temp\\"), DiskError);
    for (std::size_t i = before; i < platform.calls.size(); ++i) EXPECT_EQ(platform.calls[i].find("C:\\"), std::string::npos);

    // A file step that fails is passed over; the photo shown before is not left to stand in for it.
    platform.drives['E'].volume = card;
    platform.diskSpace = 100;
    EXPECT_NO_THROW(WritePreviewFiles(platform, table[1], end, "C:\\Temp\\"));
    EXPECT_FALSE(platform.files.count("C:\\Temp\\TB.jpg"));
    platform.diskSpace = -1;
    platform.folders.erase("C:\\Temp");
    EXPECT_NO_THROW(WritePreviewFiles(platform, table[1], end, "C:\\Temp\\"));
}

void Put32(Bytes& bytes, std::uint32_t value, bool big) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (big ? 24 - 8 * i : 8 * i)));
}
Bytes IsoBox(const std::string& type, const Bytes& payload) {
    Bytes box;
    Put32(box, static_cast<std::uint32_t>(payload.size() + 8), true);
    box.insert(box.end(), type.begin(), type.end());
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

// What the pane shows of what the browser engine cannot draw itself, and which sectors of it it
// says could not be read.
TEST_F(PhotoTest, PreviewFilesShowARawsJpegAClipsPageOrWhyNot) {
    // A RAW file: its directory names an embedded JPEG (bytes 64 to 1064), then RAW data.
    const Bytes preview = Jpeg(1000, 0x21);
    Bytes raw = {'I', 'I', 42, 0};
    Put32(raw, 8, false);
    raw.insert(raw.end(), {4, 0});
    for (const auto& [tag, value] : {std::pair{0x111u, 1064u}, {0x117u, 3000u}, {0x201u, 64u}, {0x202u, 1000u}}) {
        raw.insert(raw.end(), {static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8), 4, 0, 1, 0, 0, 0});
        Put32(raw, value, false);
    }
    Put32(raw, 0, false);
    raw.resize(64, 0);
    raw.insert(raw.end(), preview.begin(), preview.end());
    raw.resize(4064, 0x5A);
    Photo(0, 0, 8, raw, *formats::KindOfExtension(".DNG"));
    // A clip of 320 by 240 pixels lasting two seconds, by its movie and track headers.
    Bytes movie(100, 0), track(84, 0);
    movie[14] = 0x03, movie[15] = 0xE8;  // a timescale of 1000
    movie[18] = 0x07, movie[19] = 0xD0;  // and 2000 of it
    track[76] = 0x01, track[77] = 0x40;  // the width, 16.16
    track[81] = 0xF0;                    // the height
    const Bytes clip = [&] {
        Bytes out = IsoBox("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'});
        const Bytes moov = IsoBox("moov", [&] {
            Bytes inside = IsoBox("mvhd", movie);
            const Bytes trak = IsoBox("trak", IsoBox("tkhd", track));
            inside.insert(inside.end(), trak.begin(), trak.end());
            return inside;
        }());
        const Bytes mdat = IsoBox("mdat", Bytes(1500, 0x33));
        out.insert(out.end(), moov.begin(), moov.end());
        out.insert(out.end(), mdat.begin(), mdat.end());
        return out;
    }();
    Photo(1, 8, 16, clip, *formats::KindOfExtension(".MP4"));
    Photo(2, 16, 20, Jpeg(700));
    // A TIFF that carries no JPEG.
    Bytes plain(raw.begin(), raw.begin() + 64);
    plain[8] = 2;  // its strips only, and no further directory
    std::fill_n(plain.begin() + 34, 4, 0);
    plain.resize(4064, 0x5A);
    Photo(3, 20, 28, plain, *formats::KindOfExtension(".TIF"));
    platform.drives['E'].badSectors = {5};  // in the RAW data
    const std::int64_t end = DriveEnd(table);
    const auto page = [&] {
        const Bytes& text = File("C:\\Temp\\TB001.htm");
        return std::string(text.begin(), text.end());
    };

    SectorRanges unreadable;
    WritePreviewFiles(platform, table[0], end, "C:\\Temp\\", {}, &unreadable);
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), preview);
    EXPECT_EQ(page(), PreviewPageText("C:\\Temp\\"));
    EXPECT_TRUE(unreadable.empty()) << "the zeros are not in what is shown";
    platform.drives['E'].badSectors = {1};  // in the preview
    WritePreviewFiles(platform, table[0], end, "C:\\Temp\\", {}, &unreadable);
    SectorRanges inPreview;
    inPreview.Add(1, 1);
    EXPECT_EQ(unreadable, inPreview);
    platform.drives['E'].badSectors.clear();

    WritePreviewFiles(platform, table[1], end, "C:\\Temp\\");
    EXPECT_EQ(File("C:\\Temp\\TB.mp4"), clip);
    EXPECT_FALSE(platform.files.count("C:\\Temp\\TB.jpg")) << "no earlier picture stands in for it";
    EXPECT_EQ(page(), "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">"
                      "<body topmargin=\"0\" leftmargin=\"0\"><video src=\"C:\\Temp\\TB.mp4\" width=\"256\" height=\"232\" "
                      "controls></video><div style=\"font:12px sans-serif;margin:2px 6px\">320 x 240, 0:02</div></body>");
    WritePreviewFiles(platform, table[2], end, "C:\\Temp\\");
    EXPECT_FALSE(platform.files.count("C:\\Temp\\TB.mp4")) << "a clip's bytes go with the next preview";
    EXPECT_EQ(File("C:\\Temp\\TB.jpg"), Jpeg(700));

    WritePreviewFiles(platform, table[3], end, "C:\\Temp\\");
    EXPECT_FALSE(platform.files.count("C:\\Temp\\TB.jpg"));
    EXPECT_NE(page().find("This TIF file carries no JPEG preview that can be shown here"), std::string::npos) << page();
}

}  // namespace
}  // namespace kelvara
