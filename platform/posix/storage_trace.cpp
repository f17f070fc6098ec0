#include "platform/posix/storage_trace.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/posix/fuse_servers.h"
#include "platform/posix/kernel_files.h"

namespace kelvara {
namespace {

std::string Slash(std::string root) {
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

std::string DeviceNumber(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

}  // namespace

bool StorageTrace::Holds(const StorageId& id) const {
    return std::any_of(ids.begin(), ids.end(), [&](const auto& entry) { return entry.first == id; });
}

std::optional<StorageMeeting> Meet(const StorageTrace& folder, const StorageTrace& volume) {
    for (const auto& [id, name] : volume.ids)
        if (folder.Holds(id)) return StorageMeeting{name, true};
    // What could not be traced may be the card as well as anything else.
    if (!folder.unknown.empty() && !volume.ids.empty()) return StorageMeeting{folder.unknown.front(), false};
    if (!folder.unknownWhileInUse.empty() && volume.inUse)
        return StorageMeeting{folder.unknownWhileInUse.front() + ", while the card is mounted or open in another program", false};
    return std::nullopt;
}

StorageTracer::StorageTracer(std::string sysRoot)
    : sysRoot_(Slash(std::move(sysRoot))), devices_(sysRoot_), mounts_(ReadMountTable(sysRoot_ + "proc/self/mountinfo")) {}

void StorageTracer::Begin(Direction direction) {
    direction_ = direction;
    trace_ = {};
    seen_.clear();
    fileSystemsSeen_.clear();
}

StorageTrace StorageTracer::WhatStoresFolder(const std::string& path) {
    Begin(Direction::Folder);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        AddFileSystem(info.st_dev, "the file system of " + path);
    else
        trace_.unknown.push_back(path + " cannot be looked at");
    return trace_;
}

StorageTrace StorageTracer::WhatHoldsVolume(const std::string& path) {
    Begin(Direction::Volume);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return trace_;
    if (S_ISBLK(info.st_mode)) {
        AddDevice(info.st_rdev, path);
    } else if (S_ISREG(info.st_mode)) {
        const FileIdentity file{info.st_dev, info.st_ino};
        AddFile(file, path);
        // The same bytes, presented as a disk.
        char real[PATH_MAX];
        if (::realpath(path.c_str(), real))
            for (const dev_t loop : devices_.LoopsBackedBy(file, real)) AddDevice(loop, devices_.NameOf(loop));
    }
    trace_.inUse = VolumeInUse();
    return trace_;
}

bool StorageTracer::VolumeInUse() const {
    // Mounted: by the kernel from one of its devices, or by a program given its file or device.
    for (const MountEntry& mount : mounts_) {
        for (const auto& [id, name] : trace_.ids)
            if (id.kind == StorageId::Kind::Device && mount.devNumber == DeviceNumber(id.device)) return true;
        struct stat source {};
        if (mount.source.empty() || mount.source[0] != '/' || ::stat(mount.source.c_str(), &source) != 0) continue;
        if (S_ISBLK(source.st_mode) && trace_.Holds(StorageId{StorageId::Kind::Device, source.st_rdev, 0})) return true;
        if (S_ISREG(source.st_mode) && trace_.Holds(StorageId{StorageId::Kind::File, source.st_dev, source.st_ino}))
            return true;
    }
    // Held open by another program: a FUSE server, a loop mount's helper, a viewer.
    const std::string proc = sysRoot_ + "proc";
    const std::string self = std::to_string(::getpid());
    for (const std::string& pid : FolderEntries(proc)) {
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        const std::string fds = proc + "/" + pid + "/fd";
        for (const std::string& fd : FolderEntries(fds)) {
            struct stat info {};
            if (::stat((fds + "/" + fd).c_str(), &info) != 0) continue;
            if (S_ISBLK(info.st_mode) && trace_.Holds(StorageId{StorageId::Kind::Device, info.st_rdev, 0})) return true;
            if (S_ISREG(info.st_mode) && trace_.Holds(StorageId{StorageId::Kind::File, info.st_dev, info.st_ino})) return true;
        }
    }
    return false;
}

bool StorageTracer::Add(const StorageId& id, const std::string& name) {
    if (!seen_.insert(id).second) return false;
    trace_.ids.emplace_back(id, name);
    return true;
}

void StorageTracer::AddDevice(dev_t device, const std::string& name) {
    if (!Add(StorageId{StorageId::Kind::Device, device, 0}, name)) return;
    if (const auto disk = devices_.DiskOf(device)) AddDevice(*disk, devices_.NameOf(*disk));
    for (const dev_t part : devices_.PartsOf(device)) AddDevice(part, devices_.NameOf(part));
    std::string backingName;
    if (const auto backing = devices_.LoopBacking(device, backingName)) AddFile(*backing, backingName);
}

void StorageTracer::AddFile(const FileIdentity& file, const std::string& name) {
    if (!Add(StorageId{StorageId::Kind::File, file.device, file.inode}, name)) return;
    // Writing into a file takes room on its file system; a card's image is only its own bytes.
    if (direction_ == Direction::Folder) AddFileSystem(file.device, "the file system holding " + name);
}

void StorageTracer::AddFileSystem(dev_t device, const std::string& name) {
    if (!fileSystemsSeen_.insert(device).second) return;
    AddDevice(device, devices_.NameOf(device).rfind("/dev/", 0) == 0 ? devices_.NameOf(device) : name);
    const std::string number = DeviceNumber(device);
    std::vector<std::string> mountPoints;
    const MountEntry* overlay = nullptr;
    const MountEntry* fuse = nullptr;
    for (const MountEntry& mount : mounts_) {
        if (mount.devNumber != number) continue;
        mountPoints.push_back(mount.mountPoint);
        if (mount.type == "overlay") overlay = &mount;
        if (mount.type == "fuse" || mount.type.rfind("fuse.", 0) == 0) fuse = &mount;
        // What it was mounted from, where that is a path: a device node, or an image a FUSE program was given.
        struct stat source {};
        if (mount.source.empty() || mount.source[0] != '/' || ::stat(mount.source.c_str(), &source) != 0) continue;
        if (S_ISBLK(source.st_mode)) AddDevice(source.st_rdev, mount.source);
        if (S_ISREG(source.st_mode)) AddFile(FileIdentity{source.st_dev, source.st_ino}, mount.source);
    }
    if (overlay) AddOverlay(*overlay);
    if (fuse) {
        const FuseServing serving = FilesServingFuse(device, mountPoints, sysRoot_);
        if (serving.serverUnseen)
            trace_.unknown.push_back("the program serving the FUSE file system at " + fuse->mountPoint +
                                     " cannot be looked at, so what it stores its files in is not known");
        // Only the mount itself, or files within it: nothing says where its files are kept.
        const bool namesStorage = std::any_of(serving.files.begin(), serving.files.end(), [&](const ServedFile& file) {
            return S_ISBLK(file.info.st_mode) || file.info.st_dev != device;
        });
        if (!serving.serverUnseen && !namesStorage)
            trace_.unknownWhileInUse.push_back("the program serving the FUSE file system at " + fuse->mountPoint +
                                               " holds nothing that tells where it keeps its files");
        for (const ServedFile& file : serving.files) {
            if (S_ISBLK(file.info.st_mode)) AddDevice(file.info.st_rdev, file.name);
            if (S_ISREG(file.info.st_mode)) AddFile(FileIdentity{file.info.st_dev, file.info.st_ino}, file.name);
            // A folder served from takes what is written on its own file system.
            if (S_ISDIR(file.info.st_mode)) AddFileSystem(file.info.st_dev, file.name);
        }
    }
}

void StorageTracer::AddOverlay(const MountEntry& mount) {
    // Writing into an overlay changes only its upper layer and its work folder; the lower ones
    // are only read.
    for (const char* option : {"upperdir", "workdir"}) {
        for (const std::string& folder : SuperOptionValues(mount, option)) {
            struct stat info {};
            if (!folder.empty() && folder[0] == '/' && ::stat(folder.c_str(), &info) == 0) {
                AddFileSystem(info.st_dev, folder);
                continue;
            }
            trace_.unknown.push_back("the overlay at " + mount.mountPoint + " keeps what is written into it in " + folder +
                                     (folder.empty() || folder[0] != '/'
                                          ? ", named from a folder that is not known"
                                          : ", which cannot be found"));
        }
    }
}

}  // namespace kelvara
