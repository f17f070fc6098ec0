#pragma once
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Why the last platform call failed, as the user reads it.
inline std::string LastErrorText(Platform& platform) {
    const DWORD error = platform.GetLastError();
    return error == 0 ? "The system gave no reason." : platform.FormatErrorMessage(error);
}

}  // namespace kelvara
