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
    std::string superOptions;  // the file system's own, still escaped: "rw,lowerdir=...,upperdir=..."
};

// The value of each `name=value` among a mount's super options, unescaped, in order; a name
// may stand more than once ("lowerdir+").
std::vector<std::string> SuperOptionValues(const MountEntry& entry, const std::string& name);

// Empty when the table cannot be read.
std::vector<MountEntry> ReadMountTable(const std::string& mountinfoPath);

// The mount point of the whole file system on a device, matched by device number or by source;
// empty when it is not mounted.
std::string FindMountPoint(const std::vector<MountEntry>& table, const std::string& devNumber,
                           const std::string& source);

}  // namespace kelvara
