// Where the photos and the image go, when that place fails them, on the POSIX platform: a
// destination that fills up (a small tmpfs, as root), one that cannot be written, and links
// planted where the preview writes its two files.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "diskio/get_total_sectors.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_host.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FakeHost;

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
        host.drive = "D:\\";
        host.sectorsCaption = std::to_string(GetTotalSectors(*platform, "D:\\"));
        ScanWinNT({*platform, host, table, "Image"});
        ASSERT_EQ(host.entries.size(), std::size_t{kPhotos});
        host.messages.clear();
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
    FakeHost host;
    FoundPhotoTable table;
};

TEST_F(Destination, AFullFolderGetsTheWholePhotosThatFitAndTheCountIsTold) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    if (!MountTmpfs(tmp.file("small"), "size=64k")) GTEST_SKIP() << "tmpfs cannot be mounted here";

    const SaveReport report = SavePhotos(*platform, host, table, All(), "C:\\small", "Image");
    ASSERT_GT(static_cast<std::size_t>(report.saved), 0u);
    ASSERT_LT(static_cast<std::size_t>(report.saved), std::size_t{kPhotos});
    EXPECT_EQ(report.failed, kPhotos - static_cast<int>(static_cast<std::size_t>(report.saved)));
    ASSERT_EQ(host.messages.size(), 1u);
    const std::string saved = std::to_string(static_cast<std::size_t>(report.saved));
    EXPECT_EQ(host.messages[0].first.rfind("Saved " + saved + " of 8 photos; " + std::to_string(report.failed) +
                                               " could not be saved.\n\nImage00" +
                                               std::to_string(report.saved + 1) + ".JPG could not be written: ",
                                           0),
              0u)
        << host.messages[0].first;
    EXPECT_NE(host.messages[0].first.find("not enough space"), std::string::npos) << host.messages[0].first;
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
    const SaveReport report = SavePhotos(*platform, host, table, All(), "C:\\locked", "Image");
    EXPECT_EQ(report.saved, 0);
    EXPECT_EQ(report.failed, kPhotos);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first.rfind("Saved 0 of 8 photos; 8 could not be saved.\n\n"
                                           "Image001.JPG could not be written: ",
                                           0),
              0u)
        << host.messages[0].first;

    host.messages.clear();
    ImageDisk(*platform, host, "C:\\locked");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first.rfind("TOBRN.IMG could not be created in C:\\locked: ", 0), 0u)
        << host.messages[0].first;
    // No image was begun, so none is called incomplete.
    EXPECT_EQ(host.messages[0].first.find("incomplete"), std::string::npos);
    EXPECT_TRUE(Names(folder).empty());
    if (!testing::RunningAsRoot()) fs::permissions(folder, fs::perms::owner_all);  // so the folder can be removed
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

}  // namespace
}  // namespace kelvara
