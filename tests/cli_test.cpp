// kelvara-cli end to end: real card images made with mkfs.vfat and mtools, photos copied and
// deleted, the program run as a user runs it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <optional>
#include <map>
#include <fstream>
#include <iostream>

#include "cli/command_line.h"
#include "destination/destination.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/format_files.h"
#include "tests/support/fragmented_card.h"
#include "tests/support/hostile_cards.h"
#include "tests/support/mounts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "tests/support/test_photos.h"
#include "tests/support/tiff_writer.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

// AddressSanitizer keeps freed blocks in quarantine (256 MiB) and pads every block: a program built
// with it is held to that much more memory; the plain build keeps the bound itself.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSanitizerMiB = 512;
#else
constexpr double kSanitizerMiB = 0;
#endif

struct CliRun {
    int status = -1;
    std::string out, err;
};

// A program built beside the tests.
std::string Beside(const std::string& name) {
    const fs::path self = fs::absolute(::testing::internal::GetArgvs().at(0));
    return (self.parent_path() / name).string();
}

std::string CliPath() { return Beside("kelvara-cli"); }

// Runs kelvara-cli, or with /usr/bin/time first, that program on the arguments after it.
CliRun Cli(const QStringList& arguments, const std::string& workingFolder = {}) {
    QProcess process;
    if (!workingFolder.empty()) process.setWorkingDirectory(QString::fromStdString(workingFolder));
    if (!arguments.isEmpty() && arguments.front() == "/usr/bin/time")
        process.start(arguments.front(), arguments.mid(1));
    else
        process.start(QString::fromStdString(CliPath()), arguments);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// What a save left in `folder`: each file's path under it, bytes and time.
std::map<std::string, std::pair<Bytes, std::int64_t>> FilesUnder(const std::string& folder) {
    std::map<std::string, std::pair<Bytes, std::int64_t>> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        struct stat status {};
        ::stat(entry.path().c_str(), &status);
        files[fs::relative(entry.path(), folder).string()] = {testing::ReadFileBytes(entry.path().string()),
                                                              static_cast<std::int64_t>(status.st_mtime)};
    }
    return files;
}

// `kelvara-cli save ARGUMENTS`, whose folder is `out`: reading the card once, as it does, and then
// again into a folder of its own scanning first (--read-twice) must give the same status, the
// same lines on standard output and error (the folder's name aside) and the same files, byte for
// byte, with the same times. Returns the first run; `timed`, under /usr/bin/time -f %M, whose
// last line (the peak memory) is not compared.
CliRun SaveBothWays(const QStringList& arguments, const std::string& out, const std::string& workingFolder = {},
                    bool timed = false) {
    const QStringList time = timed ? QStringList{"/usr/bin/time", "-f", "%M", QString::fromStdString(CliPath())} : QStringList{};
    const std::int64_t began = std::time(nullptr);  // a file of no date of its own takes the time it was written
    const CliRun once = Cli(time + arguments, workingFolder);
    const std::string twiceOut = out + "-scanned-first";
    QStringList twiceArguments = arguments;
    twiceArguments.replaceInStrings(QRegularExpression("^" + QRegularExpression::escape(QString::fromStdString(out)) + "$"),
                                    QString::fromStdString(twiceOut));
    const CliRun twice = Cli(time + twiceArguments + QStringList{"--read-twice"}, workingFolder);
    const auto asOnce = [&](std::string text) {
        for (std::size_t at = 0; (at = text.find(twiceOut, at)) != std::string::npos; at += out.size())
            text.replace(at, twiceOut.size(), out);
        return text;
    };
    const auto messages = [&](std::string err) {
        if (timed) err.erase(err.find_last_of('\n', err.size() - 2) + 1);
        return err;
    };
    EXPECT_EQ(once.status, twice.status);
    EXPECT_EQ(once.out, asOnce(twice.out));
    EXPECT_EQ(messages(once.err), messages(asOnce(twice.err)));
    const fs::path base = workingFolder.empty() ? fs::current_path() : fs::path(workingFolder);
    const auto onceFiles = FilesUnder((base / out).string()), twiceFiles = FilesUnder((base / twiceOut).string());
    EXPECT_EQ(onceFiles.size(), twiceFiles.size());
    for (const auto& [name, file] : onceFiles) {
        const auto other = twiceFiles.find(name);
        if (other == twiceFiles.end()) {
            ADD_FAILURE() << name << " was saved reading the card once only";
            continue;
        }
        EXPECT_TRUE(file.first == other->second.first) << name;
        if (file.second < began || other->second.second < began) {
            EXPECT_EQ(file.second, other->second.second) << name;
        }
    }
    fs::remove_all(base / twiceOut);
    return once;
}

std::string Name(const std::string& prefix, std::size_t index, const testing::CardPhoto& photo) {
    char number[8];
    std::snprintf(number, sizeof number, "%03zu", index + 1);
    return prefix + number + (photo.gif ? ".GIF" : ".JPG");
}

class CardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new testing::TempDir;
        card = new testing::TestCard(testing::MakePhotoCard(folder->file("card.img"), 30));
    }
    static void TearDownTestSuite() {
        delete card;
        delete folder;
    }
    // Every photo of the card saved in `out`, in card order, byte for byte.
    static void ExpectAllSaved(const std::string& out, const std::string& prefix = "Image") {
        for (std::size_t i = 0; i < card->photos.size(); ++i) {
            const std::string name = Name(prefix, i, card->photos[i]);
            ASSERT_TRUE(fs::exists(out + "/" + name)) << name;
            EXPECT_EQ(testing::ReadFileBytes(out + "/" + name), card->photos[i].bytes) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
                  static_cast<long>(card->photos.size()));
    }

    static testing::TempDir* folder;
    static testing::TestCard* card;
};
testing::TempDir* CardTest::folder = nullptr;
testing::TestCard* CardTest::card = nullptr;

TEST_F(CardTest, SaveGivesBackEveryDeletedPhotoInCardOrder) {
    const std::string out = folder->file("saved/nested");
    const CliRun run = SaveBothWays({"save", QString::fromStdString(card->image), QString::fromStdString(out), "--quiet"}, out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ExpectAllSaved(out);
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), card->photos.size());
    EXPECT_EQ(lines.front(), out + "/Image001.JPG");
    // Paths are printed in the form they were given: a relative folder stays relative, and its
    // separators are the user's.
    for (const std::string& relative : {std::string("rel/out"), std::string("win\\out"), std::string("plain")}) {
        const CliRun given = Cli({"save", "--quiet", QString::fromStdString(card->image), QString::fromStdString(relative)},
                                 folder->path());
        ASSERT_EQ(given.status, 0) << given.err;
        const char separator = relative.find('\\') != std::string::npos ? '\\' : '/';
        EXPECT_EQ(Lines(given.out).front(), relative + separator + "Image001.JPG");
    }
}

TEST_F(CardTest, BothFamiliesAndAPrefixGiveTheSameFiles) {
    const std::string out = folder->file("nine");
    const CliRun run =
        Cli({"save", QString::fromStdString(card->image), QString::fromStdString(out), "--family", "9x", "--prefix", "Trip"});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectAllSaved(out, "Trip");
}

