#include "platform/posix/fuse_servers.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/posix/kernel_files.h"

namespace kelvara {
namespace {

constexpr unsigned kFuseMajor = 10, kFuseMinor = 229;

bool IsNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string LinkText(const std::string& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::vector<std::string> Arguments(const std::string& process) {
    std::ifstream in(process + "/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::string argument;
    for (const char c : all) {
        if (c != '\0') {
            argument += c;
            continue;
        }
        if (!argument.empty()) arguments.push_back(argument);
        argument.clear();
    }
    if (!argument.empty()) arguments.push_back(argument);
    return arguments;
}

// The connection a /dev/fuse descriptor stands for, where the kernel says (it has since 6.x).
std::optional<unsigned long> Connection(const std::string& fdinfo) {
    std::ifstream in(fdinfo);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("fuse_connection:", 0) != 0) continue;
        try {
            return std::stoul(line.substr(16));
        } catch (...) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

struct Server {
    std::string process;  // its folder under proc/
    std::vector<unsigned long> connections;
    bool connectionUnknown = false;  // a descriptor of /dev/fuse the kernel says nothing of
};

std::vector<Server> FuseServers(const std::string& proc, dev_t fuseDevice) {
    std::vector<Server> servers;
    for (const std::string& pid : FolderEntries(proc)) {
        if (!IsNumber(pid)) continue;
        Server server{proc + "/" + pid, {}, false};
        bool serves = false;
        for (const std::string& fd : FolderEntries(server.process + "/fd")) {
            // Only device nodes can be /dev/fuse: the rest are not looked at, so no file system
            // of another process's files is asked anything here.
            const std::string path = server.process + "/fd/" + fd;
            if (LinkText(path).rfind("/dev/", 0) != 0) continue;
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || info.st_rdev != fuseDevice) continue;
            serves = true;
            if (const auto connection = Connection(server.process + "/fdinfo/" + fd))
                server.connections.push_back(*connection);
            else
                server.connectionUnknown = true;
        }
        if (serves) servers.push_back(std::move(server));
    }
    return servers;
}

std::string Resolved(const Server& server, const std::string& argument) {
    return argument[0] == '/' ? argument : server.process + "/cwd/" + argument;
}

bool NamesAMountPoint(const Server& server, const std::vector<struct stat>& mountPoints) {
    for (const std::string& argument : Arguments(server.process)) {
        struct stat info {};
        if (::stat(Resolved(server, argument).c_str(), &info) != 0) continue;
        for (const struct stat& point : mountPoints)
            if (info.st_dev == point.st_dev && info.st_ino == point.st_ino) return true;
    }
    return false;
}

// A file or a device served from, or a folder (as bindfs or gocryptfs serve one).
bool HoldsData(const struct stat& info) { return S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISDIR(info.st_mode); }

void AddFilesOf(const Server& server, std::vector<ServedFile>& files) {
    for (const std::string& fd : FolderEntries(server.process + "/fd")) {
        const std::string path = server.process + "/fd/" + fd;
        ServedFile file{LinkText(path), {}};
        // The descriptor itself is followed, so a file renamed or deleted since is still the one.
        if (::stat(path.c_str(), &file.info) == 0 && HoldsData(file.info)) files.push_back(file);
    }
    const std::vector<std::string> arguments = Arguments(server.process);
    // The program itself, its first argument, is not where it keeps anything.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        ServedFile file{argument, {}};
        if (::stat(Resolved(server, argument).c_str(), &file.info) == 0 && HoldsData(file.info)) files.push_back(file);
    }
}

}  // namespace

FuseServing FilesServingFuse(dev_t device, const std::vector<std::string>& mountPoints, const std::string& sysRoot) {
    const std::string root = sysRoot.empty() || sysRoot.back() != '/' ? sysRoot + "/" : sysRoot;
    struct stat fuse {};
    const dev_t fuseDevice =
        ::stat((root + "dev/fuse").c_str(), &fuse) == 0 && S_ISCHR(fuse.st_mode) ? fuse.st_rdev : makedev(kFuseMajor, kFuseMinor);
    const std::vector<Server> servers = FuseServers(root + "proc", fuseDevice);

    // The kernel numbers a connection after its file system's device, in its own encoding.
    const unsigned long connection = (static_cast<unsigned long>(major(device)) << 20) | minor(device);
    std::vector<const Server*> chosen;
    for (const Server& server : servers)
        if (std::find(server.connections.begin(), server.connections.end(), connection) != server.connections.end())
            chosen.push_back(&server);
    if (chosen.empty()) {
        std::vector<struct stat> points;
        for (const std::string& point : mountPoints) {
            struct stat info {};
            if (::stat(point.c_str(), &info) == 0 && info.st_dev == device) points.push_back(info);
        }
        std::vector<const Server*> undecided;
        for (const Server& server : servers)
            if (server.connectionUnknown) undecided.push_back(&server);
        for (const Server* server : undecided)
            if (NamesAMountPoint(*server, points)) chosen.push_back(server);
        if (chosen.empty()) chosen = undecided;  // none can be told: any of them may be it
    }
    FuseServing serving;
    serving.serverUnseen = chosen.empty();
    for (const Server* server : chosen) AddFilesOf(*server, serving.files);
    return serving;
}

}  // namespace kelvara
