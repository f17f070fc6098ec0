// A passthrough FUSE file system for the command-line tests: MOUNTPOINT shows the folder named in
// the environment (KELVARA_MIRROR_TARGET), as bindfs or mergerfs would, and holds nothing of it
// open between calls, so nothing in the process tells where its files are kept.
//
//   KELVARA_MIRROR_TARGET=FOLDER kelvara-test-fuse-mirror MOUNTPOINT
//
// Runs in the foreground until it is sent SIGTERM, which unmounts it. Needs root and /dev/fuse.

#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string target;

std::string At(const char* path) { return target + path; }

int Result(int value) { return value < 0 ? -errno : value; }

int GetAttr(const char* path, struct stat* info, fuse_file_info*) { return Result(::lstat(At(path).c_str(), info)); }

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    DIR* folder = ::opendir(At(path).c_str());
    if (!folder) return -errno;
    while (const dirent* entry = ::readdir(folder)) fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags{});
    ::closedir(folder);
    return 0;
}

int MakeDir(const char* path, mode_t mode) { return Result(::mkdir(At(path).c_str(), mode)); }
int Unlink(const char* path) { return Result(::unlink(At(path).c_str())); }
int RemoveDir(const char* path) { return Result(::rmdir(At(path).c_str())); }

int Rename(const char* from, const char* to, unsigned int flags) {
    return Result(static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, At(from).c_str(), AT_FDCWD, At(to).c_str(), flags)));
}

int Open(const char* path, fuse_file_info* file) {
    const int fd = ::open(At(path).c_str(), file->flags | O_NOFOLLOW);
    if (fd < 0) return -errno;
    file->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* file) {
    const int fd = ::open(At(path).c_str(), file->flags | O_CREAT | O_NOFOLLOW, mode);
    if (fd < 0) return -errno;
    file->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    return Result(static_cast<int>(::pread(static_cast<int>(file->fh), buffer, size, offset)));
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    return Result(static_cast<int>(::pwrite(static_cast<int>(file->fh), buffer, size, offset)));
}

int Release(const char*, fuse_file_info* file) { return Result(::close(static_cast<int>(file->fh))); }

int Truncate(const char* path, off_t size, fuse_file_info* file) {
    return Result(file ? ::ftruncate(static_cast<int>(file->fh), size) : ::truncate(At(path).c_str(), size));
}

int Times(const char* path, const timespec times[2], fuse_file_info*) {
    return Result(::utimensat(AT_FDCWD, At(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int Chmod(const char* path, mode_t mode, fuse_file_info*) { return Result(::chmod(At(path).c_str(), mode)); }

}  // namespace

int main(int argc, char** argv) {
    const char* given = std::getenv("KELVARA_MIRROR_TARGET");
    if (argc != 2 || !given || given[0] != '/') {
        std::fprintf(stderr, "usage: KELVARA_MIRROR_TARGET=FOLDER %s MOUNTPOINT\n", argv[0]);
        return 2;
    }
    target = given;
    // Nothing inherited from whoever started it stays open: it holds only /dev/fuse.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    char* fuseArgs[] = {argv[0], argv[1], const_cast<char*>("-f"), const_cast<char*>("-s")};
    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.mkdir = MakeDir;
    operations.unlink = Unlink;
    operations.rmdir = RemoveDir;
    operations.rename = Rename;
    operations.open = Open;
    operations.create = Create;
    operations.read = Read;
    operations.write = Write;
    operations.release = Release;
    operations.truncate = Truncate;
    operations.utimens = Times;
    operations.chmod = Chmod;
    return fuse_main(4, fuseArgs, &operations, nullptr);
}
