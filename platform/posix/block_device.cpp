#include "platform/posix/block_device.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>

#include "platform/posix/kernel_files.h"
#include "platform/posix/unique_fd.h"

namespace kelvara {
namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// "8:17" as a device number.
std::optional<dev_t> ParseDeviceNumber(const std::string& text) {
    unsigned major = 0, minor = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &end) != 2) return std::nullopt;
    return makedev(major, minor);
}

std::string Slash(std::string root) {
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

}  // namespace

BlockDevices::BlockDevices(std::string sysRoot) : sysRoot_(Slash(std::move(sysRoot))) {}

std::string BlockDevices::Folder(dev_t device) const {
    return sysRoot_ + "sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::optional<dev_t> BlockDevices::DiskOf(dev_t partition) const {
    const std::string folder = Folder(partition);
    if (!Exists(folder + "/partition")) return std::nullopt;
    // A partition's folder sits in its disk's.
    return ParseDeviceNumber(FirstLine(folder + "/../dev"));
}

std::vector<dev_t> BlockDevices::PartsOf(dev_t device) const {
    const std::string slaves = Folder(device) + "/slaves";
    std::vector<dev_t> parts;
    for (const std::string& name : FolderEntries(slaves))
        if (const auto part = ParseDeviceNumber(FirstLine(slaves + "/" + name + "/dev"))) parts.push_back(*part);
    return parts;
}

std::optional<FileIdentity> BlockDevices::LoopBacking(dev_t device, std::string& name) const {
    std::string folder = Folder(device);
    if (Exists(folder + "/partition")) folder += "/..";
    std::string path = FirstLine(folder + "/loop/backing_file");
    if (path.empty()) return std::nullopt;
    const std::string deleted = " (deleted)";
    const bool gone = path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0;
    if (gone) path.resize(path.size() - deleted.size());
    name = path;
    // The driver knows the file itself, also after a rename or a delete; the path is only a name.
    const std::string node = NameOf(device);
    struct stat info {};
    if (node.rfind("/dev/", 0) == 0 && ::stat((sysRoot_ + node.substr(1)).c_str(), &info) == 0 && S_ISBLK(info.st_mode) &&
        info.st_rdev == device) {
        UniqueFd fd(::open((sysRoot_ + node.substr(1)).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (fd.valid())
            if (const auto file = LoopBackingOfOpenDevice(fd.get())) return file;
    }
    if (gone || ::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

std::vector<dev_t> BlockDevices::LoopsBackedBy(const FileIdentity& file, const std::string& path) const {
    std::vector<dev_t> loops;
    const std::string block = sysRoot_ + "sys/block/";
    for (const std::string& name : FolderEntries(block)) {
        if (FirstLine(block + name + "/loop/backing_file") != path) continue;
        // The name is only where to look: the file there now must be the very one.
        struct stat info {};
        const auto device = ParseDeviceNumber(FirstLine(block + name + "/dev"));
        if (device && ::stat(path.c_str(), &info) == 0 && FileIdentity{info.st_dev, info.st_ino} == file)
            loops.push_back(*device);
    }
    return loops;
}

std::string BlockDevices::NameOf(dev_t device) const {
    std::ifstream uevent(Folder(device) + "/uevent");
    for (std::string line; std::getline(uevent, line);)
        if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8) return "/dev/" + line.substr(8);
    return "block device " + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::optional<FileIdentity> LoopBackingOfOpenDevice(int fd) {
    loop_info64 info {};
    if (::ioctl(fd, LOOP_GET_STATUS64, &info) != 0 || info.lo_inode == 0) return std::nullopt;
    return FileIdentity{static_cast<dev_t>(info.lo_device), static_cast<ino_t>(info.lo_inode)};
}

}  // namespace kelvara
