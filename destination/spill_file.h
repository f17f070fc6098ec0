#pragma once
// The private file long lists spill into, in the temporary folder claimed like any destination:
// a TMPDIR on the card being read is never written.

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/private_temp_file.h"

namespace kelvara {

// A new, empty file in the temporary folder, with no name where the system allows (it goes when it
// is closed); nullptr, with `why` saying why for a user, when the folder is the card `sourceDrive`
// or no file can be made there.
std::unique_ptr<PrivateTempFile> OpenSpillFile(Platform& platform, const std::string& sourceDrive, std::string& why);

}  // namespace kelvara
