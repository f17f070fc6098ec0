#pragma once
// Starting another program and leaving it to run on its own.

#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// Starts the program at posixPath in a session of its own, with no input and its output
// discarded, and does not wait for it; it is reaped when it ends, so it never lingers as a
// zombie. False with a Win32 error when it cannot be started.
bool LaunchDetached(const std::string& posixPath, DWORD& error);

}  // namespace kelvara
