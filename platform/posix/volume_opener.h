#pragma once
// Opens volumes for raw reading as far as this user may: directly, or, where the device is
// closed to the user, through the desktop's disk service, which hands over a read-only
// descriptor. A descriptor handed over is kept while its path still names the same device, so
// polkit asks once, not at every read.

#include <sys/types.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/posix/raw_volume.h"
#include "platform/posix/udisks.h"
#include "platform/posix/unique_fd.h"

namespace kelvara {

class VolumeOpener {
public:
    // udisks may be null: then only what the user may open himself is opened.
    explicit VolumeOpener(Udisks* udisks) : udisks_(udisks) {}

    // nullopt with a Win32 error and, where there is more to say than the code does, the
    // sentence a user reads: what the source is, or what to do to be let in.
    std::optional<RawVolume> Open(const VolumeSource& source, DWORD& error, std::string& reason);

private:
    struct HandedOver {
        UniqueFd fd;
        dev_t device = 0;
        ino_t inode = 0;
        dev_t rdev = 0;
    };

    Udisks* udisks_;
    std::mutex mutex_;  // guards handedOver_
    std::map<std::string, HandedOver> handedOver_;  // by path
};

}  // namespace kelvara
