#pragma once
// The part of the registry the program reads: where the System Information tool lives. Here
// the key exists only when a system information program is installed on the PATH.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// The full path of the first known system information program found on the PATH.
std::optional<std::string> FindSystemInformationProgram(const std::string& pathVariable);

class SystemInfoRegistry {
public:
    LONG Open(HKEY root, const std::string& subKey, HKEY& result);
    LONG Query(HKEY key, const std::string& valueName, DWORD& type, std::span<std::uint8_t> data, DWORD& dataSize) const;
    LONG Close(HKEY key);

private:
    mutable std::mutex mutex_;
    std::map<HKEY, std::string> open_;  // key -> the program path its PATH value holds
    HKEY next_ = 0x1000;
};

}  // namespace kelvara
