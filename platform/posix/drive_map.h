#pragma once
// The machine as drive letters: C: the home folder, D: upward the attached images and then the
// removable volumes, Z: the root of the file system. A letter, once given, stays with its drive
// for the life of the map, so a scan that re-reads its drive string never lands on another.

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/raw_volume.h"
#include "platform/posix/udisks.h"
#include "platform/posix/volume_opener.h"
#include "platform/win32_types.h"

namespace kelvara {

struct AttachedImage {
    AttachedImage() = default;
    AttachedImage(std::string imagePath, int imagePartition = 0, std::string rootFolder = {})
        : path(std::move(imagePath)), partition(imagePartition), root(std::move(rootFolder)) {}

    std::string path;
    // 0: every partition of an image holding a partition table, or the whole file when it has
    // none; N: only partition N (1-based).
    int partition = 0;
    // A folder that stands for the drive's root (where its volume is mounted); empty: none. With
    // several partitions it belongs to the first.
    std::string root;
};

struct Drive {
    char letter = 0;
    DWORD type = DRIVE_NO_ROOT_DIR;
    std::string folder;                  // the folder that stands for the root; empty: none
    std::optional<VolumeSource> volume;  // the raw volume; absent for folders and missing partitions
    bool mediumPresent = true;           // false for a card reader with no card in it
    std::string target;                  // what the letter stands for, as QueryDosDeviceA tells it
};

class DriveMap {
public:
    // The images' partition tables are read through `opener`. Throws std::runtime_error naming
    // an image that is there but can hold no volume (a FIFO, a socket, a character device, a
    // folder): it is refused before anything tries to open it. udisks, when not null, lists the
    // removable volumes instead of sysfs and the mount table.
    DriveMap(const std::vector<AttachedImage>& images, const std::string& home, std::string sysRoot,
             VolumeOpener& opener, Udisks* udisks);

    // Looks for removable volumes and their mounts afresh: a new medium takes the next free
    // letter, one that went away keeps its letter but is no longer listed.
    void RefreshRemovable();

    // The drives that are there, in letter order.
    std::vector<Drive> Drives() const;
    // A drive that is there, by its letter in either case.
    std::optional<Drive> Find(char letter) const;

private:
    struct Slot {
        Drive drive;
        bool taken = false;    // the letter belongs to a drive, there or not
        bool present = false;
        std::string removableKey;  // empty for drives that are not removable volumes
    };

    // The next letter a new drive may take, or 0 when none is left.
    char NextFreeLetter() const;
    Slot& SlotOf(char letter) { return slots_[static_cast<std::size_t>(letter - 'A')]; }
    void Place(const Drive& drive, const std::string& removableKey);
    void AttachImage(const AttachedImage& image);

    std::array<Slot, 26> slots_{};
    std::string sysRoot_;
    VolumeOpener& opener_;
    Udisks* udisks_;
};

}  // namespace kelvara