TEST_F(CardTest, ScanListsNameStartAndEndThenTheSummary) {
    const CliRun run = Cli({"scan", QString::fromStdString(card->image), "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), card->photos.size() + 1);
    EXPECT_EQ(lines.back(), "Kelvara's found 30 Files");
    std::string previousEnd;
    for (std::size_t i = 0; i < card->photos.size(); ++i) {
        const QStringList fields = QString::fromStdString(lines[i]).split('\t');
        ASSERT_EQ(fields.size(), 3) << lines[i];
        EXPECT_EQ(fields[0].toStdString(), Name("Image", i, card->photos[i]));
        if (i > 0) {
            EXPECT_EQ(fields[1].toStdString(), previousEnd);  // each photo ends where the next begins
        }
        previousEnd = fields[2].toStdString();
    }
    const CliRun drives = Cli({"drives", QString::fromStdString(card->image)});
    ASSERT_EQ(drives.status, 0);
    // The whole card, to its last sector: not only the clusters of its data area.
    const std::string sectors = std::to_string(fs::file_size(card->image) / 512);
    EXPECT_NE(drives.out.find("D:\\\tremovable\t" + sectors + "\t"), std::string::npos) << drives.out;
    EXPECT_EQ(previousEnd, sectors);  // the last photo runs to the drive's end
}

TEST_F(CardTest, AQuickFormatLosesNoPhoto) {
    testing::TempDir scratch;
    const std::string copy = scratch.file("formatted.img");
    fs::copy_file(card->image, copy);
    // Formatting in place writes a fresh boot sector, tables and root, and leaves the data.
    ASSERT_EQ(QProcess::execute("mkfs.vfat", {"-F", "32", QString::fromStdString(copy)}), 0);
    const std::string out = scratch.file("out");
    const CliRun run = SaveBothWays({"save", QString::fromStdString(copy), QString::fromStdString(out), "--quiet"}, out);
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectAllSaved(out);
}

// Saved under the card's names: every photo of the card in its folder under its name, byte for
// byte, dated as its entry (the card was made moments ago), and nothing else but `others`.
void ExpectSavedUnderCardNames(const testing::TestCard& card, const std::string& out, const CliRun& run,
                               std::size_t others = 0) {
    const auto made = fs::last_write_time(card.image);
    for (const testing::CardPhoto& photo : card.photos) {
        const std::string path = out + "/" + photo.folder + "/" + photo.name;
        ASSERT_TRUE(fs::exists(path)) << path << "\n" << run.out;
        EXPECT_EQ(testing::ReadFileBytes(path), card.photos.at(&photo - card.photos.data()).bytes) << path;
        const auto apart = std::chrono::abs(fs::last_write_time(path) - made);
        EXPECT_LT(apart, std::chrono::minutes(10)) << path << " is not dated as its entry";
        EXPECT_NE(run.out.find(path + "\n"), std::string::npos) << path << " is not listed";
    }
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) files += entry.is_regular_file();
    EXPECT_EQ(files, card.photos.size() + others);
}

TEST_F(CardTest, TheCardsOwnFoldersNamesAndTimesComeBackWhenAskedFor) {
    testing::TempDir scratch;
    // Deleted with their folders: the names whose first letter the deletion took are given back.
    const std::string out = scratch.file("named");
    const CliRun run = Cli({"save", QString::fromStdString(card->image), QString::fromStdString(out), "--names", "card", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectSavedUnderCardNames(*card, out, run);

    // A quick format clears the root and the tables: the folders left in the data area still
    // name the photos, and a photo no entry knows takes the list's name at the top.
    const std::string copy = scratch.file("formatted.img");
    fs::copy_file(card->image, copy);
    ASSERT_EQ(QProcess::execute("mkfs.vfat", {"-F", "32", QString::fromStdString(copy)}), 0);
    const Bytes stray = testing::MakeJpeg(200, 120, 77);
    testing::LayFiles(copy, 120000, {stray});
    const std::string formatted = scratch.file("formatted");
    const CliRun again = Cli({"save", QString::fromStdString(copy), QString::fromStdString(formatted), "--names", "card", "--quiet"});
    ASSERT_EQ(again.status, 0) << again.err;
    ExpectSavedUnderCardNames({copy, card->photos}, formatted, again, 1);
    EXPECT_EQ(testing::ReadFileBytes(formatted + "/" + Name("Image", card->photos.size(), {})), stray);
}

// A photo a camera wrote into the hole a deleted one left, and on past the photo after it, comes
// back whole through the chain its live entry holds, and the save says all is well.
TEST(Cli, APhotoInPiecesComesBackWholeThroughTheChainTheCardHolds) {
    testing::TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 32, 66600, 1);
    const Bytes small = testing::MakeJpeg(120, 90, 1), after = testing::MakeJpeg(200, 150, 2),
                pieces = testing::MakeJpeg(420, 300, 3);
    ASSERT_GT(pieces.size(), small.size() + 1024);
    const std::string scratch = dir.file("photo");
    testing::WriteFileBytes(scratch, small);
    testing::CopyIntoImage(image, scratch, "::/DCIM/IMG_0001.JPG");
    testing::WriteFileBytes(scratch, after);
    testing::CopyIntoImage(image, scratch, "::/DCIM/IMG_0002.JPG");
    testing::DeleteFromImage(image, "::/DCIM/IMG_0001.JPG");
    // The next free cluster is looked for from the start, as a camera does.
    testing::WriteBytesAt(image, 512 + 0x1EC, Bytes{2, 0, 0, 0});
    testing::WriteFileBytes(scratch, pieces);
    testing::CopyIntoImage(image, scratch, "::/DCIM/IMG_0003.JPG");

    const std::string out = dir.file("out");
    const CliRun run = Cli({"save", QString::fromStdString(image), QString::fromStdString(out), "--names", "card", "--quiet"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testing::ReadFileBytes(out + "/DCIM/IMG_0003.JPG"), pieces) << run.out << run.err;
    EXPECT_EQ(testing::ReadFileBytes(out + "/DCIM/IMG_0002.JPG"), after);

    // Deleted, its chain cleared: found again in pieces, whole where its entry's size agrees; where
    // the entry says it ends sooner than the pieces found, they are not its own and it is incomplete.
    testing::DeleteFromImage(image, "::/DCIM/IMG_0003.JPG");
    const auto saveAgain = [&](const std::string& folder) {
        const CliRun again = Cli({"save", QString::fromStdString(image), QString::fromStdString(dir.file(folder)), "--names", "card"});
        // Named as listed, the card's entry bounds the pieces as well, reading the card once too.
        const std::string listed = dir.file(folder + "-listed");
        SaveBothWays({"save", QString::fromStdString(image), QString::fromStdString(listed), "--quiet"}, listed);
        return again.err;
    };
    const std::string deleted = saveAgain("deleted");
    EXPECT_NE(deleted.find("Image001.JPG was put back together from 2 pieces"), std::string::npos) << deleted;
    Bytes card = testing::ReadFileBytes(image);
    const Bytes entryName = {0xE5, 'M', 'G', '_', '0', '0', '0', '3', 'J', 'P', 'G'};
    const auto entry = std::search(card.begin(), card.end(), entryName.begin(), entryName.end());
    ASSERT_NE(entry, card.end());
    const auto smaller = static_cast<std::uint32_t>(pieces.size() - 600);
    testing::WriteBytesAt(image, (entry - card.begin()) + 28,
                          Bytes{std::uint8_t(smaller), std::uint8_t(smaller >> 8), std::uint8_t(smaller >> 16), 0});
    const std::string err = saveAgain("smaller");
    EXPECT_EQ(err.find("Image001.JPG was put back together"), std::string::npos) << err;
    EXPECT_NE(err.find("Image001.JPG is incomplete"), std::string::npos) << err;
}

// The files under `folder`, wherever they lie below it, by name.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = entry.path().string();
    return files;
}

// exFAT, as phones and cards over 32 GB come: names in full in any script, times with their
// zone, chains kept for deleted files, and a folder a quick format leaves.
TEST(Cli, AnExfatCardsOwnNamesFoldersAndTimesComeBack) {
    testing::TempDir dir;
    const std::string image = dir.file("exfat.img");
    if (!testing::MakeExfatImage(image, 131072)) GTEST_SKIP() << "mkfs.exfat is not installed";
    const std::uint32_t clusterBytes = testing::ReadExfatGeometry(image).sectorsPerCluster * 512;
    const auto run = [&](std::uint32_t first, const Bytes& bytes) {
        std::vector<std::uint32_t> clusters;
        for (std::uint32_t i = 0; i * clusterBytes < bytes.size(); ++i) clusters.push_back(first + i);
        return clusters;
    };
    const auto stamp = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
        return (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s / 2;
    };
    const Bytes taken = testing::MakeJpeg(400, 300, 1), greeting = testing::MakeJpeg(500, 200, 2),
                atRoot = testing::MakeJpeg(300, 300, 3);
    testing::WriteExfatFile(image, {u"DCIM", {}, {30}, false, false, true, 0, stamp(2024, 5, 6, 7, 0, 0)});
    // Two hours east of UTC: the saved file's time is the instant, whatever the machine's zone.
    testing::WriteExfatFile(image, {u"IMG_0001.JPG", taken, run(40, taken), true, false, false, 30, stamp(2024, 5, 6, 7, 8, 10), 0x88});
    testing::WriteExfatFile(image, {u"Grüße \U0001F600.jpg", greeting, run(200, greeting), false, true, false, 30,
                                    stamp(2024, 5, 7, 9, 0, 0)});
    testing::WriteExfatFile(image, {u"IMG_0003.JPG", atRoot, run(400, atRoot), false, false, false, 0, stamp(2024, 5, 8, 9, 0, 0)});
    // Deleted in two pieces with other data between: exFAT keeps the chain, which leads to both.
    const Bytes split = testing::MakeJpeg(420, 300, 4);
    std::vector<std::uint32_t> twoRuns = run(600, split);
    for (std::size_t i = twoRuns.size() / 2; i < twoRuns.size(); ++i) twoRuns[i] += 50;
    testing::WriteBytesAt(image, (testing::ReadExfatGeometry(image).dataStartSector * 512) + (twoRuns.front() + twoRuns.size() / 2 - 2) * clusterBytes,
                          Bytes(clusterBytes * 3, 0x5A));
    testing::WriteExfatFile(image, {u"DSC_0004.JPG", split, twoRuns, false, true, false, 30, stamp(2024, 5, 9, 9, 0, 0)});
    ASSERT_EQ(QProcess::execute("fsck.exfat", {"-n", QString::fromStdString(image)}), 0) << "the test wrote a broken volume";

    const std::string out = dir.file("out");
    const CliRun saved = Cli({"save", QString::fromStdString(image), QString::fromStdString(out), "--names", "card", "--quiet"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(testing::ReadFileBytes(out + "/DCIM/IMG_0001.JPG"), taken) << saved.out;
    EXPECT_EQ(testing::ReadFileBytes(out + "/DCIM/Grüße \U0001F600.jpg"), greeting) << saved.out;
    EXPECT_EQ(testing::ReadFileBytes(out + "/IMG_0003.JPG"), atRoot) << saved.out;
    EXPECT_EQ(testing::ReadFileBytes(out + "/DCIM/DSC_0004.JPG"), split) << saved.out;
    struct stat info {};
    ASSERT_EQ(::stat((out + "/DCIM/IMG_0001.JPG").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1714972090);  // 2024-05-06 05:08:10 UTC

    // Formatted over: the root's names are gone, the folder's stay with the photos. The chain of
    // the photo in pieces is gone too: its entry no longer agrees with what its run holds, and
    // does not name it.
    ASSERT_EQ(QProcess::execute("mkfs.exfat", {QString::fromStdString(image)}), 0);
    const std::string again = dir.file("again");
    const CliRun formatted = Cli({"save", QString::fromStdString(image), QString::fromStdString(again), "--names", "card", "--quiet"});
    ASSERT_NE(formatted.status, 2) << formatted.err;
    const auto files = FilesBelow(again);
    ASSERT_EQ(files.size(), 4u) << formatted.out;
    EXPECT_EQ(files.count("DSC_0004.JPG"), 0u);
    EXPECT_EQ(testing::ReadFileBytes(files.at("IMG_0001.JPG")), taken);
    EXPECT_EQ(testing::ReadFileBytes(files.at("Grüße \U0001F600.jpg")), greeting);
    EXPECT_EQ(testing::ReadFileBytes(files.at(Name("Image", 2, {}))), atRoot);
}

// Old data of other files: random bytes (FF D9 and 00 3B among them), but no photo signature at
// the start of a sector.
Bytes OldData(std::size_t length, std::uint32_t seed) {
    Bytes data(length);
    for (auto& byte : data) byte = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    for (std::size_t at = 0; at < length; at += 512)
        if (data[at] == 0xFF || data[at] == 'G') data[at] = 0x20;
    return data;
}

// A card whose photos lie one after another from the start of its data area, as a camera
// leaves them; the rest of the card as mkfs left it.
struct LaidCard {
    testing::TempDir dir;
    std::string image = dir.file("card.img");
    std::int64_t next = 0;
    explicit LaidCard(std::int64_t sectors) {
        testing::MakeFatImage(image, 32, sectors);
        next = testing::ReadGeometryWithMinfo(image).dataStartSector;
    }
    void Lay(const std::vector<Bytes>& files) { next = testing::LayFiles(image, next, files); }
    CliRun Save(const std::string& out) {
        return SaveBothWays({"save", QString::fromStdString(image), QString::fromStdString(dir.file(out)), "--quiet"}, dir.file(out));
    }
};

TEST(Cli, ThousandsOfPhotosFromTwoSessionsAreAllListedAndSaved) {
    // The older session was deleted, then the newer one was written after it and deleted too.
    LaidCard card(140000);
    std::vector<Bytes> photos;
    for (int i = 0; i < 2100; ++i)
        photos.push_back(i % 7 == 3 ? testing::MakeGif89a(8 + i % 13, 6, i) : testing::MakeJpeg(48 + i % 37, 32 + i % 23, i, 70));
    card.Lay({photos.begin(), photos.begin() + 1500});
    card.Lay({photos.begin() + 1500, photos.end()});
    card.Lay({OldData(200000, 7)});

    const CliRun run = card.Save("out");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), photos.size());
    EXPECT_EQ(lines[999], card.dir.file("out/Image1000.JPG"));
    EXPECT_EQ(lines.back(), card.dir.file("out/Image2100.JPG"));
    for (std::size_t i = 0; i < photos.size(); ++i)
        ASSERT_EQ(testing::ReadFileBytes(lines[i]), photos[i]) << lines[i];
}

TEST(Cli, AFolderSwappedForALinkMidSaveIsNeverWrittenThroughIt) {
    LaidCard card(40000);
    std::vector<Bytes> photos;
    for (int i = 0; i < 400; ++i) photos.push_back(testing::MakeJpeg(48 + i % 37, 32 + i % 23, i, 70));
    card.Lay(photos);
    const std::string out = card.dir.file("out"), elsewhere = card.dir.file("elsewhere");
    fs::create_directory(elsewhere);
    QProcess process;
    process.start(QString::fromStdString(CliPath()), {"save", "--quiet", QString::fromStdString(card.image), QString::fromStdString(out)});
    ASSERT_TRUE(process.waitForStarted());
    // Held still once its first photo is written; the folder then gives way to a link elsewhere.
    while (!fs::exists(out + "/Image001.JPG") && process.state() == QProcess::Running) QThread::usleep(200);
    QProcess::execute("kill", {"-STOP", QString::number(process.processId())});
    const bool caught = !fs::exists(out + "/Image400.JPG");
    fs::rename(out, card.dir.file("out.moved"));
    fs::create_directory_symlink(elsewhere, out);
    QProcess::execute("kill", {"-CONT", QString::number(process.processId())});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    if (!caught) GTEST_SKIP() << "the save ended before the folder could be swapped";
    EXPECT_TRUE(fs::is_empty(elsewhere));
    for (std::size_t i = 0; i < photos.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Image%03zu.JPG", i + 1);
        ASSERT_EQ(testing::ReadFileBytes(card.dir.file("out.moved/") + name), photos[i]) << name;
    }
}

TEST(Cli, ASavedPhotoEndsWhereItsStructureEnds) {
    LaidCard card(140000);
    const Bytes plain = testing::MakeJpeg(200, 150, 1);
    const Bytes clip = OldData(300000, 3);  // a video clip's data after the photo
    const Bytes progressive = testing::MakeProgressiveJpeg(240, 180, 2);
    const Bytes restarts = testing::MakeJpegWithRestarts(3, 40);
    const Bytes withPreview = testing::MakeJpegWithPreview(120, 90, 4);
    const Bytes animated = testing::MakeAnimatedGif89a(40, 30, 5, 4);
    // Its thumbnail starts the photo's second sector: the scan lists it as a photo of its own,
    // which lies inside the photo and is saved with it only.
    const Bytes thumbnailed = testing::MakeJpegWithThumbnail(320, 240, 6, 512);
    // A damaged photo: the length of its first segment is wrong, so its structure breaks off. It
    // is cut after the last FF D9 of its run, which here lies in old data after its own end, and
    // said to be incomplete.
    Bytes damaged = testing::MakeJpeg(160, 120, 7);
    damaged[5] = 0x02;
    damaged.insert(damaged.end(), {0x11, 0xFF, 0xD9});
    const Bytes last = testing::MakeJpeg(100, 80, 8);
    card.Lay({plain, clip, progressive, restarts, withPreview, animated, thumbnailed, damaged, last, OldData(100000, 9)});

    const CliRun run = card.Save("out");
    EXPECT_EQ(run.status, 1) << run.err;  // not all came back whole
    const std::vector<std::pair<std::string, Bytes>> expected = {
        {"Image001.JPG", plain},       {"Image002.JPG", progressive}, {"Image003.JPG", restarts},
        {"Image004.JPG", withPreview}, {"Image005.GIF", animated},    {"Image006.JPG", thumbnailed},
        {"Image008.JPG", damaged},     {"Image009.JPG", last}};
    ASSERT_EQ(Lines(run.out).size(), expected.size()) << run.out;
    for (const auto& [name, bytes] : expected)
        EXPECT_EQ(testing::ReadFileBytes(card.dir.file("out/" + name)), bytes) << name;
    EXPECT_FALSE(fs::exists(card.dir.file("out/Image007.JPG")));
    EXPECT_EQ(Lines(run.err),
              (std::vector<std::string>{
                  "kelvara-cli: Image007.JPG lies inside Image006.JPG: it was not saved on its own.",
                  "kelvara-cli: Image008.JPG is incomplete: its data break off after " + std::to_string(damaged.size()) +
                      " bytes; it was saved as far as it holds together.",
                  "kelvara-cli: 8 files saved (1 incomplete); 1 entry lies inside other photos; 0 entries are not photos."}));
}

// A camera card in use: every other photo deleted in the camera, new ones written into the holes,
// quick-formatted. Each photo in pieces comes back whole, byte for byte, and is said to be put
// back together; one whose last piece was written over is saved as far as it holds and said to
// be incomplete, never whole.
TEST(Cli, PhotosWrittenIntoTheHolesOfDeletedOnesComeBackWholeFromTheirPieces) {
    testing::TempDir dir;
    const std::string image = dir.file("card.img");
    const testing::FragmentedCard card = testing::MakeFragmentedCard(image, 16, 3);
    std::vector<std::size_t> pieced;
    for (std::size_t i = 0; i < card.photos.size(); ++i)
        if (card.pieces[i] > 1) pieced.push_back(i);
    ASSERT_GE(pieced.size(), 4u);
    ASSERT_GE(*std::max_element(card.pieces.begin(), card.pieces.end()), 3);
    std::cout << card.photos.size() << " photos, in pieces:";
    for (const int pieces : card.pieces) std::cout << " " << pieces;
    std::cout << "\n";

    // The last cluster of the last photo in pieces is written over by other data.
    const Bytes& lost = card.photos[pieced.back()];
    const Bytes all = testing::ReadFileBytes(image);
    const Bytes tail(lost.end() - 64, lost.end());
    const auto found = std::search(all.begin(), all.end(), tail.begin(), tail.end());
    ASSERT_NE(found, all.end());
    const auto cluster = static_cast<std::int64_t>(found - all.begin()) / 4096 * 4096;
    testing::WriteBytesAt(image, cluster, OldData(4096, 5));

    const CliRun run =
        SaveBothWays({"save", QString::fromStdString(image), QString::fromStdString(dir.file("out")), "--quiet"}, dir.file("out"));
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<Bytes> saved;
    for (const std::string& path : Lines(run.out)) saved.push_back(testing::ReadFileBytes(path));
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const bool back = std::find(saved.begin(), saved.end(), card.photos[i]) != saved.end();
        EXPECT_EQ(back, i != pieced.back()) << "photo " << i << " in " << card.pieces[i] << " pieces";
    }
    EXPECT_TRUE(std::any_of(saved.begin(), saved.end(), [&](const Bytes& file) {
        return file.size() < lost.size() && std::equal(file.begin(), file.end(), lost.begin());
    })) << "the photo whose last piece is gone is saved as far as it holds";
    std::size_t together = 0, incomplete = 0;
    for (const std::string& line : Lines(run.err)) {
        together += line.find(" pieces found apart on the card.") != std::string::npos;
        incomplete += line.find(" is incomplete: ") != std::string::npos;
    }
    EXPECT_EQ(together, pieced.size() - 1) << run.err;
    EXPECT_EQ(incomplete, 1u) << run.err;
    EXPECT_NE(run.err.find("kelvara-cli: " + std::to_string(pieced.size() - 1) + " files were put back together from pieces."),
              std::string::npos)
        << run.err;
}

// Clips and a PNG each cut in two by a photo written between their pieces: an MP4's boxes, an
// AVI's chunks and the PNG's chunks (their CRCs) land where their sizes say only across the right
// join. Where an
// old cluster lies between too, a PNG's CRCs still tell the join; a clip's boxes cannot (its media
// data would hold as well with the old cluster in them), so that clip is said to be incomplete.
// A HEIC's boxes cannot either, but its picture's coded data decode clean only across the right
// joins, and an H.264 or HEVC clip's video samples are each filled by NAL units only there: in
// pieces with an old cluster before each continuation, they come back whole, as does a TIFF whose
// JPEG-coded tiles each start where its directory says only across the right joins. So does a
// JPEG whose first piece is one cluster, cut by a photo its decoder reads into.
TEST(Cli, ClipsAndAPngInPiecesComeBackWholeWhereTheirBoxesAndChunksSaySo) {
    if (!testing::HasTool("ffmpeg") || !testing::HasTool("heif-enc")) GTEST_SKIP() << "ffmpeg and heif-enc make the clips and the HEIC";
    testing::TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 32, 600000, 8);
    const std::int64_t data = testing::ReadGeometryWithMinfo(image).dataStartSector * 512;
    constexpr std::int64_t kCluster = 4096;
    const Bytes png = testing::MakePng(2000, 1500, 7);
    const Bytes clip = testing::ToolFile(dir.path(), "a.mp4",
                                         "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 -c:v mpeg4 -q:v 4 a.mp4");
    const Bytes avi = testing::ToolFile(dir.path(), "a.avi",
                                        "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 -c:v mjpeg a.avi");
    ASSERT_GT(png.size(), 3u * kCluster);
    ASSERT_GT(clip.size(), 3u * kCluster);
    ASSERT_GT(avi.size(), 3u * kCluster);
    const Bytes jpeg = testing::MakeJpeg(640, 480, 9, 95);
    ASSERT_GT(jpeg.size(), 3u * kCluster);
    const Bytes heic = testing::ToolFile(dir.path(), "a.heic",
                                         "ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480,noise=alls=30:allf=t "
                                         "-frames:v 1 a.png && heif-enc -q 90 a.png -o a.heic");
    ASSERT_GT(heic.size(), 6u * kCluster);
    const Bytes h264 = testing::ToolFile(dir.path(), "b.mp4",
                                         "ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=10,noise=alls=20:allf=t -t 2 "
                                         "-c:v libx264 -movflags +faststart b.mp4");
    const Bytes hevc = testing::ToolFile(dir.path(), "c.mp4",
                                         "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10,noise=alls=20:allf=t -t 1 "
                                         "-c:v libx265 -x265-params log-level=error c.mp4");
    ASSERT_GT(h264.size(), 6u * kCluster);
    testing::TiffWriter writer;
    const std::uint32_t directory = writer.Reserve(7);
    writer.SetFirst(directory);
    // The tiles' lists next to the directory, as cameras write them, filled in as the tiles are laid.
    const auto tileAt = writer.LongList(0x144, std::vector<std::uint32_t>(48)),
               tileLength = writer.LongList(0x145, std::vector<std::uint32_t>(48));
    const auto put = [&](std::uint32_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) writer.bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (std::uint32_t i = 0; i < 48; ++i) {
        const Bytes tile = testing::MakeJpeg(64, 64, 100 + static_cast<int>(i), 95);
        put(tileAt.value + 4 * i, writer.Blob(tile));
        put(tileLength.value + 4 * i, static_cast<std::uint32_t>(tile.size()));
    }
    writer.DirectoryAt(directory, {testing::TiffWriter::Long(0x100, 512), testing::TiffWriter::Long(0x101, 384),
                                   testing::TiffWriter::Short(0x103, 7), testing::TiffWriter::Long(0x142, 64),
                                   testing::TiffWriter::Long(0x143, 64), tileAt, tileLength});
    const Bytes tiff = writer.bytes;
    ASSERT_GT(tiff.size(), 6u * kCluster);
    ASSERT_GT(hevc.size(), 3u * kCluster);
    std::int64_t cluster = 0;
    const auto lay = [&](const Bytes& bytes) {
        testing::WriteBytesAt(image, data + cluster * kCluster, bytes);
        cluster += (static_cast<std::int64_t>(bytes.size()) + kCluster - 1) / kCluster;
    };
    int seed = 20;
    std::vector<Bytes> photos;
    const auto photo = [&] {
        photos.push_back(testing::MakeJpeg(96, 72, seed++));  // one cluster: photos start odd and even ones
        ASSERT_LT(photos.back().size(), static_cast<std::size_t>(kCluster));
        lay(photos.back());
    };
    // Its pieces split after the clusters `splits` names, a photo after each, maybe an old cluster
    // of other data before each continuation.
    const auto cut = [&](const Bytes& file, bool old, std::vector<std::int64_t> splits = {2}) {
        std::int64_t from = 0;
        for (const std::int64_t split : splits) {
            lay(Bytes(file.begin() + from * kCluster, file.begin() + split * kCluster));
            photo();
            if (old) lay(OldData(kCluster, static_cast<std::uint32_t>(seed)));
            from = split;
        }
        lay(Bytes(file.begin() + from * kCluster, file.end()));
        photo();
    };
    photo();
    cut(png, true);
    cut(clip, false);
    cut(clip, true);
    cut(avi, false);
    cut(heic, true, {2, 4});
    cut(h264, true, {2, 8});  // each piece holds the start of a frame
    cut(hevc, true);
    cut(tiff, true, {2, 4});
    cut(jpeg, false, {1});
    photo();

    const CliRun run =
        SaveBothWays({"save", QString::fromStdString(image), QString::fromStdString(dir.file("out")), "--quiet"}, dir.file("out"));
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<Bytes> saved;
    for (const std::string& path : Lines(run.out)) saved.push_back(testing::ReadFileBytes(path));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), png), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), clip), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), avi), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), heic), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), jpeg), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), h264), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), hevc), 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), tiff), 1);
    for (const Bytes& whole : photos) EXPECT_NE(std::find(saved.begin(), saved.end(), whole), saved.end());
    EXPECT_EQ(saved.size(), 9 + photos.size());
    const auto lines = Lines(run.err);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(" pieces found apart on the card.") != std::string::npos; }),
              8)
        << run.err;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(".MP4 is incomplete: ") != std::string::npos; }),
              1)
        << run.err;
}

