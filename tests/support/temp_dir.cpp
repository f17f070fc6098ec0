#include "tests/support/temp_dir.h"

#include <stdlib.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace kelvara::testing {

TempDir::TempDir() { Make("/tmp"); }

TempDir::TempDir(std::uint64_t bytes) {
    struct statvfs memory {};
    const bool room = ::statvfs("/dev/shm", &memory) == 0 && std::uint64_t{memory.f_bavail} * memory.f_frsize >= bytes;
    Make(room ? "/dev/shm" : "/tmp");
}

void TempDir::Make(const std::string& base) {
    const std::string name = base + "/kelvara-test-XXXXXX";
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    if (!::mkdtemp(text.data())) throw std::runtime_error("cannot make a temporary folder under " + base);
    path_ = text.data();
}

TempDir::~TempDir() {
    std::error_code ignored;  // remove_all never follows links out of the folder
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

}  // namespace kelvara::testing
