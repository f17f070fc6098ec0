#pragma once
// The sentence Windows gives for each error code the program meets, for the platforms that
// have no FormatMessage of their own to ask.

#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// "Access is denied." for ERROR_ACCESS_DENIED; "Unknown error N (0x...)." for a code not known here.
std::string Win32ErrorMessage(DWORD code);

}  // namespace kelvara
