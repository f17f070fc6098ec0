// Where the photos and the image go, when that place fails them, on the POSIX platform: a
// destination that fills up (a small tmpfs, as root), one that cannot be written, links planted
// where the preview writes its two files, a folder on the card however the card is mounted (as
// root: FUSE, loop devices, overlays, bind and moved mounts), and one writer per folder.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <optional>

#include "destination/destination_check.h"
#include "destination/destination.h"
#include "diskio/get_total_sectors.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fat_image.h"
#include "tests/support/mounts.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "tests/support/test_photos.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FakeProgress;

constexpr int kPhotos = 8;

// A FAT16 card with eight photos of 20 KB in its free space, scanned; C: is the test's folder.
class Destination : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string image = tmp.file("card.img");
        testing::MakeFatImage(image, 16, 20000);
        for (int i = 0; i < kPhotos; ++i) {
            photos.push_back(testing::MakePhotoRun(20000 + 100 * i, i));
            testing::WriteBytesAt(image, (std::int64_t{1000} + 100 * i) * 512, photos.back());
        }
        PosixPlatform::Options options;
        options.images.push_back(AttachedImage(image));
        options.home = tmp.path();
        platform = std::make_unique<PosixPlatform>(options);
        testing::ScanNt(*platform, progress, table, "D:\\", GetTotalSectors(*platform, "D:\\"));
        ASSERT_EQ(table.size(), std::size_t{kPhotos});
    }
    std::vector<std::int64_t> All() const {
        std::vector<std::int64_t> all(kPhotos);
        for (int i = 0; i < kPhotos; ++i) all[i] = i;
        return all;
    }
    static std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A small tmpfs at `dir`, unmounted with the test; false when it cannot be mounted.
    bool MountTmpfs(const std::string& dir, const char* options, unsigned long flags = 0) {
        fs::create_directory(dir);
        if (::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) != 0) return false;
        mounts.push_back(dir);
        return true;
    }
    void TearDown() override {
        for (const std::string& dir : mounts) ::umount(dir.c_str());
    }

    testing::TempDir tmp;
    std::vector<Bytes> photos;
    std::vector<std::string> mounts;
    std::unique_ptr<PosixPlatform> platform;
    FakeProgress progress;
    FoundPhotoTable table;
};

TEST_F(Destination, AFullFolderGetsTheWholePhotosThatFitAndTheCountIsTold) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    if (!MountTmpfs(tmp.file("small"), "size=64k")) GTEST_SKIP() << "tmpfs cannot be mounted here";

    const SaveReport report = SavePhotos(*platform, progress, table, All(), "C:\\small", "Image");
    ASSERT_GT(static_cast<std::size_t>(report.saved), 0u);
    ASSERT_LT(static_cast<std::size_t>(report.saved), std::size_t{kPhotos});
    EXPECT_EQ(report.failed, kPhotos - static_cast<int>(static_cast<std::size_t>(report.saved)));
    const std::string told = SaveShortfall(report).value_or("");
    const std::string saved = std::to_string(static_cast<std::size_t>(report.saved));
    EXPECT_EQ(told.rfind("Saved " + saved + " of 8 photos; " + std::to_string(report.failed) +
                                               " could not be saved.\n\nImage00" +
                                               std::to_string(report.saved + 1) + ".JPG could not be written: ",
                                           0),
              0u)
        << told;
    EXPECT_NE(told.find("not enough space"), std::string::npos) << told;
    // Every file there is a whole photo; the one that did not fit was not left behind in part.
    const std::vector<std::string> names = Names(tmp.file("small"));
    ASSERT_EQ(names.size(), static_cast<std::size_t>(report.saved));
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], "Image00" + std::to_string(i + 1) + ".JPG");
        EXPECT_EQ(testing::ReadFileBytes(tmp.file("small/" + names[i])), photos[i]);
    }
}

