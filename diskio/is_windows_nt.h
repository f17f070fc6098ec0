#pragma once
#include "platform/platform.h"

namespace kelvara {

// True on the NT family. Any platform id but 2, including the 0 a failed call leaves,
// counts as the 9x family. Asked afresh on every call.
bool IsWindowsNT(Platform& platform);

}  // namespace kelvara
