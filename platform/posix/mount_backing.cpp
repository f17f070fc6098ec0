#include "platform/posix/mount_backing.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <iterator>

namespace kelvara {
namespace {

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Folder(std::string root) {
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

// The arguments a process was started with.
std::vector<std::string> Arguments(const std::string& procFolder) {
    std::ifstream in(procFolder + "/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find('\0', at);
        arguments.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return arguments;
}

// The files a FUSE program serving `mountPoint` was started with: a program whose arguments
// name the mount point, and every other argument of it that is a file or a device.
void AddFuseBackings(const std::string& mountPoint, const std::string& sysRoot, std::vector<Backing>& backings) {
    struct stat mounted {};
    const bool rootKnown = ::stat(mountPoint.c_str(), &mounted) == 0;
    const std::string proc = Folder(sysRoot) + "proc";
    DIR* processes = ::opendir(proc.c_str());
    if (!processes) return;
    while (const dirent* entry = ::readdir(processes)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string folder = proc + "/" + pid;
        const std::vector<std::string> arguments = Arguments(folder);
        const std::string cwd = folder + "/cwd/";
        auto resolved = [&](const std::string& argument) { return argument[0] == '/' ? argument : cwd + argument; };
        bool serves = false;
        for (const std::string& argument : arguments) {
            struct stat info {};
            if (argument.empty() || ::stat(resolved(argument).c_str(), &info) != 0) continue;
            // The mount point, seen from inside it, is the root of the FUSE file system.
            if (argument == mountPoint || (rootKnown && info.st_dev == mounted.st_dev && info.st_ino == mounted.st_ino))
                serves = true;
        }
        if (!serves) continue;
        for (const std::string& argument : arguments) {
            Backing backing;
            if (!argument.empty() && argument != mountPoint && BackingOfPath(resolved(argument), backing))
                backings.push_back(backing);
        }
    }
    ::closedir(processes);
}

}  // namespace

bool BackingOfPath(const std::string& path, Backing& backing) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    if (S_ISBLK(info.st_mode)) {
        backing = Backing{true, info.st_rdev, 0, 0};
        return true;
    }
    if (S_ISREG(info.st_mode)) {
        backing = Backing{false, 0, info.st_dev, info.st_ino};
        return true;
    }
    return false;
}

std::vector<Backing> MountBacking(dev_t device, const std::vector<MountEntry>& mounts, const std::string& sysRoot) {
    std::vector<Backing> backings{Backing{true, device, 0, 0}};
    // A loop device, or a partition of one, stores its blocks in a file.
    const std::string block = Folder(sysRoot) + "sys/dev/block/" + std::to_string(major(device)) + ":" +
                              std::to_string(minor(device));
    for (const std::string& loop : {block + "/loop/backing_file", block + "/../loop/backing_file"}) {
        Backing backing;
        if (const std::string file = FirstLine(loop); !file.empty() && BackingOfPath(file, backing)) backings.push_back(backing);
    }
    const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (const MountEntry& entry : mounts) {
        if (entry.devNumber != number) continue;
        Backing backing;
        if (!entry.source.empty() && entry.source[0] == '/' && BackingOfPath(entry.source, backing))
            backings.push_back(backing);
        if (entry.type.rfind("fuse", 0) == 0) AddFuseBackings(entry.mountPoint, sysRoot, backings);
    }
    return backings;
}

}  // namespace kelvara