// When a file says it was taken, as a file time: EXIF's text is local time, a clip's (with a Z) UTC.
std::optional<std::time_t> TakenAt(const std::string& taken) {
    std::tm time{};
    if (taken.empty() || std::sscanf(taken.c_str(), "%d:%d:%d %d:%d:%d", &time.tm_year, &time.tm_mon, &time.tm_mday,
                                     &time.tm_hour, &time.tm_min, &time.tm_sec) != 6)
        return std::nullopt;
    time.tm_year -= 1900;
    time.tm_mon -= 1;
    time.tm_isdst = -1;
    return taken.back() == 'Z' ? timegm(&time) : std::mktime(&time);
}

// The entries of a scan's output, by the sector they start at.
std::map<std::int64_t, std::string> ScanEntries(const std::string& out) {
    std::map<std::int64_t, std::string> entries;
    for (const std::string& line : Lines(out)) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos) entries[std::stoll(line.substr(tab + 1))] = line.substr(0, tab);
    }
    return entries;
}

// A card of every format today's cameras and phones write, deleted, with old data after them.
TEST(Cli, EveryFormatComesBackWholeNamedByItsOwnHeaderAndDated) {
    LaidCard card(140000);
    const std::vector<testing::FormatFile> files = testing::EveryFormatFiles(card.dir.path());
    std::vector<std::int64_t> starts;
    for (const testing::FormatFile& file : files) {
        starts.push_back(card.next);
        card.Lay({file.bytes});
    }
    card.Lay({OldData(300000, 21)});
    const QString image = QString::fromStdString(card.image);

    // Each file is listed where it starts, named as its own head says; the scan's lines stay
    // NAME, START, END. The other entries are chance signatures and previews inside the files.
    const CliRun scan = Cli({"scan", image, "--quiet"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    const auto entries = ScanEntries(scan.out);
    for (std::size_t i = 0; i < files.size(); ++i) {
        ASSERT_TRUE(entries.count(starts[i])) << files[i].extension;
        EXPECT_EQ(fs::path(entries.at(starts[i])).extension(), files[i].extension);
    }
    EXPECT_GT(entries.size(), files.size());
    // The 9x family reads the same heads and names the same files.
    EXPECT_EQ(Cli({"scan", image, "--quiet", "--family", "9x"}).out, scan.out);

    const CliRun run = card.Save("out");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), files.size());
    int dated = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = card.dir.file("out/" + entries.at(starts[i]));
        ASSERT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(testing::ReadFileBytes(path), files[i].bytes) << path;
        struct stat status {};
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        if (const auto taken = TakenAt(files[i].taken)) {
            EXPECT_EQ(status.st_mtime, *taken) << path << " " << files[i].taken;
            ++dated;
        }
    }
    EXPECT_GE(dated, 9);  // the JPEGs, RAW files and RAF at least
    const std::string inside = std::to_string(entries.size() - files.size());
    EXPECT_NE(run.err.find(" lies inside " + entries.at(starts[1]) + ": it was not saved on its own."), std::string::npos)
        << run.err;
    EXPECT_EQ(Lines(run.err).back(), "kelvara-cli: " + std::to_string(files.size()) + " files saved (0 incomplete); " + inside +
                                         (inside == "1" ? " entry lies" : " entries lie") +
                                         " inside other photos; 0 entries are not photos.");

    // --formats takes groups and extensions; the entries are numbered among those looked for.
    const CliRun raw = Cli({"scan", image, "--quiet", "--formats", "raw,TIF"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    std::vector<std::string> rawNames;
    for (const auto& [start, name] : ScanEntries(raw.out)) rawNames.push_back(name);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < files.size(); ++i)
        for (const char* kind : {".DNG", ".CR2", ".NEF", ".ARW", ".ORF", ".RW2", ".RAF", ".TIF"})
            if (files[i].extension == kind) {
                char name[32];
                std::snprintf(name, sizeof name, "Image%03zu%s", expected.size() + 1, kind);
                expected.push_back(name);
            }
    EXPECT_EQ(rawNames, expected);
    const CliRun wrong = Cli({"scan", image, "--formats", "raw,slides"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("--formats takes jpeg,gif,"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("not 'slides'"), std::string::npos) << wrong.err;
}

// The card behind a partition table, as an SD card carries one: partition 1 is left empty,
// partition 2 holds the card. label is sfdisk's: "gpt" or "dos".
std::string CardBehindTable(const testing::TempDir& dir, const std::string& label, const std::string& card) {
    const std::string image = dir.file(label + ".img");
    const std::int64_t cardSectors = static_cast<std::int64_t>(fs::file_size(card) / 512);
    std::ofstream(image, std::ios::binary).close();
    fs::resize_file(image, static_cast<std::uintmax_t>((4096 + cardSectors + 2048) * 512));
    QProcess sfdisk;
    sfdisk.start("sfdisk", {"--no-reread", "--no-tell-kernel", "--quiet", QString::fromStdString(image)});
    sfdisk.write(("label: " + label + "\nstart=2048, size=2048\nstart=4096, size=" + std::to_string(cardSectors) + "\n").c_str());
    sfdisk.closeWriteChannel();
    sfdisk.waitForFinished();
    if (sfdisk.exitCode() != 0) throw std::runtime_error("sfdisk: " + sfdisk.readAllStandardError().toStdString());
    testing::WriteBytesAt(image, 4096 * 512, testing::ReadFileBytes(card));
    return image;
}

TEST_F(CardTest, BehindAGuidOrClassicTableTheCardIsFoundInImagesAndDevices) {
    testing::TempDir dir;
    const CliRun bare = Cli({"scan", QString::fromStdString(card->image), "--quiet"});
    ASSERT_EQ(bare.status, 0) << bare.err;
    // The same photos at the same sectors: sector numbers count from the partition's start.
    const auto expectSameScan = [&](const std::string& source) {
        const CliRun run = Cli({"scan", QString::fromStdString(source), "--quiet"});
        EXPECT_EQ(run.status, 0) << source << ": " << run.err;
        EXPECT_EQ(run.out, bare.out) << source;
    };
    for (const std::string label : {"gpt", "dos"}) {
        const std::string image = CardBehindTable(dir, label, card->image);
        expectSameScan(image);  // the first partition holding a file system
        expectSameScan(image + "@2");
        const CliRun drives = Cli({"drives", QString::fromStdString(image)});
        EXPECT_NE(drives.out.find(image + "@1"), std::string::npos) << drives.out;
        EXPECT_NE(drives.out.find(image + "@2"), std::string::npos) << drives.out;

        if (!testing::RunningAsRoot()) {
            std::printf("[  SKIPPED ] %s table on a block device: only root can attach a loop device\n", label.c_str());
            continue;
        }
        const testing::LoopDevice loop(image, {.readOnly = true});
        if (loop.device().empty()) {
            std::printf("[  SKIPPED ] %s table on a block device: losetup refused: %s\n", label.c_str(), loop.refusal().c_str());
            continue;
        }
        expectSameScan(loop.device());
        expectSameScan(loop.device() + "@2");
    }
}

// Cards crafted against the walkers, saved as a user would: at most the card is written, into
// the files the structures allow, and memory stays small; a card whose every sector starts a
// photo keeps its list in a temporary file.
TEST(Cli, HostileCardsAreSavedWithinTheCardAndSmallMemory) {
    struct Case {
        const char* name;
        Bytes card;
        std::size_t files;
        int status;  // 1 where some photo is incomplete
    };
    const Case cases[] = {
        {"segments hopping across the card", testing::HoppingJpegCard(65536), 4, 1},
        {"GIF sub-blocks chained to the card's end", testing::ChainedGifCard(4096), 1, 0},
        {"100 JPEGs declaring a preview near the card's end", testing::FarPreviewCard(32768, 100), 101, 0},
        {"FF D8 FF in every sector", testing::SignatureEverywhereCard(196608), 0, 0},
        {"a PNG in every sector declaring a chunk past the card", testing::PngChunkEverywhereCard(2048, 0x7FFFFFF0), 2048, 1},
        {"a PNG in every sector declaring a chunk over the next", testing::PngChunkEverywhereCard(2048, 65536), 2048, 1},
        // Millions of entries in folders that loop; read only to name, they cost little.
        {"a folder in every cluster, chained in a loop", testing::FoldersEverywhereCard(196608), 1, 0},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = dir.file("card.img"), out = dir.file("out");
        fs::remove_all(out);
        testing::WriteFileBytes(image, c.card);
        const CliRun run = Cli({"/usr/bin/time", "-f", "%M", QString::fromStdString(CliPath()), "save",
                                QString::fromStdString(image), QString::fromStdString(out), "--sectors",
                                QString::number(c.card.size() / 512), "--names", "card", "--quiet"});
        ASSERT_EQ(run.status, c.status) << run.err.substr(0, 2000);
        std::uintmax_t written = 0;
        std::size_t files = 0;
        if (fs::exists(out))
            for (const auto& entry : fs::directory_iterator(out)) written += entry.file_size(), ++files;
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(Lines(run.out).size(), files);
        EXPECT_LE(written, c.card.size());
        const double peakMiB = std::stod(Lines(run.err).back()) / 1024;
        EXPECT_LT(peakMiB, 100 + kSanitizerMiB);
        // Read once, as the scan goes, with the bytes it read kept behind it.
        const std::string once = dir.file("once");
        fs::remove_all(once);
        const CliRun alongScan = SaveBothWays({"save", QString::fromStdString(image), QString::fromStdString(once), "--sectors",
                                               QString::number(c.card.size() / 512), "--quiet"},
                                              once, {}, true);
        EXPECT_EQ(alongScan.status, c.status);
        const double onceMiB = std::stod(Lines(alongScan.err).back()) / 1024;
        EXPECT_LT(onceMiB, 100 + kSanitizerMiB);
        std::cout << c.name << ": " << files << " files, " << written << " of " << c.card.size() << " bytes, peak "
                  << peakMiB << " MiB, read once " << onceMiB << " MiB\n";
    }
}

TEST(Cli, ASourceThatCanHoldNoCardIsRefusedAtOnceByName) {
    testing::TempDir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string out = dir.file("out");
    const std::pair<std::string, std::string> sources[] = {
        {pipe, "a named pipe (FIFO)"}, {"/dev/null", "a character device"}, {dir.path(), "a folder"}};
    for (const auto& [source, kind] : sources) {
        const QString path = QString::fromStdString(source);
        for (const QStringList& arguments : {QStringList{"scan", path}, QStringList{"save", path, QString::fromStdString(out)},
                                             QStringList{"image", path, QString::fromStdString(out)},
                                             QStringList{"drives", path}}) {
            const CliRun run = Cli(arguments);  // before, a FIFO hung here in its open
            EXPECT_EQ(run.status, 1) << arguments.join(' ').toStdString();
            EXPECT_NE(run.err.find(source + " is " + kind), std::string::npos) << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(out));
}

// Everything under a folder, file by file, to show a command left it as it was.
std::map<std::string, Bytes> Contents(const std::string& folder) {
    std::map<std::string, Bytes> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && !entry.is_symlink()) contents[entry.path().string()] = testing::ReadFileBytes(entry.path().string());
    return contents;
}

TEST_F(CardTest, ALinkPlantedInTheDestinationIsKeptNeverWrittenThrough) {
    testing::TempDir elsewhere;
    testing::WriteFileBytes(elsewhere.file("victim"), Bytes{'k', 'e', 'e', 'p'});
    const auto before = Contents(elsewhere.path());
    const std::string out = folder->file("planted");
    fs::create_directory(out);
    fs::create_symlink(elsewhere.file("victim"), out + "/Image001.JPG");
    fs::create_symlink(elsewhere.file("dangling"), out + "/Image002.JPG");
    fs::create_symlink(elsewhere.file("victim"), out + "/TOBRN.IMG");
    const CliRun save = Cli({"save", "--quiet", QString::fromStdString(card->image), QString::fromStdString(out)});
    const CliRun image = Cli({"image", "--quiet", QString::fromStdString(card->image), QString::fromStdString(out)});
    EXPECT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_EQ(Contents(elsewhere.path()), before);  // the victim as it was, and no file where the dangling link pointed
    // The links are the user's: they stay, and the files take the next free names.
    for (const char* name : {"Image001.JPG", "Image002.JPG", "TOBRN.IMG"})
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(out + "/" + name))) << name;
    for (const char* name : {"Image001 (2).JPG", "Image002 (2).JPG", "TOBRN (2).IMG"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + "/" + name))) << name;
    EXPECT_EQ(testing::ReadFileBytes(out + "/Image001 (2).JPG"), card->photos[0].bytes);
    fs::remove_all(out);
}

