#pragma once
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// The system's sentence for why the last platform call failed; nullopt when it gave no reason.
inline std::optional<std::string> LastErrorReason(Platform& platform) {
    const DWORD error = platform.GetLastError();
    if (error == 0) return std::nullopt;
    return platform.FormatErrorMessage(error);
}

// Why the last platform call failed, as the user reads it.
inline std::string LastErrorText(Platform& platform) {
    return LastErrorReason(platform).value_or("The system gave no reason.");
}

}  // namespace kelvara
