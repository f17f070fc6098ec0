#include "platform/posix/drive_map.h"

#include <cctype>
#include <stdexcept>
#include <vector>

#include "platform/posix/mount_table.h"
#include "platform/posix/partition_table.h"
#include "platform/posix/removable_volumes.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kSector = 512;

}  // namespace

DriveMap::DriveMap(const std::vector<AttachedImage>& images, const std::string& home, std::string sysRoot,
                   VolumeOpener& opener, Udisks* udisks)
    : sysRoot_(std::move(sysRoot)), opener_(opener), udisks_(udisks) {
    Place(Drive{'C', DRIVE_FIXED, home, std::nullopt, true, home}, {});
    Place(Drive{'Z', DRIVE_FIXED, "/", std::nullopt, true, "/"}, {});
    for (const AttachedImage& image : images) AttachImage(image);
}

void DriveMap::AttachImage(const AttachedImage& image) {
    if (const auto why = WhyNotAVolume(image.path)) throw std::runtime_error(*why);
    // The partitions the image or device holds; none when it is one volume or cannot be read.
    std::vector<TablePartition> partitions;
    DWORD error = 0;
    std::string reason;
    if (const auto medium = opener_.Open(VolumeSource{image.path, 0, std::nullopt}, error, reason))
        partitions = ReadPartitionTable(*medium);
    std::vector<Drive> drives;
    if (image.partition == 0 && partitions.empty()) {
        drives.push_back(
            Drive{0, DRIVE_REMOVABLE, image.root, VolumeSource{image.path, 0, std::nullopt}, true, image.path});
    } else {
        for (const TablePartition& p : partitions) {
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
    // The disk service's list comes with the mounts; the kernel's needs the mount table beside it.
    auto fromService = udisks_ ? udisks_->RemovableVolumes() : std::nullopt;
    const bool fromUdisks = fromService.has_value();
    const std::vector<RemovableVolume> volumes = fromUdisks ? std::move(*fromService) : FindRemovableVolumes(sysRoot_);
    const std::string base = sysRoot_.empty() || sysRoot_.back() != '/' ? sysRoot_ + "/" : sysRoot_;
    const std::vector<MountEntry> mounts =
        fromUdisks ? std::vector<MountEntry>() : ReadMountTable(base + "proc/self/mountinfo");

    for (Slot& slot : slots_)
        if (!slot.removableKey.empty()) slot.present = false;

    for (const RemovableVolume& volume : volumes) {
        Drive drive;
        drive.type = DRIVE_REMOVABLE;
        drive.folder = fromUdisks ? volume.mountPoint : FindMountPoint(mounts, volume.devNumber, "/dev/" + volume.name);
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