TEST_F(Destination, AFolderThatCannotBeWrittenIsToldAndGetsNothing) {
    const std::string folder = tmp.file("locked");
    if (testing::RunningAsRoot()) {
        // Root writes through any permission bits; only a read-only mount stops it.
        if (!MountTmpfs(folder, "size=1m", MS_RDONLY)) GTEST_SKIP() << "tmpfs cannot be mounted here";
    } else {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const SaveReport report = SavePhotos(*platform, progress, table, All(), "C:\\locked", "Image");
    EXPECT_EQ(report.saved, 0);
    EXPECT_EQ(report.failed, kPhotos);
    const std::string told = SaveShortfall(report).value_or("");
    EXPECT_EQ(told.rfind("Saved 0 of 8 photos; 8 could not be saved.\n\n"
                                           "Image001.JPG could not be written: ",
                                           0),
              0u)
        << told;

    const ImageReport image =
        testing::ImageInto(*platform, "D:\\", GetTotalSectors(*platform, "D:\\"), "C:\\locked", progress);
    EXPECT_EQ(image.failure.rfind("TOBRN.IMG could not be created in C:\\locked: ", 0), 0u) << image.failure;
    // No image was begun, so none is called incomplete.
    EXPECT_FALSE(image.created);
    EXPECT_TRUE(Names(folder).empty());
    if (!testing::RunningAsRoot()) fs::permissions(folder, fs::perms::owner_all);  // so the folder can be removed
}

// A folder this user may write into but not list (mode 0300) is held as any other, by whatever
// name it is reached: a second command is refused while the first holds it, and takes it after.
TEST(OneWriter, AFolderThatCannotBeListedIsHeldAllTheSame) {
    testing::TempDir tmp;
    const std::string folder = tmp.file("drop");
    fs::create_directory(folder);
    fs::create_directory_symlink(folder, tmp.file("link"));
    fs::permissions(folder, fs::perms::owner_write | fs::perms::owner_exec);
    PosixPlatform first(std::vector<std::string>{}), second(std::vector<std::string>{});
    {
        const kelvara::Destination held(first, folder, {});
        EXPECT_FALSE(held.refusal());
        for (const std::string& name : {folder, tmp.file("link")}) {
            const kelvara::Destination other(second, name, {});
            ASSERT_TRUE(other.refusal()) << name;
            EXPECT_EQ(*other.refusal(), "Another Kelvara is writing into " + name +
                                            " now. Wait until it has finished, or choose another folder.");
        }
    }
    const kelvara::Destination after(second, folder, {});
    EXPECT_FALSE(after.refusal());
    fs::permissions(folder, fs::perms::owner_all);  // so the folder can be removed
}

// Points XDG_RUNTIME_DIR, where the private temporary folder is made, somewhere else for a test.
class RuntimeDir {
public:
    explicit RuntimeDir(const std::string& dir) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old;
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ~RuntimeDir() {
        if (old_)
            ::setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> old_;
};

TEST_F(Destination, LinksPlantedWhereThePreviewWritesAreNeverFollowed) {
    const std::string runtime = tmp.file("runtime");
    fs::create_directory(runtime);
    const std::string victimJpg = tmp.file("victim.jpg"), victimPage = tmp.file("victim.htm");
    testing::WriteFileBytes(victimJpg, Bytes{'k', 'e', 'e', 'p'});
    testing::WriteFileBytes(victimPage, Bytes{'m', 'i', 'n', 'e'});
    {
        RuntimeDir env(runtime);
        const std::string temp = PreviewTempFolder(*platform);
        ASSERT_EQ(temp, runtime + "/kelvara/");
        fs::create_symlink(victimJpg, temp + "TB.jpg");
        fs::create_symlink(victimPage, temp + "TB001.htm");
        WritePreviewFiles(*platform, table[0], DriveEnd(table), temp);
        EXPECT_FALSE(fs::is_symlink(temp + "TB.jpg"));
        EXPECT_FALSE(fs::is_symlink(temp + "TB001.htm"));
        EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), photos[0]);
    }
    EXPECT_EQ(testing::ReadFileBytes(victimJpg), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(testing::ReadFileBytes(victimPage), (Bytes{'m', 'i', 'n', 'e'}));

    // A link planted in place of the temporary folder itself is not taken for it.
    const std::string other = tmp.file("runtime2"), elsewhere = tmp.file("elsewhere");
    fs::create_directory(other);
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, other + "/kelvara");
    RuntimeDir env(other);
    const std::string temp = PreviewTempFolder(*platform);
    EXPECT_EQ(temp.find(other), std::string::npos) << temp;
    if (!temp.empty()) WritePreviewFiles(*platform, table[1], DriveEnd(table), temp);
    EXPECT_TRUE(Names(elsewhere).empty());
}


