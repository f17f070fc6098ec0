#include "platform/private_temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/unique_fd.h"

namespace kelvara {
namespace {

// Repeats a transfer that may move fewer bytes than asked until all have moved.
template <typename Bytes, typename Transfer>
bool Whole(Bytes bytes, std::uint64_t offset, Transfer transfer) {
    while (!bytes.empty()) {
        const ssize_t done = transfer(bytes, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(done));
        offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

class PosixTempFile final : public PrivateTempFile {
public:
    explicit PosixTempFile(UniqueFd fd) : fd_(std::move(fd)) {}

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        return Whole(bytes, offset, [this](auto part, off_t at) { return ::pwrite(fd_.get(), part.data(), part.size(), at); });
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        return Whole(bytes, offset, [this](auto part, off_t at) { return ::pread(fd_.get(), part.data(), part.size(), at); });
    }

private:
    UniqueFd fd_;
};

// A file without a name, where the system makes one; else a name that is removed at once. Mode
// 0600 either way, so nobody else can open it even in the moment it has a name.
UniqueFd Unnamed(const std::string& folder) {
#ifdef O_TMPFILE
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600));
    if (fd.valid()) return fd;
#endif
    std::string name = folder + "/kelvara-XXXXXX";
    UniqueFd named(::mkostemp(name.data(), O_CLOEXEC));
    if (named.valid()) ::unlink(name.c_str());
    return named;
}

}  // namespace

std::unique_ptr<PrivateTempFile> OpenPrivateTempFile() {
    const char* tmp = std::getenv("TMPDIR");
    for (const std::string& folder : {std::string(tmp && tmp[0] == '/' ? tmp : ""), std::string("/tmp")}) {
        if (folder.empty()) continue;
        if (UniqueFd fd = Unnamed(folder); fd.valid()) return std::make_unique<PosixTempFile>(std::move(fd));
    }
    return nullptr;
}

}  // namespace kelvara
