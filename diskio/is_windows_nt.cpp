#include "diskio/is_windows_nt.h"

#include <cstring>

namespace kelvara {

bool IsWindowsNT(Platform& platform) {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    std::memset(info.szCSDVersion, ' ', sizeof info.szCSDVersion);
    platform.GetVersionExA(info);  // a failed call leaves id 0, which reads as 9x
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace kelvara