// The card mounted every way it can be, and a folder in that mount chosen as the destination:
// saving and imaging refuse it before anything is made, naming what it is stored on, and the
// card's bytes stay as they were. As root only; every mount and loop device goes with the test.
class OnTheCard : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting a card and attaching loop devices needs root";
        card = tmp.file("card.img");
        testing::MakePhotoCard(card, 4);
    }
    std::string Folder(const std::string& name) const {
        fs::create_directories(tmp.file(name));
        return tmp.file(name);
    }
    // The card as partition 1 of a disk, and an ext4 file system as its partition 2.
    std::string Disk() {
        const std::string disk = tmp.file("disk.img");
        const std::int64_t cardSectors = static_cast<std::int64_t>(fs::file_size(card) / 512);
        testing::WriteBytesAt(disk, (kSecond + kSecondSectors) * 512 - 1, Bytes{0});
        const std::string table = "label: dos\nstart=2048, size=" + std::to_string(cardSectors) +
                                  ", type=c\nstart=" + std::to_string(kSecond) + ", type=83\n";
        QProcess sfdisk;
        sfdisk.start("sfdisk", {"--no-reread", "--no-tell-kernel", "--quiet", QString::fromStdString(disk)});
        sfdisk.write(table.c_str());
        sfdisk.closeWriteChannel();
        sfdisk.waitForFinished();
        EXPECT_EQ(sfdisk.exitCode(), 0) << sfdisk.readAllStandardError().toStdString();
        testing::WriteBytesAt(disk, 2048 * 512, testing::ReadFileBytes(card));
        const std::string second = tmp.file("second.img");
        testing::WriteBytesAt(second, kSecondSectors * 512 - 1, Bytes{0});
        EXPECT_EQ(testing::RunCommand({"mkfs.ext4", "-q", "-F", second}).status, 0);
        testing::WriteBytesAt(disk, kSecond * 512, testing::ReadFileBytes(second));
        fs::remove(second);
        return disk;
    }
    static testing::LoopDevice::Options SecondPartition() {
        return {.offset = kSecond * 512, .sizeLimit = kSecondSectors * 512};
    }

    // Saving and imaging drive D: (read from `source`) into `folder` are refused, saying the
    // folder is stored on `storedOn`, and nothing is made: `image` is as it was.
    void ExpectRefused(const std::string& source, const std::string& folder, const std::vector<std::string>& storedOn,
                       const std::string& image) {
        const Bytes before = testing::ReadFileBytes(image);
        PosixPlatform platform(std::vector<std::string>{source});
        const auto refusal = SourceDriveRefusal(platform, folder, "D:\\");
        ASSERT_TRUE(refusal) << folder << " was taken";
        const bool named = std::any_of(storedOn.begin(), storedOn.end(), [&](const std::string& name) {
            return refusal->find(folder + " is on drive D:\\, the card being recovered (it is stored on " + name + ")") !=
                   std::string::npos;
        });
        EXPECT_TRUE(named) << *refusal;
        FakeProgress progress;
        FoundPhotoTable found;
        testing::ScanNt(platform, progress, found, "D:\\", GetTotalSectors(platform, "D:\\"));
        ASSERT_EQ(found.size(), 4u);
        std::vector<std::int64_t> all(found.size());
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(SavePhotos(platform, progress, found, all, folder, "Image").refused, *refusal);
        EXPECT_EQ(testing::ImageInto(platform, "D:\\", GetTotalSectors(platform, "D:\\"), folder, progress).failure, *refusal);
        EXPECT_FALSE(fs::exists(folder));
        EXPECT_EQ(testing::ReadFileBytes(image), before);
    }

    static constexpr std::int64_t kSecond = 145408, kSecondSectors = 65536;
    testing::TempDir tmp;  // before the mounts in it, so they go first
    std::string card;
};

