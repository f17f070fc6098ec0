#pragma once
// Reads one registry value as text.

#include <string>

#include "platform/platform.h"

namespace kelvara {

// Reads the value SubKeyRef of the key KeyName below KeyRoot into KeyVal. A text value comes
// back without one trailing zero byte; a 32-bit number as "&h" and its hexadecimal digits; any
// other type leaves KeyVal as it was. Returns false, with KeyVal empty, when the key cannot be
// opened or the value cannot be read (values over 1,024 bytes cannot).
bool GetKeyValue(Platform& platform, HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal);

}  // namespace kelvara
