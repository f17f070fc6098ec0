#include "platform/posix/volume_opener.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/posix_errors.h"

namespace kelvara {

std::optional<RawVolume> VolumeOpener::Open(const VolumeSource& source, DWORD& error, std::string& reason) {
    auto volume = RawVolume::Open(source, error);
    if (volume || error != ERROR_ACCESS_DENIED) return volume;
    if (auto why = WhyNotAVolume(source.path)) {
        reason = *why;
        return std::nullopt;
    }
    struct stat now {};
    if (::stat(source.path.c_str(), &now) != 0) return std::nullopt;

    const std::string& path = source.path;
    std::lock_guard lock(mutex_);
    auto kept = handedOver_.find(path);
    if (kept != handedOver_.end() && (kept->second.device != now.st_dev || kept->second.inode != now.st_ino ||
                                      kept->second.rdev != now.st_rdev)) {
        handedOver_.erase(kept);  // another card, or another file, has taken the name
        kept = handedOver_.end();
    }
    if (kept == handedOver_.end()) {
        if (!udisks_) {
            reason = path + " may not be read by this user: run Kelvara as a member of the disk group, or as root.";
            return std::nullopt;
        }
        std::string refusal;
        UniqueFd fd = udisks_->OpenReadOnly(path, S_ISBLK(now.st_mode) ? now.st_rdev : 0, refusal);
        struct stat opened {};
        if (!fd.valid() || ::fstat(fd.get(), &opened) != 0) {
            if (refusal.empty()) refusal = "the descriptor the desktop's disk service sent cannot be used";
            reason = path + " may not be read by this user, and " + refusal +
                     "; run Kelvara as a member of the disk group, or allow access when asked.";
            return std::nullopt;
        }
        kept = handedOver_.emplace(path, HandedOver{std::move(fd), opened.st_dev, opened.st_ino, opened.st_rdev}).first;
    }
    UniqueFd copy(::fcntl(kept->second.fd.get(), F_DUPFD_CLOEXEC, 3));
    if (!copy.valid()) {
        error = Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    return RawVolume::Adopt(source, std::move(copy), error);
}

}  // namespace kelvara