TEST_F(OnTheCard, FuseFatStartedWithRelativePaths) {
    Folder("mnt");
    const testing::Mount mount({"fusefat", "-o", "rw+", "card.img", "mnt"}, tmp.file("mnt"), tmp.path());
    if (!mount.ok()) GTEST_SKIP() << "fusefat: " << mount.refusal();
    ExpectRefused(card, tmp.file("mnt/sub"), {card}, card);
}

TEST_F(OnTheCard, FuseFatOnALoopDeviceOfTheImage) {
    const testing::LoopDevice loop(card);
    if (loop.device().empty()) GTEST_SKIP() << "losetup: " << loop.refusal();
    const testing::Mount mount({"fusefat", "-o", "rw+", loop.device(), Folder("mnt")}, tmp.file("mnt"));
    if (!mount.ok()) GTEST_SKIP() << "fusefat: " << mount.refusal();
    ExpectRefused(card, tmp.file("mnt/out"), {card}, card);
}

TEST_F(OnTheCard, TheSourceALoopDeviceOfTheFileTheMountWasMadeFrom) {
    const testing::LoopDevice loop(card, {.readOnly = true});
    if (loop.device().empty()) GTEST_SKIP() << "losetup: " << loop.refusal();
    const testing::Mount mount({"fusefat", "-o", "rw+", "card.img", "mnt"}, Folder("mnt"), tmp.path());
    if (!mount.ok()) GTEST_SKIP() << "fusefat: " << mount.refusal();
    ExpectRefused(loop.device(), tmp.file("mnt/out"), {card}, card);
    // The file gone from its folder: the loop device and the FUSE program still hold it, and the
    // loop driver still tells which file it is, where its name no longer can.
    fs::remove(card);
    PosixPlatform platform(std::vector<std::string>{loop.device()});
    const auto refusal = SourceDriveRefusal(platform, tmp.file("mnt/out"), "D:\\");
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("(it is stored on " + card + ")"), std::string::npos) << *refusal;
}

TEST_F(OnTheCard, FuseFatOnALoopOverOnePartition) {
    const std::string disk = Disk();
    const testing::LoopDevice loop(disk, {.offset = 2048 * 512, .sizeLimit = fs::file_size(card)});
    if (loop.device().empty()) GTEST_SKIP() << "losetup: " << loop.refusal();
    const testing::Mount mount({"fusefat", "-o", "rw+", loop.device(), Folder("mnt")}, tmp.file("mnt"));
    if (!mount.ok()) GTEST_SKIP() << "fusefat: " << mount.refusal();
    ExpectRefused(disk, tmp.file("mnt/out"), {disk}, disk);
}

