// Media at the edges of size: volumes of 1, 25 and 26 sectors (the run length rounds to 0 and
// to 1), an empty image file, a card reader with no card; a sparse card of 64 GiB whose photos
// lie past 2 GiB, past 32 GiB and near its end, one of them followed by 2 GiB without another,
// scanned and saved within 100 MiB of memory; a card of more than 2^31 sectors; and a card of
// 4096-byte sectors, bare and behind the partition tables of such a disk.

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <optional>
#include <iostream>

#include "diskio/disk_error.h"
#include "diskio/get_total_sectors.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/posix/posix_platform.h"
#include "platform/process_memory.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "tests/support/fake_progress.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/mounts.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tools/make_image.h"

namespace kelvara {
namespace {

const FileKind kJpeg = *formats::KindOfExtension(".JPG");

namespace fs = std::filesystem;
using testing::FakeProgress;
using testing::Told;
using testing::FakePlatform;
using Bytes = std::vector<std::uint8_t>;

ScanReport Scan(Platform& platform, FakeProgress& progress, FoundPhotoTable& table, const std::string& drive,
                std::int64_t sectors, bool nine) {
    return nine ? testing::Scan9x(platform, progress, table, drive, sectors)
                : testing::ScanNt(platform, progress, table, drive, sectors);
}

TEST(TinyMedia, VolumesOf1And25And26SectorsAreScannedSavedAndImagedWhole) {
    for (const std::int64_t sectors : {1, 25, 26}) {
        for (const bool nine : {false, true}) {
            SCOPED_TRACE(std::to_string(sectors) + (nine ? " sectors, 9x" : " sectors, NT"));
            FakePlatform platform;
            platform.platformId = nine ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
            platform.folders.insert("C:\\Out");
            auto& volume = platform.AddVolume('E', sectors);
            const Bytes first = testing::MakePhotoRun(512, 1), last = testing::MakePhotoRun(300, 2);
            std::copy(first.begin(), first.end(), volume.begin());
            if (sectors > 1) std::copy(last.begin(), last.end(), volume.end() - 512);
            FakeProgress progress;
            FoundPhotoTable table;
            const ScanReport scanned = Scan(platform, progress, table, "E:\\", sectors, nine);

            ASSERT_EQ(table.size(), sectors > 1 ? 2u : 1u);
            EXPECT_EQ(table[table.size() - 1].EndSector, sectors);
            ASSERT_EQ(Told(scanned).size(), 1u) << Told(scanned).back();
            EXPECT_TRUE(scanned.Complete());
            const SaveReport report = SavePhotos(platform, progress, table, {0, static_cast<std::int64_t>(table.size()) - 1},
                                                 "C:\\Out", "Image");
            EXPECT_EQ(report.failed, 0) << report.firstFailure;
            EXPECT_EQ(platform.files.at("C:\\Out\\Image001.JPG"), first);
            if (sectors > 1) {
                EXPECT_EQ(platform.files.at("C:\\Out\\Image002.JPG"), last);
            }
            // On one sector the one photo was asked for twice: the second time it was there already.
            EXPECT_EQ(report.alreadyThere, sectors > 1 ? 0 : 1);
            const ImageReport image = testing::ImageInto(platform, "E:\\", sectors, "C:\\Out", progress);
            EXPECT_TRUE(image.complete) << image.failure;
            EXPECT_EQ(platform.files.at("C:\\Out\\TOBRN.IMG"), volume);
        }
    }
}

TEST(TinyMedia, AnEmptyImageFileHasNoSizeAndReadsAsADriveThatEnds) {
    testing::TempDir tmp;
    const std::string image = tmp.file("empty.img"), oneSector = tmp.file("one.img");
    testing::WriteBytesAt(image, 0, Bytes{});
    testing::WriteBytesAt(oneSector, 0, testing::MakePhotoRun(512, 3));
    fs::create_directory(tmp.file("out"));
    PosixPlatform::Options options;
    options.images = {AttachedImage(image), AttachedImage(oneSector)};
    options.home = tmp.path();
    for (const DWORD family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        options.platformId = family;
        PosixPlatform platform(options);
        for (const char* drive : {"D:\\", "E:\\"}) {
            SCOPED_TRACE(std::string(drive) + (family == VER_PLATFORM_WIN32_NT ? " NT" : " 9x"));
            EXPECT_EQ(platform.GetDriveTypeA(drive), DRIVE_REMOVABLE);
            const bool one = std::string(drive) == "E:\\";
            // NT asks for the volume's length; 9x has only a file system to take a size from.
            EXPECT_EQ(GetTotalSectors(platform, drive), family == VER_PLATFORM_WIN32_NT ? (one ? 1 : 0) : -1);
            // A count the window would never show, as if the card had been swapped after it was chosen.
            FakeProgress progress;
            FoundPhotoTable table;
            const auto told = Told(Scan(platform, progress, table, drive, 100, family != VER_PLATFORM_WIN32_NT));
            ASSERT_EQ(told.size(), 2u);
            if (family == VER_PLATFORM_WIN32_NT) {
                EXPECT_EQ(told[0], one ? "Kelvara's found 1 Files" : "Kelvara's found 0 Files");
                EXPECT_EQ(told[1].rfind(std::string("Drive ") + drive + " holds nothing from sector " +
                                                  (one ? "1" : "0") + " on,",
                                              0),
                          0u)
                    << told[1];
                if (one) {
                    EXPECT_EQ(table[0].EndSector, 1);
                }
                const ImageReport report = testing::ImageInto(platform, drive, 100, "C:\\out", progress);
                EXPECT_EQ(report.sectorsWritten, one ? 1 : 0);
                EXPECT_FALSE(report.complete);
                // What was copied is kept apart from the name of a whole image; nothing is kept of nothing.
                EXPECT_FALSE(fs::exists(tmp.file("out/TOBRN.IMG")));
                if (one) {
                    EXPECT_EQ(fs::file_size(tmp.file("out/TOBRN.IMG.partial")), 512u);
                } else {
                    EXPECT_FALSE(fs::exists(tmp.file("out/TOBRN.IMG.partial")));
                }
            } else {
                EXPECT_EQ(told[0].rfind(std::string("Kelvara could not read drive ") + drive, 0), 0u) << told[0];
                EXPECT_EQ(told[1], "Kelvara's found 0 Files");
            }
        }
    }
}

TEST(TinyMedia, AReaderWithNoCardRefusesEveryCommandWithAReason) {
    FakePlatform platform;
    platform.drives['G'] = FakePlatform::Drive{};
    platform.drives['G'].sizeKnown = false;
    platform.folders.insert("C:\\Out");
    EXPECT_EQ(GetTotalSectors(platform, "G:\\"), -1);
    FoundPhotoTable table;
    table.assign(1, {0, 4, kJpeg, {0xFF, 0xD9}, "G:\\"});  // a photo found before the card was taken out
    for (const bool nine : {false, true}) {
        platform.platformId = nine ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
        FakeProgress progress;
        FoundPhotoTable scanned;
        const auto told = Told(Scan(platform, progress, scanned, "G:\\", 100, nine));
        ASSERT_EQ(told.size(), 2u);
        EXPECT_EQ(told[0].rfind("Kelvara could not read drive G:\\ from sector 0 on", 0), 0u) << told[0];
        EXPECT_EQ(told[1], "Kelvara's found 0 Files");
    }
    platform.platformId = VER_PLATFORM_WIN32_NT;
    FakeProgress progress;
    EXPECT_THROW(SaveFile(platform, progress, table, 0, "C:\\Out", "Image"), SaveError);
    EXPECT_THROW(WritePreviewFiles(platform, table[0], DriveEnd(table), "C:\\Temp\\"), DiskError);
    const ImageReport report = testing::ImageInto(platform, "G:\\", 100, "C:\\Out", progress);
    EXPECT_EQ(report.failure, "Drive G:\\ could not be read at sector 0: Cannot open drive G:. The device is not ready.");
    EXPECT_EQ(report.sectorsWritten, 0);
    EXPECT_EQ(platform.files.count("C:\\Out\\Image001.JPG"), 0u);
    EXPECT_EQ(platform.files.count("C:\\Temp\\TB.jpg"), 0u);
}

TEST(LargeMedia, A64GiBCardIsScannedToItsEndInBoundedMemory) {
    testing::TempDir tmp(std::uint64_t{256} << 20);  // what the sparse card holds, and the photos saved
    const std::string image = tmp.file("large.img");
    constexpr std::int64_t kSectors = std::int64_t{64} << 21;  // 64 GiB, sparse: only what is written takes room
    testing::MakeFatImage(image, 32, kSectors);
    PosixPlatform::Options options;
    options.images.push_back(AttachedImage(image));
    options.home = tmp.path();
    PosixPlatform platform(options);
    const std::int64_t total = GetTotalSectors(platform, "D:\\");
    ASSERT_GT(total, kSectors - 100000);  // the data area: the scan ends short of the volume's true end

    // A photo near the start, its thumbnail inside it, then 100 MB of another file's old data:
    // nothing else starts a sector until 2 GiB, so its run is 2 GiB long.
    const Bytes first = testing::MakeJpegWithThumbnail(640, 480, 99);
    const std::int64_t firstAt = 40000;
    testing::WriteBytesAt(image, firstAt * 512, first);
    std::int64_t oldAt = (firstAt + static_cast<std::int64_t>(first.size() + 511) / 512) * 512;
    std::uint32_t seed = 5;
    for (int mebibyte = 0; mebibyte < 100; ++mebibyte, oldAt += 1 << 20) {  // a piece at a time: memory is measured
        Bytes old(1 << 20);
        for (auto& byte : old) byte = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        for (std::size_t at = 0; at < old.size(); at += 512)
            if (old[at] == 0xFF || old[at] == 'G') old[at] = 0;
        testing::WriteBytesAt(image, oldAt, old);
    }

    // Two photos each past 2 GiB, past 32 GiB and at the end of what the scan covers.
    const std::int64_t starts[] = {4194304 + 1000, 4194304 + 1020, 67108864 + 5000, 67108864 + 5020, total - 40,
                                   total - 10};
    std::vector<Bytes> photos;
    for (int i = 0; i < 6; ++i) {
        photos.push_back(testing::MakePhotoRun(2000 + 300 * i, i));  // each within the 10 sectors the last one has
        testing::WriteBytesAt(image, std::int64_t{starts[i]} * 512, photos.back());
    }
    FakeProgress progress;
    FoundPhotoTable table;
    const ScanReport scanned = testing::ScanNt(platform, progress, table, "D:\\", total);

    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[0].StartSector, firstAt);
    EXPECT_EQ(table[0].EndSector, starts[0]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(table[i + 1].StartSector, starts[i]);
    EXPECT_EQ(table[6].EndSector, total);
    EXPECT_EQ(Told(scanned), std::vector<std::string>{"Kelvara's found 7 Files"});
    fs::create_directory(tmp.file("out"));
    const SaveReport report = SavePhotos(platform, progress, table, {0, 1, 3, 5, 6}, "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_EQ(testing::ReadFileBytes(tmp.file("out/Image001.JPG")), first);
    for (const int i : {0, 2, 4, 5})
        EXPECT_EQ(testing::ReadFileBytes(tmp.file("out/" + EntryName("Image", i + 1, kJpeg))), photos[i]) << i;
    WritePreviewFiles(platform, table[0], DriveEnd(table), tmp.path() + "/");
    EXPECT_EQ(testing::ReadFileBytes(tmp.file("TB.jpg")), first);

    const auto peak = PeakResidentBytes();
    ASSERT_TRUE(peak.has_value());
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's shadow memory and quarantine are not the program's own.
    std::cout << "peak resident memory (under AddressSanitizer): " << (*peak >> 20) << " MiB\n";
#else
    EXPECT_LT(*peak, std::uint64_t{100} << 20);
    std::cout << "peak resident memory: " << (*peak >> 20) << " MiB\n";
#endif
}

TEST(LargeMedia, ACardOfMoreThan2To31SectorsGivesBackItsPhotosPastThat) {
    testing::TempDir tmp;
    const std::string image = tmp.file("huge.img");
    constexpr std::int64_t kSectors = (std::int64_t{1} << 31) + (std::int64_t{1} << 22);  // 1 TiB and 2 GiB, sparse
    if (!testing::MakeExfatImage(image, kSectors)) GTEST_SKIP() << "mkfs.exfat is not installed";
    PosixPlatform::Options options;
    options.images.push_back(AttachedImage(image));
    options.home = tmp.path();
    PosixPlatform platform(options);
    const std::int64_t total = GetTotalSectors(platform, "D:\\");
    ASSERT_GT(total, std::int64_t{1} << 31);  // counted whole, not capped at 2,147,483,647

    // Scanning a terabyte is more than a test can wait for: the record is the one a scan makes
    // for the last photo of the card.
    const Bytes photo = testing::MakeJpegWithThumbnail(320, 240, 3);
    const std::int64_t at = (std::int64_t{1} << 31) + 4000;
    testing::WriteBytesAt(image, at * 512, photo);
    FoundPhotoTable table = {{at, total, kJpeg, formats::EndMarkerOf(kJpeg), "D:\\"}};
    FakeProgress progress;
    fs::create_directory(tmp.file("out"));
    const SaveReport report = SavePhotos(platform, progress, table, {0}, "C:\\out", "Image");
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_EQ(testing::ReadFileBytes(tmp.file("out/Image001.JPG")), photo);
    WritePreviewFiles(platform, table[0], DriveEnd(table), tmp.path() + "/");
    EXPECT_EQ(testing::ReadFileBytes(tmp.file("TB.jpg")), photo);
}


// A 64 MiB volume of 4096-byte sectors whose four photos were copied and deleted again.
class LargeSectors : public ::testing::Test {
protected:
    void SetUp() override {
        volume = tmp.file("card4k.img");
        testing::MakeFatImage(volume, 0, kVolumeSectors, 0, 4096);
        for (int i = 0; i < 4; ++i) {
            photos.push_back(testing::MakeJpeg(160 + 40 * i, 120, i));
            testing::WriteFileBytes(tmp.file("photo"), photos.back());
            testing::CopyIntoImage(volume, tmp.file("photo"), "::/DCIM/IMG_000" + std::to_string(i) + ".JPG");
        }
        testing::DeleteFromImage(volume, "::/DCIM");
        fs::create_directory(tmp.file("out"));
    }
    // The volume, read as drive D: from `source` on both families, is counted whole (in our
    // 512-byte sectors) and gives back every photo.
    void ExpectWhole(const std::string& source) {
        for (const DWORD family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
            SCOPED_TRACE(source + (family == VER_PLATFORM_WIN32_NT ? " NT" : " 9x"));
            PosixPlatform::Options options;
            options.images.push_back(AttachedImage(source));
            options.home = tmp.path();
            options.platformId = family;
            PosixPlatform platform(options);
            EXPECT_EQ(GetTotalSectors(platform, "D:\\"), kVolumeSectors);
            FakeProgress progress;
            FoundPhotoTable table;
            Scan(platform, progress, table, "D:\\", kVolumeSectors, family != VER_PLATFORM_WIN32_NT);
            ASSERT_EQ(table.size(), photos.size());
            fs::remove_all(tmp.file("out"));
            fs::create_directory(tmp.file("out"));
            const SaveReport report = SavePhotos(platform, progress, table, {0, 1, 2, 3}, "C:\\out", "Image");
            EXPECT_EQ(report.failed, 0) << report.firstFailure;
            for (std::size_t i = 0; i < photos.size(); ++i)
                EXPECT_EQ(testing::ReadFileBytes(tmp.file("out/Image00" + std::to_string(i + 1) + ".JPG")), photos[i]) << i;
        }
    }
    // A disk of 4096-byte sectors whose partition 1 is the volume, 1 MiB in; `label` is sfdisk's.
    // Only root can present the file as such a disk to sfdisk; nullopt when that cannot be done.
    std::optional<std::string> Disk(const std::string& label) {
        const std::string disk = tmp.file(label + ".img");
        testing::WriteBytesAt(disk, (kVolumeSectors + 8192) * 512 - 1, Bytes{0});
        {
            const testing::LoopDevice loop(disk, {.sectorSize = 4096});
            if (loop.device().empty()) return std::nullopt;
            QProcess sfdisk;
            sfdisk.start("sfdisk", {"--no-reread", "--no-tell-kernel", "--quiet", QString::fromStdString(loop.device())});
            sfdisk.write(("label: " + label + "\nstart=256, size=" + std::to_string(kVolumeSectors / 8) + ", type=" +
                          (label == "gpt" ? "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" : "c") + "\n")
                             .c_str());
            sfdisk.closeWriteChannel();
            sfdisk.waitForFinished();
            if (sfdisk.exitCode() != 0) return std::nullopt;
        }
        testing::WriteBytesAt(disk, 256 * 4096, testing::ReadFileBytes(volume));
        return disk;
    }

    static constexpr std::int64_t kVolumeSectors = 131072;
    testing::TempDir tmp;
    std::string volume;
    std::vector<Bytes> photos;
};

TEST_F(LargeSectors, AVolumeOf4096ByteSectorsIsCountedInItsOwnSectorSize) { ExpectWhole(volume); }

TEST_F(LargeSectors, PartitionTablesOfA4096ByteDiskCountInItsSectors) {
    // A classic table written by hand: partition 1 at sector 256 of 4096 bytes, 1 MiB in.
    const std::string classic = tmp.file("classic.img");
    testing::WriteBytesAt(classic, 0, Bytes(512, 0));
    testing::WriteBytesAt(classic, 446 + 4, Bytes{0x0C, 0, 0, 0, 0x00, 0x01, 0, 0, 0x00, 0x40, 0, 0});
    testing::WriteBytesAt(classic, 510, Bytes{0x55, 0xAA});
    testing::WriteBytesAt(classic, 256 * 4096, testing::ReadFileBytes(volume));
    ExpectWhole(classic);

    if (!testing::RunningAsRoot()) GTEST_SKIP() << "only root can attach a loop device of 4096-byte sectors";
    for (const std::string label : {"dos", "gpt"}) {
        const auto disk = Disk(label);
        if (!disk) GTEST_SKIP() << "sfdisk could not write a table on a loop device of 4096-byte sectors";
        ExpectWhole(*disk);  // a file does not say its sector size: the table's places do
        const testing::LoopDevice device(*disk, {.readOnly = true, .sectorSize = 4096});
        ASSERT_FALSE(device.device().empty()) << device.refusal();
        ExpectWhole(device.device());  // a device does
    }
}

}  // namespace
}  // namespace kelvara
