#pragma once
// Win32 attribute bits for what lstat reports.

#include <sys/stat.h>

#include "platform/win32_types.h"

namespace kelvara {

// A symbolic link is a reparse point, whatever it points at; a file the owner may not write
// is read-only; a plain file with nothing else to say is NORMAL.
DWORD FileAttributesOf(const struct stat& info);

}  // namespace kelvara
