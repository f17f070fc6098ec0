#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Hands out a file's content a piece at a time; an empty piece ends it. May throw.
using NextPiece = std::function<std::span<const std::uint8_t>()>;

// Creates `path` with the given disposition and writes the pieces as its whole content.
// Returns nullopt when all of it reached the file, otherwise the reason; a file that was
// opened but not written whole is removed, so nothing half-written is left looking like a
// good file. What `next` throws is thrown on, after the file is removed.
std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, DWORD creationDisposition,
                                          const NextPiece& next);

// Content held in memory, as one piece.
NextPiece WholeContent(std::span<const std::uint8_t> bytes);

// The same for content held in memory.
std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path,
                                          std::span<const std::uint8_t> bytes, DWORD creationDisposition);

}  // namespace kelvara
