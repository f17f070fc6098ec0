#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Creates `path` with the given disposition and writes `bytes` as its whole content. Returns
// nullopt when all of it reached the file, otherwise the reason; a file that was opened but
// not written whole is removed, so nothing half-written is left looking like a good file.
std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path,
                                          std::span<const std::uint8_t> bytes, DWORD creationDisposition);

}  // namespace kelvara