// Card after card into one folder: nothing of the user's, nor of an earlier card, is replaced or
// removed, and the card is never taken for a leftover, whatever it is called.
TEST_F(CardTest, ASecondCardIntoTheSameFolderReplacesAndRemovesNothing) {
    testing::TempDir dir;
    const std::string out = dir.file("Recovered");
    fs::create_directory(out);
    testing::WriteFileBytes(out + "/Image001.JPG", Bytes{'m', 'i', 'n', 'e'});
    testing::WriteFileBytes(out + "/notes.kelvara-0123abcd.tmp", Bytes{'n'});
    // The only copy of a card, named as an interrupted image's temporary would be.
    const std::string source = out + "/TOBRN.IMG.kelvara-89abcdef.tmp";
    fs::copy_file(card->image, source);
    const auto before = Contents(out);
    const CliRun first = Cli({"save", "--quiet", QString::fromStdString(source), QString::fromStdString(out)});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("Image001.JPG was saved as " + out + "/Image001 (2).JPG"), std::string::npos) << first.err;
    for (const auto& [path, bytes] : before) EXPECT_EQ(testing::ReadFileBytes(path), bytes) << path;
    EXPECT_EQ(testing::ReadFileBytes(out + "/Image001 (2).JPG"), card->photos[0].bytes);
    const auto saved = Contents(out);
    // The same card again: its photos are there already, byte for byte, and nothing is written.
    const CliRun again = Cli({"save", "--quiet", QString::fromStdString(source), QString::fromStdString(out)});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Contents(out), saved);
    const CliRun image = Cli({"image", "--quiet", QString::fromStdString(source), QString::fromStdString(out)});
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_EQ(testing::ReadFileBytes(out + "/TOBRN.IMG"), testing::ReadFileBytes(source));
    EXPECT_EQ(Contents(out).size(), saved.size() + 1);
}

