#include "platform/posix/raw_volume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/posix/posix_errors.h"

namespace kelvara {

RawVolume::RawVolume(VolumeSource source, UniqueFd fd, std::uint64_t length, dev_t device, ino_t inode, dev_t rdev)
    : source_(std::move(source)), fd_(std::move(fd)), length_(length), device_(device), inode_(inode), rdev_(rdev) {}

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISDIR(mode)) return "a folder";
    return "not a file that can be read";
}

bool HoldsVolume(mode_t mode) { return S_ISREG(mode) || S_ISBLK(mode); }

}  // namespace

std::optional<std::string> WhyNotAVolume(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || HoldsVolume(info.st_mode)) return std::nullopt;
    return path + " is " + KindOf(info.st_mode) + ": only a disk image file or a block device can be read as a card.";
}

std::optional<RawVolume> RawVolume::Open(const VolumeSource& source, DWORD& error) {
    struct stat info {};
    const bool found = ::stat(source.path.c_str(), &info) == 0;
    if (found && !HoldsVolume(info.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    // A file is opened non-blocking, so that a FIFO put in its place since the look above cannot
    // hang the open. A device is not: there it would mean "open even without a medium".
    const int wait = found && S_ISBLK(info.st_mode) ? 0 : O_NONBLOCK;
    UniqueFd fd(::open(source.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | wait));
    if (!fd.valid()) {
        error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    return Adopt(source, std::move(fd), error);
}

std::optional<RawVolume> RawVolume::Adopt(const VolumeSource& source, UniqueFd fd, DWORD& error) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error = Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    std::uint64_t fileBytes = 0;
    if (S_ISREG(info.st_mode)) {
        fileBytes = static_cast<std::uint64_t>(info.st_size);
    } else if (S_ISBLK(info.st_mode)) {
        const off_t end = ::lseek(fd.get(), 0, SEEK_END);
        if (end < 0) {
            error = Win32ErrorFromErrno(errno);
            return std::nullopt;
        }
        fileBytes = static_cast<std::uint64_t>(end);
    } else {
        error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    std::uint64_t length = 0;
    if (source.length) {
        length = *source.length;
    } else if (fileBytes > source.offset) {
        length = fileBytes - source.offset;
    }
    return RawVolume(source, std::move(fd), length, info.st_dev, info.st_ino, info.st_rdev);
}

ssize_t RawVolume::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    if (offset >= length_) return 0;
    const std::uint64_t wanted = std::min<std::uint64_t>(into.size(), length_ - offset);
    std::uint64_t done = 0;
    while (done < wanted) {
        const std::uint64_t at = source_.offset + offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted - done, std::numeric_limits<ssize_t>::max() / 2));
        const ssize_t got = ::pread(fd_.get(), into.data() + done, chunk, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) continue;
            if (done == 0) return -1;
            break;
        }
        if (got == 0) break;  // the file is shorter than the volume it should hold
        done += static_cast<std::uint64_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool RawVolume::ReadExact(std::uint64_t offset, std::span<std::uint8_t> into) const {
    const ssize_t got = ReadAt(offset, into);
    return got >= 0 && static_cast<std::size_t>(got) == into.size();
}

bool RawVolume::StillCurrent() const {
    struct stat info {};
    if (::stat(source_.path.c_str(), &info) != 0) return false;
    return info.st_dev == device_ && info.st_ino == inode_ && info.st_rdev == rdev_;
}

bool RawVolume::Stat(struct stat& info) const { return ::fstat(fd_.get(), &info) == 0; }

std::uint32_t RawVolume::DeviceSectorSize() const {
    int size = 0;
    if (rdev_ == 0 || ::ioctl(fd_.get(), BLKSSZGET, &size) != 0 || size <= 0) return 0;
    return static_cast<std::uint32_t>(size);
}

std::optional<FileIdentity> RawVolume::BackingFile() const {
    if (rdev_ == 0) return std::nullopt;  // a file, not a device
    return LoopBackingOfOpenDevice(fd_.get());
}

}  // namespace kelvara
