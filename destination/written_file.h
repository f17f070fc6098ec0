#pragma once
// Files written into the destination folder: always a new file of the name asked for, and
// never the card being recovered.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Opens a new file at `path` for writing, in place of whatever has that name. A link, or any
// other entry of the name, is removed and never followed, and the file is made anew, so nothing
// but the file named is written (a hard link's other names keep their content). Refused when the
// file of that name is the very file drive `sourceDrive` reads (its card image): that would
// destroy the card being recovered. Returns the handle, or INVALID_HANDLE_VALUE with `failure`
// saying why.
HANDLE CreateInPlaceOf(Platform& platform, const std::string& path, const std::string& sourceDrive,
                       std::string& failure);

// Hands out a file's content a piece at a time; an empty piece ends it. May throw.
using NextPiece = std::function<std::span<const std::uint8_t>()>;

// Content held in memory, as one piece.
NextPiece WholeContent(std::span<const std::uint8_t> bytes);

// Writes the pieces as the whole content of a new file at `path` (see CreateInPlaceOf). Returns
// nullopt when all of it reached the file, otherwise the reason; a file that was made but not
// written whole is removed, so nothing half-written is left looking like a good file. What
// `next` throws is thrown on, after the file is removed.
std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, const NextPiece& next,
                                          const std::string& sourceDrive = {});

}  // namespace kelvara