TEST_F(CardTest, ImageDiskNeverWritesOverTheCardImageItReads) {
    testing::TempDir dir;
    const std::string source = dir.file("TOBRN.IMG");
    fs::copy_file(card->image, source);
    fs::create_directory(dir.file("linked"));
    fs::create_hard_link(source, dir.file("linked/TOBRN.IMG"));
    const auto before = Contents(dir.path());
    // Never replaced: an image of the same bytes is that file already, and nothing is written.
    for (const std::string& destination : {dir.path(), dir.file("linked")}) {
        const CliRun run = Cli({"image", "--quiet", QString::fromStdString(source), QString::fromStdString(destination)});
        EXPECT_EQ(run.status, 0) << destination << run.err;
    }
    EXPECT_EQ(Contents(dir.path()), before);
}

TEST_F(CardTest, AFolderOnTheMountedCardIsRefused) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting the card with fusefat needs root";
    testing::TempDir dir;
    const std::string copy = dir.file("card.img");
    fs::copy_file(card->image, copy);
    fs::create_directory(dir.file("mnt"));
    const testing::FuseFatMount mount(copy, dir.file("mnt"));
    if (!mount.ok()) GTEST_SKIP() << "fusefat could not mount the card";
    const Bytes before = testing::ReadFileBytes(copy);
    for (const QString& command : {QString("save"), QString("image")}) {
        const CliRun run = Cli({command, "--quiet", QString::fromStdString(copy), QString::fromStdString(dir.file("mnt/out"))});
        EXPECT_EQ(run.status, 1) << command.toStdString();
        EXPECT_NE(run.err.find("is on drive D:\\, the card being recovered"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Choose a folder on another drive."), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir.file("mnt/out")));
    EXPECT_EQ(testing::ReadFileBytes(copy), before);
}

// A passthrough FUSE file system given its folder in its environment holds nothing that tells
// where it keeps its files: while the card is mounted it may be the card's mirror, and is refused;
// with the card nowhere in use it is only another folder.
TEST_F(CardTest, AMirrorThatNamesNothingIsRefusedWhileTheCardIsMounted) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting through FUSE needs root";
    const std::string mirrorServer = Beside("kelvara-test-fuse-mirror");
    if (!fs::exists(mirrorServer) || !fs::exists("/dev/fuse")) GTEST_SKIP() << "no FUSE mirror here";
    testing::TempDir dir;
    const std::string copy = dir.file("card.img");
    fs::copy_file(card->image, copy);
    fs::create_directories(dir.file("mnt"));
    fs::create_directories(dir.file("plain"));
    const auto mirror = [&](const std::string& target, const std::string& at) {
        fs::create_directories(at);
        auto server = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KELVARA_MIRROR_TARGET", QString::fromStdString(target));
        server->setProcessEnvironment(environment);
        server->start(QString::fromStdString(mirrorServer), {QString::fromStdString(at)});
        struct stat here {}, above {};
        for (int tries = 0; tries < 250; ++tries) {
            if (::stat(at.c_str(), &here) == 0 && ::stat((at + "/..").c_str(), &above) == 0 && here.st_dev != above.st_dev)
                break;
            QThread::msleep(20);
        }
        return server;
    };
    const auto stop = [](std::unique_ptr<QProcess>& server) {
        server->terminate();
        server->waitForFinished(10000);
    };
    {
        const testing::FuseFatMount mount(copy, dir.file("mnt"));
        if (!mount.ok()) GTEST_SKIP() << "fusefat could not mount the card";
        const Bytes before = testing::ReadFileBytes(copy);
        auto server = mirror(dir.file("mnt"), dir.file("mirror"));
        const CliRun run = Cli({"save", "--quiet", QString::fromStdString(copy), QString::fromStdString(dir.file("mirror/out"))});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("Kelvara cannot tell whether " + dir.file("mirror/out")), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("holds nothing that tells where it keeps its files"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir.file("mnt/out")));
        EXPECT_EQ(testing::ReadFileBytes(copy), before);
        stop(server);
    }
    auto server = mirror(dir.file("plain"), dir.file("mirror"));
    const CliRun run = Cli({"save", "--quiet", QString::fromStdString(copy), QString::fromStdString(dir.file("mirror/out"))});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("plain/out/Image001.JPG")), card->photos[0].bytes);
    stop(server);
}

