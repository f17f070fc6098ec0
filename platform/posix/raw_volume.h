#pragma once
// A volume opened for raw reading: a byte range of an image file or of a device node. It is
// only ever opened read-only; a recovery tool has no business writing to the card.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/posix/block_device.h"
#include "platform/posix/unique_fd.h"
#include "platform/win32_types.h"

namespace kelvara {

// Where a volume lives: bytes [offset, offset + length) of the file at path.
struct VolumeSource {
    std::string path;
    std::uint64_t offset = 0;
    std::optional<std::uint64_t> length;  // absent: up to the end of the file when it is opened

    bool operator==(const VolumeSource&) const = default;
};

// Why the file at path can hold no volume ("... is a named pipe (FIFO), ..."), for anything
// but a regular file or a block device; nullopt for those, and when nothing is there.
std::optional<std::string> WhyNotAVolume(const std::string& path);

class RawVolume {
public:
    // nullopt with a Win32 error when the file cannot be opened. Anything but a regular file or
    // a block device is refused before it is opened, and the open never waits: a FIFO would
    // block it until a writer came.
    static std::optional<RawVolume> Open(const VolumeSource& source, DWORD& error);
    // The same over a descriptor of source.path opened read-only by someone else.
    static std::optional<RawVolume> Adopt(const VolumeSource& source, UniqueFd fd, DWORD& error);

    const VolumeSource& source() const { return source_; }
    std::uint64_t length() const { return length_; }

    // Reads at a byte offset inside the volume, stopping at its end. Returns the bytes read
    // (fewer near the end or before an unreadable spot), or -1 with errno when nothing could be.
    ssize_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // True when all of `into` was read.
    bool ReadExact(std::uint64_t offset, std::span<std::uint8_t> into) const;

    // True while the path still names the file that was opened (a card swapped or an image
    // replaced makes it false).
    bool StillCurrent() const;
    // True for an image file, false for a device node.
    bool IsFile() const { return rdev_ == 0; }

    // The device node or image file it reads, as fstat tells of it.
    bool Stat(struct stat& info) const;
    // Where it reads a loop device, the file that device stores its blocks in.
    std::optional<FileIdentity> BackingFile() const;
    // A device's logical sector size, in which its partition table counts (512 or 4096); 0 for
    // a file, which does not say.
    std::uint32_t DeviceSectorSize() const;

private:
    RawVolume(VolumeSource source, UniqueFd fd, std::uint64_t length, dev_t device, ino_t inode, dev_t rdev);

    VolumeSource source_;
    UniqueFd fd_;
    std::uint64_t length_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    dev_t rdev_ = 0;
};

}  // namespace kelvara
