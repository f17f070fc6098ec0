// The POSIX platform's drive map: letters, drive strings and types, images with and without a
// partition table, and removable devices found through a fake sysfs tree; and what stores what
// (a partition's disk, a mapped device's parts, a loop device's file, a FUSE program's files)
// through fake sysfs and proc trees.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/block_device.h"
#include "platform/posix/fuse_servers.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace kelvara {
namespace {

using testing::TempDir;

std::vector<std::string> DriveStrings(Platform& platform) {
    const DWORD needed = platform.GetLogicalDriveStringsA({});
    std::vector<char> buffer(needed);
    const DWORD written = platform.GetLogicalDriveStringsA(buffer);
    EXPECT_EQ(written + 1, needed);
    std::vector<std::string> roots;
    for (std::size_t at = 0; at < written; at += roots.back().size() + 1) roots.emplace_back(buffer.data() + at);
    return roots;
}

std::vector<std::uint8_t> ReadVolume(Platform& platform, const std::string& volume, std::size_t length) {
    const HANDLE handle = platform.CreateFileA(volume, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::vector<std::uint8_t> bytes(length);
    DWORD got = 0;
    EXPECT_TRUE(platform.ReadFile(handle, bytes, got));
    bytes.resize(got);
    platform.CloseHandle(handle);
    return bytes;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text << "\n";
}

// A sysfs tree with block devices whose nodes are regular files under <root>/dev.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::string& root) : root_(root) {
        ::mkdir((root + "/sys").c_str(), 0755);
        ::mkdir((root + "/sys/block").c_str(), 0755);
        ::mkdir((root + "/sys/devices").c_str(), 0755);
        ::mkdir((root + "/dev").c_str(), 0755);
        ::mkdir((root + "/proc").c_str(), 0755);
        ::mkdir((root + "/proc/self").c_str(), 0755);
        WriteText(root + "/proc/self/mountinfo", "");
    }
    // A disk; `viaUsbLink` puts it under a USB controller by a link, as the kernel does.
    void AddDisk(const std::string& name, bool removable, std::uint64_t sectors, bool viaUsbLink = false) {
        std::string folder = root_ + "/sys/block/" + name;
        if (viaUsbLink) {
            const std::string device = "devices/pci0000:00/0000:00:14.0/usb1/1-1/block/" + name;
            std::filesystem::create_directories(root_ + "/sys/" + device);
            std::filesystem::create_directory_symlink("../" + device, folder);
        } else {
            ::mkdir(folder.c_str(), 0755);
        }
        WriteText(folder + "/removable", removable ? "1" : "0");
        WriteText(folder + "/size", std::to_string(sectors));
        WriteText(folder + "/dev", "8:" + std::to_string(16 * ++disks_));
    }
    void AddPartition(const std::string& disk, const std::string& name, int number, const std::string& image) {
        const std::string folder = root_ + "/sys/block/" + disk + "/" + name;
        ::mkdir(folder.c_str(), 0755);
        WriteText(folder + "/partition", std::to_string(number));
        WriteText(folder + "/size", std::to_string(std::filesystem::file_size(image) / 512));
        WriteText(folder + "/dev", "8:" + std::to_string(16 * disks_ + number));
        std::filesystem::copy_file(image, root_ + "/dev/" + name, std::filesystem::copy_options::overwrite_existing);
    }
    void RemoveDisk(const std::string& name) { std::filesystem::remove_all(root_ + "/sys/block/" + name); }
    void SetMounts(const std::string& text) { WriteText(root_ + "/proc/self/mountinfo", text); }

private:
    std::string root_;
    int disks_ = 0;
};

