#pragma once
// A fresh folder for one test, removed with everything in it when the test ends.

#include <cstdint>
#include <string>

namespace kelvara::testing {

class TempDir {
public:
    // Under /tmp.
    TempDir();
    // In memory (/dev/shm) when it has `bytes` free, else under /tmp. A large sparse card image
    // is read there at memory speed: on disk, every hole read costs the kernel a page it fills.
    explicit TempDir(std::uint64_t bytes);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    void Make(const std::string& base);

    std::string path_;
};

}  // namespace kelvara::testing
