#pragma once
// Where volumes are mounted, from the kernel's mountinfo.

#include <string>
#include <vector>

namespace kelvara {

struct MountEntry {
    std::string devNumber;  // "major:minor"
    std::string root;       // the folder of the file system that is mounted ("/" for the whole)
    std::string mountPoint;
    std::string source;     // e.g. "/dev/sdb1"
    std::string type;       // e.g. "vfat", "fuse.fusefat"
};

// Empty when the table cannot be read.
std::vector<MountEntry> ReadMountTable(const std::string& mountinfoPath);

// The mount point of the whole file system on a device, matched by device number or by source;
// empty when it is not mounted.
std::string FindMountPoint(const std::vector<MountEntry>& table, const std::string& devNumber,
                           const std::string& source);

}  // namespace kelvara
