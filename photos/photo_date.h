#pragma once
// When a found photo or clip was taken, as its own metadata says: the time its saved file is
// given, so that people's photo tools sort what came back by when it was taken.

#include <optional>

#include "formats/format_table.h"
#include "platform/platform.h"

namespace kelvara {

// The time of the file of this kind in `bytes` (its first byte first), as a file time: EXIF's
// DateTimeOriginal is the camera's local time, taken in the machine's time zone; a clip's
// creation time is UTC. nullopt where the format keeps no date, the file holds none, or holds
// one no clock could have set.
std::optional<FILETIME> PhotoFileTime(Platform& platform, FileKind kind, ByteSource& bytes);

// A civil date and time (UTC) as a file time; nullopt for one out of range.
std::optional<FILETIME> FileTimeOf(const SYSTEMTIME& utc);

}  // namespace kelvara
