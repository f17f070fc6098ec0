#include "platform/posix/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/file_attributes.h"
#include "platform/posix/posix_errors.h"
#include "platform/wildcard.h"

namespace kelvara {

std::optional<std::vector<FindData>> FindMatchingFiles(const std::string& folder, const std::string& pattern,
                                                       DWORD& error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        error = Win32ErrorFromErrno(errno);
        ::close(fd);
        return std::nullopt;
    }
    std::vector<FindData> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !MatchesWildcard(pattern, name)) continue;
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        FindData data;
        data.cFileName = std::string(name);
        data.dwFileAttributes = FileAttributesOf(info);
        if (name.front() == '.') data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;  // what a dot means here
        data.nFileSize = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
        found.push_back(std::move(data));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) { return a.cFileName < b.cFileName; });
    return found;
}

}  // namespace kelvara
