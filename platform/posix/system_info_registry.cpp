#include "platform/posix/system_info_registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace kelvara {
namespace {

// Graphical tools that show the machine's hardware and system, best first.
constexpr const char* kPrograms[] = {"hardinfo2", "hardinfo", "kinfocenter", "lshw-gtk", "gnome-system-monitor"};

constexpr const char* kSystemInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> FindSystemInformationProgram(const std::string& pathVariable) {
    for (const char* program : kPrograms) {
        std::size_t start = 0;
        while (start <= pathVariable.size()) {
            const std::size_t end = std::min(pathVariable.find(':', start), pathVariable.size());
            const std::string folder = pathVariable.substr(start, end - start);
            start = end + 1;
            // An empty entry means the current folder; a tool is never looked for there.
            if (folder.empty() || folder[0] != '/') continue;
            const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + program;
            if (IsExecutableFile(candidate)) return candidate;
        }
    }
    return std::nullopt;
}

LONG SystemInfoRegistry::Open(HKEY root, const std::string& subKey, HKEY& result) {
    if (root != HKEY_LOCAL_MACHINE || !EqualsIgnoringCase(subKey, kSystemInfoKey)) return ERROR_FILE_NOT_FOUND;
    const char* path = std::getenv("PATH");
    const auto program = FindSystemInformationProgram(path ? path : "");
    if (!program) return ERROR_FILE_NOT_FOUND;
    std::lock_guard lock(mutex_);
    result = next_++;
    open_[result] = *program;
    return ERROR_SUCCESS;
}

LONG SystemInfoRegistry::Query(HKEY key, const std::string& valueName, DWORD& type, std::span<std::uint8_t> data,
                               DWORD& dataSize) const {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(key);
    if (found == open_.end()) return ERROR_INVALID_HANDLE;
    if (!EqualsIgnoringCase(valueName, "PATH")) return ERROR_FILE_NOT_FOUND;
    const std::string& text = found->second;
    const auto needed = static_cast<DWORD>(text.size() + 1);  // with its terminating NUL
    type = REG_SZ;
    dataSize = needed;
    if (data.size() < needed) return static_cast<LONG>(ERROR_MORE_DATA);
    std::memcpy(data.data(), text.c_str(), needed);
    return ERROR_SUCCESS;
}

LONG SystemInfoRegistry::Close(HKEY key) {
    std::lock_guard lock(mutex_);
    return open_.erase(key) != 0 ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

}  // namespace kelvara
