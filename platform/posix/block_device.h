#pragma once
// What sysfs tells of a block device, by its number: the disk a partition belongs to, the
// devices a mapped device is made of, the file a loop device stores its blocks in.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kelvara {

// A file by its file system's device number and its inode: what it is, whatever it is called now.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// sysRoot is where sys/ and dev/ are looked up ("/" on a real machine).
class BlockDevices {
public:
    explicit BlockDevices(std::string sysRoot);

    // The whole disk of a partition; nullopt for anything else.
    std::optional<dev_t> DiskOf(dev_t partition) const;
    // The devices a mapped or RAID device is built on.
    std::vector<dev_t> PartsOf(dev_t device) const;
    // The file a loop device (or a partition of one) reads and writes; nullopt for other devices.
    // `name` gets the file's path as the kernel last knew it.
    std::optional<FileIdentity> LoopBacking(dev_t device, std::string& name) const;
    // The loop devices whose blocks are stored in `file`, whose path (with no link in it) is
    // `path`. Only a loop device the kernel names the file for is looked at further: another's
    // device could stand on a file system that no longer answers, and opening it would wait.
    std::vector<dev_t> LoopsBackedBy(const FileIdentity& file, const std::string& path) const;
    // "/dev/sdb1", or "block device 8:17" where the kernel gives no name.
    std::string NameOf(dev_t device) const;

private:
    std::string Folder(dev_t device) const;  // sys/dev/block/MAJOR:MINOR

    std::string sysRoot_;
};

// The file an open loop device (or a partition of one) stores its blocks in, as the loop driver
// tells it: right even when the file was renamed or deleted since. nullopt for other devices,
// and where the driver does not answer.
std::optional<FileIdentity> LoopBackingOfOpenDevice(int fd);

}  // namespace kelvara
