#pragma once
// The programs that serve a FUSE file system, and the files and devices they serve it from: a
// card image mounted with fusefat is written through the fusefat process, which holds the image
// open. Only a process holding /dev/fuse open serves anything.

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace kelvara {

struct ServedFile {
    std::string name;  // the path the server has it open by, or named it by
    struct stat info {};
};

struct FuseServing {
    // Regular files, block devices and folders the servers hold open or were started with.
    std::vector<ServedFile> files;
    // No server of this file system could be seen (another user's, or another namespace's), so
    // what it serves from is not known.
    bool serverUnseen = false;
};

// What the servers of the FUSE file system with device number `device` serve from. The server
// is known by the connection its /dev/fuse descriptor stands for where the kernel tells it;
// otherwise by an argument naming one of `mountPoints` (resolved against its own working folder,
// compared by identity); where neither finds it (after a mount was moved, say), every server
// there is is taken. sysRoot is where proc/ and dev/ are looked up.
FuseServing FilesServingFuse(dev_t device, const std::vector<std::string>& mountPoints, const std::string& sysRoot);

}  // namespace kelvara
