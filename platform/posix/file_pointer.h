#pragma once
// The arithmetic of SetFilePointer, shared by files and raw volumes.

#include <cstdint>
#include <optional>

#include "platform/win32_types.h"

namespace kelvara {

// The position a move lands on. With `high` the move is the signed 64-bit value high:low;
// without it, low alone, and the result must then fit 32 bits. nullopt with a Win32 error for
// a position before the start (ERROR_NEGATIVE_SEEK) or a bad method.
std::optional<std::int64_t> FilePointerTarget(std::int64_t current, std::int64_t end, LONG low, const LONG* high,
                                              DWORD moveMethod, DWORD& error);

}  // namespace kelvara
