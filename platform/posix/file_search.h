#pragma once
// FindFirstFileA/FindNextFileA over one folder: the entries whose names match a pattern (see
// MatchesWildcard).

#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace kelvara {

// The entries of folder matching pattern, never "." and "..", in name order; attributes and
// sizes come from lstat, so a link is reported as itself. nullopt with a Win32 error when the
// folder cannot be listed.
std::optional<std::vector<FindData>> FindMatchingFiles(const std::string& folder, const std::string& pattern,
                                                       DWORD& error);

}  // namespace kelvara