TEST_F(CardTest, TwoCommandsNeverWriteOneFolderAtOnce) {
    const std::string out = folder->file("taken");
    fs::create_directory(out);
    {
        // Another Kelvara is writing into the folder: it holds it while it does.
        PosixPlatform other(std::vector<std::string>{});
        const Destination held(other, out, {});
        ASSERT_FALSE(held.refusal());
        for (const QString& command : {QString("save"), QString("image")}) {
            const CliRun run = Cli({command, "--quiet", QString::fromStdString(card->image), QString::fromStdString(out)});
            EXPECT_EQ(run.status, 1) << command.toStdString();
            EXPECT_NE(run.err.find("Another Kelvara is writing into " + out + " now."), std::string::npos) << run.err;
        }
        EXPECT_TRUE(fs::is_empty(out));
    }
    EXPECT_EQ(Cli({"save", "--quiet", QString::fromStdString(card->image), QString::fromStdString(out)}).status, 0);
    fs::remove_all(out);
}

// Everything a save or an image would be refused for is said before the card is read: one
// line, and no scan behind it.
TEST_F(CardTest, TheFolderIsCheckedBeforeTheCardIsRead) {
    testing::TempDir dir;
    testing::WriteFileBytes(dir.file("file"), Bytes{1});
    fs::create_directory(dir.file("taken"));
    PosixPlatform other(std::vector<std::string>{});
    const Destination held(other, dir.file("taken"), {});
    const std::pair<std::string, std::string> folders[] = {
        {"D:", "D: is on drive D:\\, the card being recovered"},  // the card itself, by its letter
        {dir.file("file/sub"), " is a file, not a folder."},
        {"Q:\\out", "The folder Q:\\out cannot be made: "},
        {dir.file("taken"), "Another Kelvara is writing into " + dir.file("taken") + " now."}};
    for (const auto& [folder, why] : folders) {
        for (const QString& command : {QString("save"), QString("image")}) {
            const CliRun run = Cli({command, QString::fromStdString(card->image), QString::fromStdString(folder)});
            EXPECT_EQ(run.status, 1) << folder;
            EXPECT_TRUE(run.out.empty()) << run.out;
            ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
            EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        }
    }
}

// The whole card is read, to its last sector, and the image of it is read as the card is; an
// image that ends early is read to its end, and the user is told.
TEST_F(CardTest, TheWholeCardIsReadAndItsImageScansAsTheCardDoes) {
    testing::TempDir dir;
    const std::string copy = dir.file("card.img");
    fs::copy_file(card->image, copy);
    const std::int64_t total = static_cast<std::int64_t>(fs::file_size(copy) / 512);
    const auto geometry = testing::ReadGeometryWithMinfo(copy);
    const std::int64_t dataArea = geometry.sectorsPerCluster * geometry.totalClusters;
    // A photo past sectors per cluster times clusters: the count that leaves the end unread.
    const Bytes last = testing::MakeJpeg(40, 30, 99);
    ASSERT_LT(last.size(), 20u * 512);
    ASSERT_LT(dataArea, total - 20);
    testing::WriteBytesAt(copy, (total - 20) * 512, last);

    const CliRun scan = Cli({"scan", "--quiet", QString::fromStdString(copy)});
    ASSERT_EQ(scan.status, 0) << scan.err;
    const auto lines = Lines(scan.out);
    ASSERT_EQ(lines.size(), card->photos.size() + 2);
    EXPECT_EQ(lines[card->photos.size()], "Image031.JPG\t" + std::to_string(total - 20) + "\t" + std::to_string(total));

    const CliRun image = Cli({"image", "--quiet", QString::fromStdString(copy), QString::fromStdString(dir.file("out"))});
    ASSERT_EQ(image.status, 0) << image.err;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("out/TOBRN.IMG")), testing::ReadFileBytes(copy));
    const CliRun again = Cli({"scan", "--quiet", QString::fromStdString(dir.file("out/TOBRN.IMG"))});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, scan.out);

    // As an older Kelvara made it, without the card's last sectors.
    const std::string old = dir.file("old.img");
    testing::WriteFileBytes(old, testing::ReadBytesAt(copy, 0, static_cast<std::size_t>(dataArea * 512)));
    for (const QString& family : {QString("nt"), QString("9x")}) {
        const CliRun shorter = Cli({"scan", "--quiet", "--family", family, QString::fromStdString(old)});
        EXPECT_EQ(shorter.err.find("recognized file system"), std::string::npos) << shorter.err;
        if (family == "nt") {
            EXPECT_EQ(shorter.status, 0) << shorter.err;
        } else {
            // The 9x disk service has no length to ask and answers past the end as it answers an
            // unreadable sector: what it could not read is named, and the status says so.
            EXPECT_EQ(shorter.status, 1) << shorter.err;
            EXPECT_NE(shorter.err.find("Sectors " + std::to_string(dataArea) + "-" + std::to_string(total - 1) +
                                       " could not be read."),
                      std::string::npos)
                << shorter.err;
        }
        const auto found = Lines(shorter.out);
        ASSERT_EQ(found.size(), card->photos.size() + 1) << shorter.out;
        EXPECT_EQ(found.back(), "Kelvara's found 30 Files");
        if (family == "nt") {
            EXPECT_NE(shorter.err.find("Drive D:\\ ends at sector " + std::to_string(dataArea) +
                                       ", before its file system does (at sector " + std::to_string(total) + ")"),
                      std::string::npos)
                << shorter.err;
        }
    }
}

// A link in the folder's path is followed: ~/Pictures leading to another disk is that disk's folder.
TEST_F(CardTest, AFolderReachedThroughALinkIsTheFolderItLeadsTo) {
    testing::TempDir dir;
    fs::create_directory(dir.file("elsewhere"));
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("Pictures"));
    const CliRun save = Cli({"save", "--quiet", QString::fromStdString(card->image), "Pictures/2024"}, dir.path());
    EXPECT_EQ(save.status, 0) << save.err;
    ExpectAllSaved(dir.file("elsewhere/2024"));
    const CliRun image = Cli({"image", "--quiet", QString::fromStdString(card->image), "Pictures"}, dir.path());
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_TRUE(fs::is_regular_file(dir.file("elsewhere/TOBRN.IMG")));
}

// As root: a FUSE program the command line is not (though it names the mount point too) serves
// another card; a folder at that mount's root is another drive.
TEST_F(CardTest, AFolderAtTheRootOfAnotherFuseMountIsTaken) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting cards with fusefat needs root";
    testing::TempDir dir;
    fs::copy_file(card->image, dir.file("card.img"));
    testing::MakeFatImage(dir.file("other.img"), 32, 70000);
    fs::create_directory(dir.file("mnt"));
    fs::create_directory(dir.file("other"));
    const testing::Mount cardMount({"fusefat", "-o", "rw+", "card.img", "mnt"}, dir.file("mnt"), dir.path());
    const testing::Mount otherMount({"fusefat", "-o", "rw+", "other.img", "other"}, dir.file("other"), dir.path());
    if (!cardMount.ok() || !otherMount.ok()) GTEST_SKIP() << "fusefat: " << cardMount.refusal() << otherMount.refusal();
    const Bytes before = testing::ReadFileBytes(dir.file("card.img"));
    const CliRun save = Cli({"save", "--quiet", "card.img", "other"}, dir.path());
    EXPECT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(Lines(save.out).size(), card->photos.size());
    EXPECT_EQ(testing::ReadFileBytes(dir.file("card.img")), before);
    const CliRun onTheCard = Cli({"save", "--quiet", "card.img", "mnt"}, dir.path());
    EXPECT_EQ(onTheCard.status, 1);
    EXPECT_NE(onTheCard.err.find("mnt is on drive D:\\, the card being recovered (it is stored on card.img)"), std::string::npos)
        << onTheCard.err;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("card.img")), before);
}

// As root: `image /dev/loopN FOLDER` where the loop device reads FOLDER/TOBRN.IMG.
TEST_F(CardTest, ImagingALoopDeviceIntoTheFolderOfItsOwnFileIsRefused) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "only root can attach a loop device";
    testing::TempDir dir;
    fs::create_directory(dir.file("f"));
    fs::copy_file(card->image, dir.file("f/TOBRN.IMG"));
    const testing::LoopDevice loop(dir.file("f/TOBRN.IMG"), {.readOnly = true});
    if (loop.device().empty()) GTEST_SKIP() << "losetup: " << loop.refusal();
    const auto before = Contents(dir.path());
    const CliRun run = Cli({"image", "--quiet", QString::fromStdString(loop.device()), QString::fromStdString(dir.file("f"))});
    EXPECT_EQ(run.status, 0) << run.err;  // the same bytes: that file is the image, and nothing is written
    EXPECT_EQ(Contents(dir.path()), before);
}

// As root: a folder another user may write into but not list (mode 0300) is held like any
// other: while this process holds it, a run as that user is refused; then it writes there.
TEST_F(CardTest, AFolderThatCannotBeListedHasOneWriterAtATime) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "only root can run a program as another user (runuser)";
    testing::TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    // The build folder may be closed to other users: the program and the card go where they may.
    const std::string cli = dir.file("kelvara-cli"), image = dir.file("card.img"), drop = dir.file("drop");
    fs::copy_file(CliPath(), cli);
    fs::copy_file(card->image, image);
    fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::create_directory(drop);
    ASSERT_EQ(testing::RunCommand({"chown", "nobody", drop}).status, 0);
    fs::permissions(drop, fs::perms::owner_write | fs::perms::owner_exec);
    const auto asNobody = [&] { return testing::RunCommand({"runuser", "-u", "nobody", "--", cli, "save", "--quiet", image, drop}); };
    if (testing::RunCommand({"runuser", "-u", "nobody", "--", "/bin/true"}).status != 0)
        GTEST_SKIP() << "runuser cannot run a program as nobody here";
    ASSERT_NE(testing::RunCommand({"runuser", "-u", "nobody", "--", "/usr/bin/ls", drop}).status, 0);  // else it proves nothing
    {
        PosixPlatform platform(std::vector<std::string>{});
        const Destination held(platform, drop, {});
        ASSERT_FALSE(held.refusal());
        const testing::CommandResult refused = asNobody();
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.output.find("Another Kelvara is writing into " + drop + " now."), std::string::npos) << refused.output;
        EXPECT_TRUE(fs::is_empty(drop));
    }
    const testing::CommandResult saved = asNobody();
    EXPECT_EQ(saved.status, 0) << saved.output;
    ExpectAllSaved(drop);
}

