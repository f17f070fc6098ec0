#pragma once
// Loop devices and mounts for tests, undone when the object goes, also when the test fails
// (declare them after the TempDir that holds them, so they go first). Only root can make them;
// each says why when it could not.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvara::testing {

// A block device reading a file, attached with losetup.
class LoopDevice {
public:
    struct Options {
        bool readOnly = false;
        std::uint64_t offset = 0;     // bytes into the file
        std::uint64_t sizeLimit = 0;  // bytes; 0: to the file's end
        unsigned sectorSize = 0;      // 0: 512
        bool partitions = false;      // ask the kernel to scan its partition table
    };
    explicit LoopDevice(const std::string& file) : LoopDevice(file, Options{}) {}
    LoopDevice(const std::string& file, Options options);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    const std::string& device() const { return device_; }  // empty when it could not be attached
    const std::string& refusal() const { return refusal_; }

private:
    std::string device_, refusal_;
};

// A file system mounted at `dir` by a program (mount, fusefat, ...) run in `workingFolder`, so
// that its arguments may be relative; unmounted with the object, wherever it was moved.
class Mount {
public:
    Mount(const std::vector<std::string>& command, const std::string& dir, const std::string& workingFolder = {});
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool ok() const { return mounted_; }
    const std::string& refusal() const { return refusal_; }
    // The mount was moved (mount --move) to `dir`, or is gone: there it is undone, or not at all.
    void MovedTo(const std::string& dir) { dir_ = dir; }
    void Gone() { mounted_ = false; }

private:
    std::string dir_, refusal_;
    bool mounted_ = false;
};

// An image mounted with fusefat (read-write) for the life of the object; only root can mount.
class FuseFatMount {
public:
    FuseFatMount(const std::string& image, const std::string& dir);

    bool ok() const { return mount_ && mount_->ok(); }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::optional<Mount> mount_;
};

// Runs a command, no shell; the exit status and both streams.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& command, const std::string& workingFolder = {});

}  // namespace kelvara::testing