TEST_F(OnTheCard, AnOverlayWhoseUpperFolderIsOnTheCard) {
    const std::string disk = Disk();
    const testing::LoopDevice second(disk, SecondPartition());
    if (second.device().empty()) GTEST_SKIP() << "losetup: " << second.refusal();
    const testing::Mount ext4({"mount", second.device(), Folder("p2")}, tmp.file("p2"));
    if (!ext4.ok()) GTEST_SKIP() << "ext4: " << ext4.refusal();
    Folder("p2/upper"), Folder("p2/work"), Folder("p2/work2"), Folder("lower");
    const testing::Mount overlay({"mount", "-t", "overlay", "overlay", "-o",
                                  "lowerdir=" + tmp.file("lower") + ",upperdir=" + tmp.file("p2/upper") +
                                      ",workdir=" + tmp.file("p2/work"),
                                  Folder("ov")},
                                 tmp.file("ov"));
    if (!overlay.ok()) GTEST_SKIP() << "overlay: " << overlay.refusal();
    ExpectRefused(disk, tmp.file("ov/out"), {disk}, disk);

    // Layers named relative to where the overlay was mounted from cannot be found: where the
    // folder is stored is not known, and that is refused too, saying so.
    const testing::Mount relative({"mount", "-t", "overlay", "overlay", "-o", "lowerdir=lower,upperdir=p2/upper,workdir=p2/work2",
                                   Folder("ov2")},
                                  tmp.file("ov2"), tmp.path());
    if (!relative.ok()) GTEST_SKIP() << "overlay: " << relative.refusal();
    PosixPlatform platform(std::vector<std::string>{card});
    const auto refusal = SourceDriveRefusal(platform, tmp.file("ov2/out"), "D:\\");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->rfind("Kelvara cannot tell whether " + tmp.file("ov2/out") + " is on drive D:\\", 0), 0u) << *refusal;
    EXPECT_NE(refusal->find("p2/upper, named from a folder that is not known"), std::string::npos) << *refusal;
}

TEST_F(OnTheCard, ABindMountLeftAfterTheFirstMountIsGone) {
    testing::Mount fuse({"fusefat", "-o", "rw+", "card.img", "mnt"}, Folder("mnt"), tmp.path());
    if (!fuse.ok()) GTEST_SKIP() << "fusefat: " << fuse.refusal();
    Folder("mnt/keep");
    const testing::Mount bind({"mount", "--bind", tmp.file("mnt/keep"), Folder("kept")}, tmp.file("kept"));
    ASSERT_TRUE(bind.ok()) << bind.refusal();
    ASSERT_EQ(testing::RunCommand({"umount", tmp.file("mnt")}).status, 0);
    fuse.Gone();
    ExpectRefused(card, tmp.file("kept/out"), {card}, card);
}

TEST_F(OnTheCard, AMountMovedElsewhere) {
    testing::Mount fuse({"fusefat", "-o", "rw+", card, tmp.file("mnt")}, Folder("mnt"));
    if (!fuse.ok()) GTEST_SKIP() << "fusefat: " << fuse.refusal();
    const testing::CommandResult moved = testing::RunCommand({"mount", "--move", tmp.file("mnt"), Folder("moved")});
    if (moved.status != 0) GTEST_SKIP() << "mount --move: " << moved.output;
    fuse.MovedTo(tmp.file("moved"));
    ExpectRefused(card, tmp.file("moved/out"), {card}, card);
}

TEST_F(OnTheCard, TheWholeDiskAsSourceAndTheFolderOnItsSecondPartition) {
    const std::string disk = Disk();
    const testing::LoopDevice whole(disk, {.readOnly = true, .partitions = true});
    if (whole.device().empty()) GTEST_SKIP() << "losetup: " << whole.refusal();
    // Where the kernel reads partition tables the partition is its own device; where it does
    // not, a loop device over the partition's bytes stands in for it.
    std::optional<testing::LoopDevice> second;
    std::string partition = whole.device() + "p2";
    if (!fs::is_block_file(partition)) {
        second.emplace(disk, SecondPartition());
        partition = second->device();
    }
    const testing::Mount ext4({"mount", partition, Folder("p2")}, tmp.file("p2"));
    if (!ext4.ok()) GTEST_SKIP() << "ext4: " << ext4.refusal();
    ExpectRefused(whole.device(), tmp.file("p2/out"), {whole.device(), disk}, disk);
}

}  // namespace
}  // namespace kelvara
