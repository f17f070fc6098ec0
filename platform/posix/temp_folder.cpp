#include "platform/posix/temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/posix_errors.h"
#include "platform/posix/unique_fd.h"

namespace kelvara {

bool EnsurePrivateFolder(const std::string& path, DWORD& error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Win32ErrorFromErrno(errno);
        return false;
    }
    // Opened without following a link, then checked and mended through that same descriptor, so
    // a link swapped in between cannot redirect us.
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder.valid() || ::fstat(folder.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    if ((info.st_mode & 07777) != 0700 && ::fchmod(folder.get(), 0700) != 0) {
        error = Win32ErrorFromErrno(errno);
        return false;
    }
    return true;
}

std::optional<std::string> PrivateTempFolder(DWORD& error) {
    // The user's choice of temporary folder comes first; whatever it is, a destination's check
    // keeps Kelvara's files off the card being read.
    if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') {
        std::string base = tmp;
        if (base.back() != '/') base += '/';
        const std::string folder = base + "kelvara-" + std::to_string(::geteuid());
        DWORD ignored = 0;
        if (EnsurePrivateFolder(folder, ignored)) return folder + "/";
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat info {};
        std::string base = runtime;
        if (::stat(base.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()) {
            if (base.back() != '/') base += '/';
            const std::string folder = base + "kelvara";
            DWORD ignored = 0;
            if (EnsurePrivateFolder(folder, ignored)) return folder + "/";
        }
    }
    const std::string folder = "/tmp/kelvara-" + std::to_string(::geteuid());
    if (!EnsurePrivateFolder(folder, error)) return std::nullopt;
    return folder + "/";
}

}  // namespace kelvara
