#include "window/get_key_value.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace kelvara {
namespace {

// Query and set value, create sub-key, enumerate, notify, create link and read control. The
// write rights are asked for too, so a key the user may only read does not open.
constexpr DWORD kKeyAccess = 0x2003F;
constexpr DWORD kValueBufferSize = 1024;

// The number the value's bytes hold, least significant byte first as the registry keeps it.
std::string NumberText(const std::vector<std::uint8_t>& data, DWORD size) {
    std::uint32_t number = 0;
    for (DWORD i = std::min<DWORD>(size, 4); i-- > 0;) number = (number << 8) | data[i];
    char digits[9];
    std::snprintf(digits, sizeof digits, "%X", number);
    return std::string("&h") + digits;
}

}  // namespace

bool GetKeyValue(Platform& platform, HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal) {
    HKEY key = 0;
    if (platform.RegOpenKeyExA(KeyRoot, KeyName, 0, kKeyAccess, key) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    std::vector<std::uint8_t> data(kValueBufferSize, 0);
    DWORD type = 0;
    DWORD size = kValueBufferSize;
    if (platform.RegQueryValueExA(key, SubKeyRef, type, data, size) != ERROR_SUCCESS) {
        KeyVal.clear();
        platform.RegCloseKey(key);
        return false;
    }
    size = std::min(size, kValueBufferSize);  // a platform must not make us read past the buffer

    std::string text(data.begin(), data.begin() + size);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    if (type == REG_SZ) KeyVal = text;
    else if (type == REG_DWORD) KeyVal = NumberText(data, size);

    platform.RegCloseKey(key);
    return true;
}

}  // namespace kelvara
