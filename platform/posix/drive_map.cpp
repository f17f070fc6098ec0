#include "platform/posix/drive_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

#include "platform/posix/boot_sector.h"
#include "platform/posix/mbr.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/removable_volumes.h"
#include "platform/posix/unique_fd.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kSector = 512;

// The partitions an image file holds, or none when it is one volume (or cannot be read).
std::vector<MbrPartition> PartitionsOf(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::vector<std::uint8_t> sector(kSector);
    if (::pread(fd.get(), sector.data(), sector.size(), 0) != static_cast<ssize_t>(sector.size())) return {};
    // A volume's boot sector also ends in 55 AA; when it reads as a sound file system, it is one.
    if (ParseBootSector(sector, static_cast<std::uint64_t>(info.st_size))) return {};
    return ReadMbrPartitions(sector);
}

}  // namespace

DriveMap::DriveMap(const std::vector<AttachedImage>& images, const std::string& home, std::string sysRoot)
    : sysRoot_(std::move(sysRoot)) {
    Place(Drive{'C', DRIVE_FIXED, home, std::nullopt, true, home}, {});
    Place(Drive{'Z', DRIVE_FIXED, "/", std::nullopt, true, "/"}, {});
    for (const AttachedImage& image : images) AttachImage(image);
}

void DriveMap::AttachImage(const AttachedImage& image) {
    const std::vector<MbrPartition> partitions = PartitionsOf(image.path);
    std::vector<Drive> drives;
    if (image.partition == 0 && partitions.empty()) {
        drives.push_back(
            Drive{0, DRIVE_REMOVABLE, image.root, VolumeSource{image.path, 0, std::nullopt}, true, image.path});
    } else {
        for (const MbrPartition& p : partitions) {
            if (image.partition != 0 && p.number != image.partition) continue;
            drives.push_back(Drive{0, DRIVE_REMOVABLE, drives.empty() ? image.root : std::string(),
                                   VolumeSource{image.path, p.firstSector * kSector, p.sectors * kSector}, true,
                                   image.path + "@" + std::to_string(p.number)});
        }
        // The partition asked for is not there: the drive exists, but has no volume to read.
        if (drives.empty())
            drives.push_back(Drive{0, DRIVE_REMOVABLE, image.root, std::nullopt, true,
                                   image.path + "@" + std::to_string(image.partition)});
    }
    for (Drive& drive : drives) {
        drive.letter = NextFreeLetter();
        if (drive.letter == 0) return;  // out of letters: the rest are not listed
        Place(drive, {});
    }
}

char DriveMap::NextFreeLetter() const {
    for (char letter = 'D'; letter < 'Z'; ++letter)
        if (!slots_[static_cast<std::size_t>(letter - 'A')].taken) return letter;
    return 0;
}

void DriveMap::Place(const Drive& drive, const std::string& removableKey) {
    Slot& slot = SlotOf(drive.letter);
    slot.drive = drive;
    slot.taken = true;
    slot.present = true;
    slot.removableKey = removableKey;
}

void DriveMap::RefreshRemovable() {
    const std::vector<RemovableVolume> volumes = FindRemovableVolumes(sysRoot_);
    const std::string base = sysRoot_.empty() || sysRoot_.back() != '/' ? sysRoot_ + "/" : sysRoot_;
    const std::vector<MountEntry> mounts = ReadMountTable(base + "proc/self/mountinfo");

    for (Slot& slot : slots_)
        if (!slot.removableKey.empty()) slot.present = false;

    for (const RemovableVolume& volume : volumes) {
        Drive drive;
        drive.type = DRIVE_REMOVABLE;
        drive.folder = FindMountPoint(mounts, volume.devNumber, "/dev/" + volume.name);
        drive.volume = VolumeSource{volume.node, 0, std::nullopt};
        drive.mediumPresent = volume.sectors != 0;
        drive.target = volume.node;

        char letter = 0;
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].removableKey == volume.slotKey) letter = static_cast<char>('A' + i);
        if (letter == 0) letter = NextFreeLetter();
        if (letter == 0) continue;
        drive.letter = letter;
        Place(drive, volume.slotKey);
    }
}

std::vector<Drive> DriveMap::Drives() const {
    std::vector<Drive> drives;
    for (const Slot& slot : slots_)
        if (slot.present) drives.push_back(slot.drive);
    return drives;
}

std::optional<Drive> DriveMap::Find(char letter) const {
    const int upper = std::toupper(static_cast<unsigned char>(letter));
    if (upper < 'A' || upper > 'Z') return std::nullopt;
    const Slot& slot = slots_[static_cast<std::size_t>(upper - 'A')];
    if (!slot.present) return std::nullopt;
    return slot.drive;
}

}  // namespace kelvara