TEST_F(CardTest, BothFamiliesTakeTheSectorCountGivenAndStopWhereTheCardEnds) {
    const auto geometry = testing::ReadGeometryWithMinfo(card->image);
    const std::int64_t total = geometry.sectorsPerCluster * geometry.totalClusters;
    for (const QString& family : {QString("nt"), QString("9x")}) {
        SCOPED_TRACE(family.toStdString());
        const CliRun shorter = Cli({"scan", "--quiet", "--family", family, "--sectors", QString::number(total / 2),
                                    QString::fromStdString(card->image)});
        for (const std::string& line : Lines(shorter.out)) {
            const QStringList fields = QString::fromStdString(line).split('\t');
            if (fields.size() == 3) {
                EXPECT_LE(fields[1].toLongLong(), fields[2].toLongLong()) << line;
            }
        }
        EXPECT_EQ(Lines(shorter.out).size(), Lines(Cli({"scan", "--quiet", "--sectors", QString::number(total / 2),
                                                        QString::fromStdString(card->image)}).out).size());
    }
    const std::int64_t volume = static_cast<std::int64_t>(fs::file_size(card->image) / 512);
    const CliRun past = Cli({"scan", "--quiet", "--sectors", QString::number(volume * 4), QString::fromStdString(card->image)});
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("holds nothing from sector " + std::to_string(volume) + " on"), std::string::npos) << past.err;
    // Saved reading the card once, what the save says comes after how the scan ended, as when it
    // scans first: here a card that ends inside its last photo (a GIF). A drive taken as shorter
    // ends there for the save too.
    testing::TempDir scratch;
    const std::string cutShort = scratch.file("cut.img");
    Bytes bytes = testing::ReadFileBytes(card->image);
    const Bytes& last = card->photos.back().bytes;
    const auto at = std::search(bytes.begin(), bytes.end(), last.begin(), last.end()) - bytes.begin();
    ASSERT_LT(static_cast<std::size_t>(at), bytes.size());
    bytes.resize((static_cast<std::size_t>(at) + last.size() / 2) / 512 * 512);
    testing::WriteFileBytes(cutShort, bytes);
    for (const auto& [image, sectors] : {std::pair{cutShort, volume}, std::pair{card->image, total / 2}}) {
        const std::string out = scratch.file("out" + std::to_string(sectors));
        const CliRun cut = SaveBothWays({"save", "--quiet", "--sectors", QString::number(sectors), QString::fromStdString(image),
                                         QString::fromStdString(out)},
                                        out);
        if (image == cutShort) {
            EXPECT_EQ(cut.status, 1);
            const auto ended = cut.err.find("holds nothing from sector");
            EXPECT_NE(ended, std::string::npos) << cut.err;
            EXPECT_NE(cut.err.find(".GIF is incomplete", ended), std::string::npos) << cut.err;
        }
    }
}

TEST(Cli, WrongCommandLinesGiveTheUsageAndStatus2) {
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"scan"}, QStringList{"save", "x.img"},
          QStringList{"scan", "x.img", "--family", "95"}, QStringList{"scan", "x.img", "--sectors", "0"},
          QStringList{"save", "x.img", "out", "--prefix", "a/b"}, QStringList{"scan", "x.img", "--bogus"}}) {
        const CliRun run = Cli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find("Usage:"), std::string::npos);
    }
    const CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kelvara-cli save SOURCE FOLDER"), std::string::npos);
}

TEST(Cli, WhatCannotBeDoneSaysWhyWithStatus1) {
    testing::TempDir dir;
    const CliRun missing = Cli({"scan", QString::fromStdString(dir.file("no-such.img"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot be read"), std::string::npos) << missing.err;

    testing::MakeFatImage(dir.file("small.img"), 12, 2880);
    testing::WriteFileBytes(dir.file("file"), Bytes{1});
    const CliRun blocked = Cli({"image", QString::fromStdString(dir.file("small.img")), QString::fromStdString(dir.file("file/sub"))});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("The folder " + dir.file("file/sub") + " cannot be made: " + dir.file("file") +
                               " is a file, not a folder."),
              std::string::npos)
        << blocked.err;
    if (testing::RunningAsRoot()) {
        fs::create_directory(dir.file("ro"));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", QString::fromStdString(dir.file("ro"))}) == 0) {
            const CliRun readOnly = Cli({"image", QString::fromStdString(dir.file("small.img")), QString::fromStdString(dir.file("ro/out"))});
            QProcess::execute("umount", {QString::fromStdString(dir.file("ro"))});
            EXPECT_EQ(readOnly.status, 1);
            EXPECT_NE(readOnly.err.find(dir.file("ro/out") + " cannot be made: The media is write protected."), std::string::npos)
                << readOnly.err;
        }
    }
    // Output that cannot be written is a failure, not a result.
    QProcess full;
    full.setStandardOutputFile("/dev/full");
    full.start(QString::fromStdString(CliPath()), {"scan", "--quiet", QString::fromStdString(dir.file("small.img"))});
    full.waitForFinished();
    EXPECT_EQ(full.exitCode(), 1);
    EXPECT_NE(full.readAllStandardError().toStdString().find("the output could not be written"), std::string::npos);
    full.start(QString::fromStdString(CliPath()), {"--help"});  // the usage text too: it is all the output there is
    full.waitForFinished();
    EXPECT_EQ(full.exitCode(), 1);
    // Without a dialog there is no cancel: a folder called No is a folder.
    const CliRun no = Cli({"image", "--quiet", QString::fromStdString(dir.file("small.img")), "No"}, dir.path());
    EXPECT_EQ(no.status, 0) << no.err;
    EXPECT_TRUE(fs::exists(dir.file("No/TOBRN.IMG")));
    // More images than letters: the ones left out are named.
    QStringList many{"drives"};
    for (int i = 0; i < 23; ++i) many << QString::fromStdString(dir.file("small.img"));
    many.back() = QString::fromStdString(dir.file("file"));
    const CliRun drives = Cli(many);
    EXPECT_EQ(drives.status, 1);
    EXPECT_NE(drives.err.find(dir.file("file") + " was left out: no drive letter is left for it."), std::string::npos)
        << drives.err;

    const CliRun image = Cli({"image", QString::fromStdString(dir.file("small.img")), QString::fromStdString(dir.file("out"))});
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("out/TOBRN.IMG")), testing::ReadFileBytes(dir.file("small.img")));
}

TEST(Cli, AnImageWithPartitionsIsReadFromItsFirstOrTheOneNamed) {
    testing::TempDir dir;
    const std::string image = dir.file("disk.img");
    testing::MakeMbrImage(image, 40000, {{2048, 16000}, {20480, 16000}});
    // A JPEG signature well inside the data area of each partition.
    testing::WriteBytesAt(image, (2048 + 9000) * std::int64_t{512}, Bytes{0xFF, 0xD8});
    testing::WriteBytesAt(image, (20480 + 9500) * std::int64_t{512}, Bytes{0xFF, 0xD8});
    const CliRun first = Cli({"scan", "--quiet", QString::fromStdString(image)});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Lines(first.out).at(0).substr(0, 18), "Image001.JPG\t9000\t");
    const CliRun second = Cli({"scan", "--quiet", QString::fromStdString(image + "@2")});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Lines(second.out).at(0).substr(0, 18), "Image001.JPG\t9500\t");
    const CliRun drives = Cli({"drives", QString::fromStdString(image)});
    EXPECT_NE(drives.out.find("D:\\\tremovable\t"), std::string::npos) << drives.out;
    EXPECT_NE(drives.out.find(image + "@2"), std::string::npos) << drives.out;
}

TEST(Cli, CtrlCAndTheSignalsOfAClosedSessionStopAScanAndAnImageCleanly) {
    testing::TempDir dir;
    // A large sparse card: fast to make, slow enough to read that the interrupt lands mid-way.
    const std::string image = dir.file("big.img");
    testing::MakeFatImage(image, 32, std::int64_t{48} << 21, 64);  // 48 GiB
    const std::pair<QString, QString> runs[] = {{"scan", "-INT"}, {"image", "-INT"}, {"image", "-TERM"}, {"image", "-HUP"}};
    for (const auto& [command, signal] : runs) {
        SCOPED_TRACE(signal.toStdString());
        QProcess process;
        QStringList arguments{command, QString::fromStdString(image)};
        if (command == "image") arguments << QString::fromStdString(dir.file("out"));
        process.start(QString::fromStdString(CliPath()), arguments);
        ASSERT_TRUE(process.waitForStarted());
        QThread::msleep(400);
        QProcess::execute("kill", {signal, QString::number(process.processId())});
        ASSERT_TRUE(process.waitForFinished(60000));
        const std::string err = process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitCode(), 1) << command.toStdString() << ": " << err;
        if (command == "scan") {
            EXPECT_NE(err.find("The scan was stopped at sector"), std::string::npos) << err;
            EXPECT_NE(process.readAllStandardOutput().toStdString().find("Kelvara's found 0 Files"), std::string::npos);
        } else {
            const auto held = err.find("it holds ");
            ASSERT_NE(held, std::string::npos) << err;
            EXPECT_NE(err.find("incomplete"), std::string::npos);
            const long long sectors = std::stoll(err.substr(held + 9));
            // What was copied is kept under a name that says it is not the whole card.
            EXPECT_FALSE(fs::exists(dir.file("out/TOBRN.IMG")));
            EXPECT_EQ(static_cast<long long>(fs::file_size(dir.file("out/TOBRN.IMG.partial"))), sectors * 512);
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 1);
            fs::remove(dir.file("out/TOBRN.IMG.partial"));
        }
    }
}

// A card image served through FUSE by kelvara-test-fuse-card as MOUNT/card.img: reads of chosen
// sectors fail with EIO, and a signal can be sent to the reader when it reaches a chosen byte for
// the HIT-th time; the bytes it is served after that are counted in a file. Root only.
class FuseCard {
public:
    FuseCard(const std::string& image, const std::string& mount, const QStringList& options) : mount_(mount) {
        fs::create_directories(mount);
        server_.start(QString::fromStdString(Beside("kelvara-test-fuse-card")),
                      QStringList{QString::fromStdString(image), QString::fromStdString(mount)} + options);
        for (int tries = 0; tries < 250 && !ok() && server_.state() != QProcess::NotRunning; ++tries) QThread::msleep(20);
    }
    ~FuseCard() {
        server_.terminate();  // it unmounts as it ends
        if (!server_.waitForFinished(10000)) {
            server_.kill();
            server_.waitForFinished();
        }
        // A server that ended by itself (--vanish) or was killed leaves its mount behind, dead.
        struct stat here {}, above {};
        const bool gone = ::stat(mount_.c_str(), &here) != 0;
        if (gone || (::stat((mount_ + "/..").c_str(), &above) == 0 && here.st_dev != above.st_dev))
            QProcess::execute("umount", {"-l", QString::fromStdString(mount_)});
    }
    bool ok() const { return fs::exists(path()); }
    std::string path() const { return mount_ + "/card.img"; }

    static std::optional<std::string> WhyNot() {
        if (!testing::RunningAsRoot()) return "only root can mount a card through FUSE";
        if (!fs::exists("/dev/fuse")) return "there is no /dev/fuse";
        if (!fs::exists(Beside("kelvara-test-fuse-card"))) return "kelvara-test-fuse-card was not built (libfuse3-dev)";
        return std::nullopt;
    }

private:
    std::string mount_;
    QProcess server_;
};