TEST(PlatformDrives, ImagesTakeLettersFromDAndAnMbrImageGivesOneDrivePerPartition) {
    TempDir dir;
    const std::string mbr = dir.file("card.img"), plain = dir.file("plain.img");
    testing::MakeMbrImage(mbr, 20000, {{63, 8000}, {8100, 9000}});
    testing::MakeFatImage(plain, 16, 40000);
    PosixPlatform platform({{{mbr}, {plain}}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()});

    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\", "Z:\\"}));
    // Sector 0 of each drive is its own boot sector, not the image's MBR.
    EXPECT_EQ(ReadVolume(platform, "\\\\.\\D:", 512), testing::ReadBytesAt(mbr, 63 * 512, 512));
    EXPECT_EQ(ReadVolume(platform, "\\\\.\\e:", 512), testing::ReadBytesAt(mbr, 8100 * 512, 512));
    EXPECT_EQ(ReadVolume(platform, "\\\\.\\F:", 512), testing::ReadBytesAt(plain, 0, 512));

    // What each letter stands for, as a device query tells it.
    auto target = [&](const std::string& drive) {
        char text[512];
        const DWORD length = platform.QueryDosDeviceA(drive, text);
        return length ? std::string(text) : std::string("(failed)");
    };
    EXPECT_EQ(target("D:"), mbr + "@1");
    EXPECT_EQ(target("e:"), mbr + "@2");
    EXPECT_EQ(target("F:"), plain);
    EXPECT_EQ(target("C:"), dir.path());
    EXPECT_EQ(target("Q:"), "(failed)");
    char tiny[4];
    EXPECT_EQ(platform.QueryDosDeviceA("F:", tiny), 0u);
    EXPECT_EQ(platform.GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    // Only partition 2 when that one is asked for.
    PosixPlatform second({{{mbr, 2, ""}}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()});
    EXPECT_EQ(ReadVolume(second, "\\\\.\\D:", 512), testing::ReadBytesAt(mbr, 8100 * 512, 512));
}

TEST(PlatformDrives, DriveStringBufferFollowsWin32Rules) {
    TempDir dir;
    PosixPlatform platform({{{dir.file("missing.img")}}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()});
    const std::string expected("C:\\\0D:\\\0Z:\\\0", 12);
    EXPECT_EQ(platform.GetLogicalDriveStringsA({}), 13u);

    std::vector<char> small(12, '#');
    EXPECT_EQ(platform.GetLogicalDriveStringsA(small), 13u);
    EXPECT_EQ(std::string(small.begin(), small.end()), std::string(12, '#'));  // untouched

    std::vector<char> exact(13, '#');
    EXPECT_EQ(platform.GetLogicalDriveStringsA(exact), 12u);
    EXPECT_EQ(std::string(exact.data(), 13), expected + '\0');
}

TEST(PlatformDrives, DriveTypes) {
    TempDir dir;
    PosixPlatform platform({{{dir.file("card.img")}}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()});
    EXPECT_EQ(platform.GetDriveTypeA("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(platform.GetDriveTypeA("Z:\\"), DRIVE_FIXED);
    EXPECT_EQ(platform.GetDriveTypeA("D:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(platform.GetDriveTypeA("d:"), DRIVE_REMOVABLE);
    EXPECT_EQ(platform.GetDriveTypeA("E:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(platform.GetDriveTypeA("Select Drive"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(platform.GetDriveTypeA("D:\\DCIM"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(platform.GetDriveTypeA(""), DRIVE_NO_ROOT_DIR);
}

TEST(PlatformDrives, WhenLettersRunOutFurtherImagesAreNotListed) {
    TempDir dir;
    PosixPlatform::Options options{{}, VER_PLATFORM_WIN32_NT, dir.path(), dir.path()};
    for (int i = 0; i < 25; ++i) options.images.push_back({dir.file("image" + std::to_string(i))});
    PosixPlatform platform(options);
    const auto roots = DriveStrings(platform);
    ASSERT_EQ(roots.size(), 24u);  // C:, D: to Y:, Z:
    EXPECT_EQ(roots[22], "Y:\\");
    EXPECT_EQ(roots[23], "Z:\\");
}

TEST(PlatformDrives, RemovableDevicesAreFoundAfreshAndKeepTheirLetters) {
    TempDir dir, card;
    const std::string image = dir.file("image.img"), cardImage = dir.file("sdb1.img");
    testing::MakeFatImage(image, 12, 4000);
    testing::MakeFatImage(cardImage, 16, 30000);
    const std::string root = dir.file("root");
    ::mkdir(root.c_str(), 0755);
    FakeSysfs sysfs(root);
    sysfs.AddDisk("sda", false, 1000000);  // the system disk: never listed
    sysfs.AddDisk("sdb", true, 30000);
    sysfs.AddPartition("sdb", "sdb1", 1, cardImage);
    sysfs.AddDisk("sdc", false, 0, true);  // a USB card reader with no card
    sysfs.SetMounts("36 25 8:17 / " + card.path() + " rw,nosuid - vfat /dev/sdb1 rw\n");

    PosixPlatform platform({{{image}}, VER_PLATFORM_WIN32_NT, dir.path(), root});
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\", "Z:\\"}));
    EXPECT_EQ(platform.GetDriveTypeA("E:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(platform.GetDriveTypeA("F:\\"), DRIVE_REMOVABLE);

    DWORD perCluster = 0, perSector = 0, free = 0, total = 0;
    const auto geometry = testing::ReadGeometryWithMinfo(cardImage);
    ASSERT_TRUE(platform.GetDiskFreeSpaceA("E:\\", perCluster, perSector, free, total));
    EXPECT_EQ(std::int64_t{perCluster} * total, geometry.sectorsPerCluster * geometry.totalClusters);
    EXPECT_FALSE(platform.GetDiskFreeSpaceA("F:\\", perCluster, perSector, free, total));  // no medium
    EXPECT_EQ(platform.GetLastError(), ERROR_NOT_READY);

    // Paths on the card lead to where it is mounted.
    const HANDLE file = platform.CreateFileA("E:\\NOTE.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    platform.CloseHandle(file);
    EXPECT_TRUE(std::filesystem::exists(card.file("NOTE.TXT")));

    // The card goes: its letter is no longer listed but stays reserved; a new card takes the next.
    sysfs.RemoveDisk("sdb");
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "F:\\", "Z:\\"}));
    EXPECT_EQ(platform.GetDriveTypeA("E:\\"), DRIVE_NO_ROOT_DIR);
    sysfs.AddDisk("mmcblk0", false, 30000);
    sysfs.AddPartition("mmcblk0", "mmcblk0p1", 1, cardImage);
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "F:\\", "G:\\", "Z:\\"}));
    sysfs.AddDisk("sdb", true, 30000);
    sysfs.AddPartition("sdb", "sdb1", 1, cardImage);
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "Z:\\"}));
}


void Link(const std::string& target, const std::string& link) {
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_symlink(target, link);
}

// A block device's folder in a fake sysfs, found by its number as the kernel links it.
std::string AddBlockDevice(const std::string& root, const std::string& place, const std::string& number,
                           const std::string& name) {
    const std::string folder = root + "/sys/devices/" + place;
    std::filesystem::create_directories(folder);
    WriteText(folder + "/dev", number);
    WriteText(folder + "/uevent", "MAJOR=0\nDEVNAME=" + name);
    Link("../../devices/" + place, root + "/sys/dev/block/" + number);
    return folder;
}

TEST(Storage, APartitionLeadsToItsDiskAMappedDeviceToItsPartsALoopToItsFile) {
    TempDir dir;
    const std::string root = dir.path();
    const std::string card = dir.file("card.img");
    WriteText(card, "card");
    AddBlockDevice(root, "pci0000:00/usb1/block/sdb", "8:16", "sdb");
    WriteText(AddBlockDevice(root, "pci0000:00/usb1/block/sdb/sdb1", "8:17", "sdb1") + "/partition", "1");
    WriteText(AddBlockDevice(root, "pci0000:00/usb1/block/sdb/sdb2", "8:18", "sdb2") + "/partition", "2");
    const std::string mapped = AddBlockDevice(root, "virtual/block/dm-0", "253:0", "dm-0");
    Link("../../../../pci0000:00/usb1/block/sdb/sdb2", mapped + "/slaves/sdb2");
    const std::string loop = AddBlockDevice(root, "virtual/block/loop0", "7:0", "loop0");
    std::filesystem::create_directories(loop + "/loop");
    WriteText(loop + "/loop/backing_file", card);
    Link("../devices/virtual/block/loop0", root + "/sys/block/loop0");

    const BlockDevices devices(root);
    EXPECT_EQ(devices.DiskOf(makedev(8, 17)), makedev(8, 16));
    EXPECT_EQ(devices.DiskOf(makedev(8, 16)), std::nullopt);
    EXPECT_EQ(devices.PartsOf(makedev(253, 0)), std::vector<dev_t>{makedev(8, 18)});
    EXPECT_EQ(devices.NameOf(makedev(8, 17)), "/dev/sdb1");
    EXPECT_EQ(devices.NameOf(makedev(9, 9)), "block device 9:9");

    struct stat info {};
    ASSERT_EQ(::stat(card.c_str(), &info), 0);
    std::string name;
    EXPECT_EQ(devices.LoopBacking(makedev(7, 0), name), (FileIdentity{info.st_dev, info.st_ino}));
    EXPECT_EQ(name, card);
    EXPECT_EQ(devices.LoopsBackedBy(FileIdentity{info.st_dev, info.st_ino}, card), std::vector<dev_t>{makedev(7, 0)});
    EXPECT_TRUE(devices.LoopsBackedBy(FileIdentity{info.st_dev, info.st_ino + 1}, card).empty());
    EXPECT_EQ(devices.LoopBacking(makedev(8, 17), name), std::nullopt);
    // A file deleted since is not taken for whatever now has its name: only the loop driver
    // (not there in a fake tree) could tell which file it is.
    WriteText(loop + "/loop/backing_file", card + " (deleted)");
    EXPECT_EQ(devices.LoopBacking(makedev(7, 0), name), std::nullopt);
}

// A fake proc tree of FUSE programs: each holds /dev/fuse and its image open and was started
// with the image and a mount point, relative to its working folder.
class FuseServers : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.img", "b.img"}) WriteText(dir_.file(name), name);
        for (const char* name : {"mntA", "mntB", "moved"}) std::filesystem::create_directory(dir_.file(name));
        std::filesystem::create_directory(dir_.file("proc"));
        ASSERT_EQ(::stat(dir_.path().c_str(), &folder_), 0);
    }
    void AddServer(int pid, const std::string& image, const std::string& mountPoint, const std::string& connection) {
        const std::string process = dir_.file("proc/" + std::to_string(pid));
        std::filesystem::create_directories(process + "/fdinfo");
        Link("/dev/fuse", process + "/fd/3");
        Link(dir_.file(image), process + "/fd/4");
        Link(dir_.path(), process + "/cwd");
        WriteText(process + "/fdinfo/3", "pos:\t0\nflags:\t0100002\n" + connection);
        std::ofstream(process + "/cmdline") << "fusefat" << '\0' << "-o" << '\0' << "rw+" << '\0' << image << '\0'
                                            << mountPoint << '\0';
    }
    std::vector<std::string> Served(const std::vector<std::string>& mountPoints) {
        std::vector<std::string> names;
        for (const ServedFile& file : FilesServingFuse(folder_.st_dev, mountPoints, dir_.path()).files)
            if (std::find(names.begin(), names.end(), file.name) == names.end()) names.push_back(file.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir_;
    struct stat folder_ {};
};

TEST_F(FuseServers, TheServerIsTheOneWhoseArgumentsNameTheMountPointElseAnyOfThem) {
    if (::access("/dev/fuse", F_OK) != 0) GTEST_SKIP() << "no /dev/fuse here";
    AddServer(100, "a.img", "mntA", "");
    AddServer(200, "b.img", "mntB", "");
    // The folder stands for the FUSE file system; the server named it relative to its own folder.
    // What it holds open and what its arguments name (files, devices, folders) is served from.
    EXPECT_EQ(Served({dir_.file("mntA")}), (std::vector<std::string>{dir_.file("a.img"), "a.img", "mntA"}));
    // Moved where no argument names it: every server may be it.
    EXPECT_EQ(Served({dir_.file("moved")}),
              (std::vector<std::string>{dir_.file("a.img"), dir_.file("b.img"), "a.img", "b.img", "mntA", "mntB"}));
    // A program that does not hold /dev/fuse (as Kelvara, named the mount point on its command
    // line) serves nothing.
    const std::string kelvara = dir_.file("proc/300");
    std::filesystem::create_directories(kelvara + "/fd");
    Link(dir_.file("b.img"), kelvara + "/fd/4");
    std::ofstream(kelvara + "/cmdline") << "kelvara-cli" << '\0' << "save" << '\0' << dir_.file("b.img") << '\0'
                                        << dir_.file("mntA") << '\0';
    EXPECT_EQ(Served({dir_.file("mntA")}), (std::vector<std::string>{dir_.file("a.img"), "a.img", "mntA"}));
}

TEST_F(FuseServers, WhereTheKernelNamesTheConnectionThatDecides) {
    if (::access("/dev/fuse", F_OK) != 0) GTEST_SKIP() << "no /dev/fuse here";
    const unsigned long connection = (static_cast<unsigned long>(major(folder_.st_dev)) << 20) | minor(folder_.st_dev);
    AddServer(100, "a.img", "mntA", "fuse_connection:\t" + std::to_string(connection + 1) + "\n");
    AddServer(200, "b.img", "mntB", "fuse_connection:\t" + std::to_string(connection) + "\n");
    EXPECT_EQ(Served({dir_.file("mntA")}), (std::vector<std::string>{dir_.file("b.img"), "b.img", "mntB"}));
    // Neither serves it: its server is not to be seen from here.
    std::filesystem::remove_all(dir_.file("proc/200"));
    const FuseServing serving = FilesServingFuse(folder_.st_dev, {dir_.file("mntA")}, dir_.path());
    EXPECT_TRUE(serving.serverUnseen);
    EXPECT_TRUE(serving.files.empty());
}

}  // namespace
}  // namespace kelvara
