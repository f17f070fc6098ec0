#pragma once
// What a mounted file system stores its files on: a block device, or a file (a card image
// mounted through a loop device or a FUSE program). Saving onto the card being recovered would
// overwrite the deleted photos still on it, so a destination's file system is traced back to it.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix/mount_table.h"

namespace kelvara {

struct Backing {
    bool blockDevice = false;
    dev_t rdev = 0;    // the block device's number
    dev_t device = 0;  // the file's file system and inode
    ino_t inode = 0;

    bool operator==(const Backing&) const = default;
};

// What a device node or a file given by path is, as a backing; false when it is neither.
bool BackingOfPath(const std::string& path, Backing& backing);

// What the file system whose files carry device number `device` is stored on: that device itself,
// the file behind it where it is a loop device, the source in the mount table, and for a FUSE
// file system the files its program was started with. sysRoot is where sys/ and proc/ are.
std::vector<Backing> MountBacking(dev_t device, const std::vector<MountEntry>& mounts, const std::string& sysRoot);

}  // namespace kelvara