long long ServedAfterSignal(const std::string& countFile) {
    std::ifstream in(countFile);
    long long served = -1;
    in >> served;
    return served;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliOnAWornCard, UnreadableSectorsAreNamedWithTheFilesThatHoldZerosThere) {
    if (const auto why = FuseCard::WhyNot()) GTEST_SKIP() << *why;
    LaidCard card(140000);
    const Bytes first = testing::MakeJpeg(320, 240, 1);
    // Its thumbnail starts its second sector, so the scan lists it too, but it lies inside the
    // photo and is saved with it only: a sector in the middle of the thumbnail is in one file.
    const Bytes second = testing::MakeJpegWithThumbnail(1600, 1200, 2, 512);
    const std::int64_t thumbnailSectors = static_cast<std::int64_t>(testing::MakeJpeg(200, 150, 1002, 60).size() / 512);
    ASSERT_GE(thumbnailSectors, 3);
    const Bytes third = testing::MakeJpeg(200, 150, 3);
    const std::int64_t a = card.next;
    card.Lay({first});
    const std::int64_t b = card.next;
    card.Lay({second, third});
    const std::int64_t old = card.next;
    card.Lay({OldData(400000, 4)});
    const std::string where = card.dir.file("fuse");
    const FuseCard worn(card.image, where,
                        {"--eio", QString::number(a + 2), "1", "--eio", QString::number(b + 1 + thumbnailSectors / 2), "1", "--eio",
                         QString::number(old + 100), "8"});
    ASSERT_TRUE(worn.ok());

    const std::string out = card.dir.file("out");
    const CliRun save = SaveBothWays({"save", "--quiet", QString::fromStdString(worn.path()), QString::fromStdString(out)}, out);
    EXPECT_EQ(save.status, 1);
    const auto sector = [](std::int64_t s) { return std::to_string(s); };
    EXPECT_EQ(Lines(save.err),
              (std::vector<std::string>{
                  "kelvara-cli: Image003.JPG lies inside Image002.JPG: it was not saved on its own.",
                  "kelvara-cli: 3 files saved (0 incomplete); 1 entry lies inside other photos; 0 entries are not photos.",
                  "kelvara-cli: Sector " + sector(a + 2) + " could not be read; it is zeros in Image001.JPG.",
                  "kelvara-cli: Sector " + sector(b + 1 + thumbnailSectors / 2) + " could not be read; it is zeros in Image002.JPG.",
                  "kelvara-cli: Sectors " + sector(old + 100) + "-" + sector(old + 107) + " could not be read."}))
        << save.err;
    // The rest of each photo is there, zeros only where the card gave nothing.
    Bytes damaged = first;
    std::fill(damaged.begin() + 2 * 512, damaged.begin() + 3 * 512, 0);
    EXPECT_EQ(testing::ReadFileBytes(out + "/Image001.JPG"), damaged);
    EXPECT_EQ(testing::ReadFileBytes(out + "/Image004.JPG"), third);

    const CliRun image = Cli({"image", "--quiet", QString::fromStdString(worn.path()), QString::fromStdString(out)});
    EXPECT_EQ(image.status, 1);
    EXPECT_NE(image.err.find("Sectors " + sector(old + 100) + "-" + sector(old + 107) +
                             " could not be read; they are zeros in TOBRN.IMG."),
              std::string::npos)
        << image.err;
    const Bytes copy = testing::ReadFileBytes(out + "/TOBRN.IMG");
    Bytes expected = testing::ReadBytesAt(card.image, 0, copy.size());
    for (const std::int64_t s : {a + 2, b + 1 + thumbnailSectors / 2}) std::fill(expected.begin() + s * 512, expected.begin() + (s + 1) * 512, 0);
    std::fill(expected.begin() + (old + 100) * 512, expected.begin() + (old + 108) * 512, 0);
    EXPECT_TRUE(copy == expected);

    const CliRun scan = Cli({"scan", "--quiet", QString::fromStdString(worn.path())});
    EXPECT_EQ(scan.status, 1);
    EXPECT_NE(scan.err.find("Sector " + sector(a + 2) + " could not be read.\n"), std::string::npos) << scan.err;
}

TEST(CliOnAWornCard, ACardWhoseReaderGoesIsSaidToHaveGoneNotToBeUnreadable) {
    if (const auto why = FuseCard::WhyNot()) GTEST_SKIP() << *why;
    LaidCard card(140000);
    // Every read fails once the server has gone: that is the end of the card, not 100,000 bad sectors.
    const FuseCard going(card.image, card.dir.file("fuse"), {"--vanish", QString::number(std::int64_t{20000} * 512)});
    ASSERT_TRUE(going.ok());
    const CliRun scan = Cli({"scan", "--quiet", QString::fromStdString(going.path())});
    EXPECT_EQ(scan.status, 1);
    EXPECT_NE(scan.err.find("holds nothing from sector "), std::string::npos) << scan.err;
    EXPECT_EQ(scan.err.find("could not be read"), std::string::npos) << scan.err;
}

// A photo of `length` bytes: a small JPEG's segments and scan, then zeros (which the scan data may
// hold), then its end of image. Laid at `sector`, it takes no room in a sparse image but its zeros.
void LayLongJpeg(const std::string& image, std::int64_t sector, std::int64_t length, int seed) {
    const Bytes head = testing::MakeJpeg(64, 48, seed);
    testing::WriteBytesAt(image, sector * 512, Bytes(head.begin(), head.end() - 2));
    testing::WriteBytesAt(image, sector * 512 + length - 2, Bytes{0xFF, 0xD9});
}

TEST(CliOnAWornCard, SigtermDuringALargePhotoStopsWithinAPieceAndLeavesNothingOfIt) {
    if (const auto why = FuseCard::WhyNot()) GTEST_SKIP() << *why;
    const std::int64_t photo = std::int64_t{2} << 30;  // 2 GiB, as a long exposure series or a hostile card gives
    LaidCard card((photo + (std::int64_t{256} << 20)) / 512);
    const std::int64_t start = card.next;
    LayLongJpeg(card.image, start, photo, 1);
    const std::string count = card.dir.file("served");
    // The scan reads the byte first; the save's walk of the photo the second time.
    const std::int64_t at = start * 512 + (std::int64_t{300} << 20);
    const FuseCard served(card.image, card.dir.file("fuse"), {"--signal", QString::number(SIGTERM), QString::number(at), "2",
                                                           QString::fromStdString(count)});
    ASSERT_TRUE(served.ok());
    const std::string out = card.dir.file("out");
    const CliRun run = Cli({"save", "--quiet", QString::fromStdString(served.path()), QString::fromStdString(out)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("saving was stopped; the files listed are whole."), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(out)) << Names(out).front();  // not the photo, not a piece of it
    // The read under way when the signal came ends its piece (1 MiB), and nothing is read after it.
    const long long after = ServedAfterSignal(count);
    EXPECT_GT(after, 0);
    EXPECT_LE(after, 1 << 20) << "of a photo of " << photo;
}

TEST(CliOnAWornCard, AKillMidPhotoLeavesOnlyWholePhotosAndTheNextRunClearsItsTemporary) {
    if (const auto why = FuseCard::WhyNot()) GTEST_SKIP() << *why;
    // Killed while the long photo is written, at the third read of a byte of it: the scan's, the
    // walk's, the writing's. Reading the card once, this photo of zeros (of which nothing is kept
    // in the folder) is read again where the bytes kept behind the scan gave way: its start.
    struct Way {
        QStringList option;
        std::int64_t length, killAt;
        int hit;
    };
    for (const Way& way : {Way{{"--read-twice"}, std::int64_t{40} << 20, std::int64_t{30} << 20, 3},
                           Way{{}, std::int64_t{64} << 20, std::int64_t{8} << 20, 3}}) {
        SCOPED_TRACE(way.option.join(" ").toStdString());
        LaidCard card(300000);
        std::vector<Bytes> before = {testing::MakeJpeg(300, 200, 1), testing::MakeJpeg(320, 200, 2)};
        card.Lay(before);
        const std::int64_t longStart = card.next, longLength = way.length;
        LayLongJpeg(card.image, longStart, longLength, 3);
        card.next = longStart + longLength / 512;
        card.Lay({testing::MakeJpeg(300, 220, 4)});
        const std::string count = card.dir.file("served");
        const std::int64_t at = longStart * 512 + way.killAt;
        const FuseCard served(card.image, card.dir.file("fuse"), {"--signal", QString::number(SIGKILL), QString::number(at),
                                                               QString::number(way.hit), QString::fromStdString(count)});
        ASSERT_TRUE(served.ok());
        const std::string out = card.dir.file("out");
        const CliRun killed =
            Cli(QStringList{"save", "--quiet", QString::fromStdString(served.path()), QString::fromStdString(out)} + way.option);
        EXPECT_EQ(killed.status, -1);  // it did not end by itself
        auto left = Names(out);
        ASSERT_EQ(left.size(), 4u);
        // The record of what was being made, so that the next claim removes that and nothing else.
        EXPECT_EQ(left[0], ".kelvara-unfinished");
        left.erase(left.begin());
        EXPECT_EQ(left[0], "Image001.JPG");
        EXPECT_EQ(left[1], "Image002.JPG");
        // The photo being written stays under a name that is plainly no photo's.
        EXPECT_EQ(left[2].rfind("Image003.JPG.kelvara-", 0), 0u) << left[2];
        EXPECT_EQ(left[2].substr(left[2].size() - 4), ".tmp");
        EXPECT_EQ(testing::ReadFileBytes(out + "/Image001.JPG"), before[0]);
        EXPECT_EQ(testing::ReadFileBytes(out + "/Image002.JPG"), before[1]);

        // The next save into the folder clears it away and writes every photo whole.
        const CliRun again = Cli({"save", "--quiet", QString::fromStdString(served.path()), QString::fromStdString(out)});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(Names(out), (std::vector<std::string>{"Image001.JPG", "Image002.JPG", "Image003.JPG", "Image004.JPG"}));
        EXPECT_EQ(fs::file_size(out + "/Image003.JPG"), static_cast<std::uintmax_t>(longLength));
    }
}

TEST(CommandLine, ReadsOptionsWhereverTheyStand) {
    const auto line = cli::ParseCommandLine({"--quiet", "save", "e:", "out", "--prefix", "X", "--family", "9x",
                                             "--sectors", "1200"});
    EXPECT_EQ(line.verb, cli::CommandLine::Verb::Save);
    EXPECT_EQ(line.source, "e:");
    EXPECT_EQ(line.folder, "out");
    EXPECT_EQ(line.prefix, "X");
    EXPECT_EQ(line.family, VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(line.sectors, 1200);
    EXPECT_TRUE(line.quiet);
}

}  // namespace
}  // namespace kelvara
