#pragma once
// The temporary folder GetTempPathA reports: private to the user, so nobody else can plant or
// read the preview files written there.

#include <optional>
#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// $TMPDIR/kelvara-<uid>/, else $XDG_RUNTIME_DIR/kelvara/ when that is usable, else /tmp/kelvara-<uid>/; made with mode 0700
// and checked to be a real folder of this user that nobody else may enter. Ends in "/".
// nullopt with a Win32 error when no such folder can be had.
std::optional<std::string> PrivateTempFolder(DWORD& error);

// Makes `path` a private folder of this user, or says why it cannot be one.
bool EnsurePrivateFolder(const std::string& path, DWORD& error);

}  // namespace kelvara
