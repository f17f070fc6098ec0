#pragma once
// Private scratch files: the one long lists spill into, in the temporary folder claimed like any
// destination (a TMPDIR on the card being read is never written), and the one a save keeps a long
// photo's bytes in, in the folder it saves into.

#include <memory>
#include <string>

#include "destination/destination.h"
#include "platform/platform.h"
#include "platform/private_temp_file.h"

namespace kelvara {

// A new, empty file in the temporary folder, with no name where the system allows (it goes when it
// is closed); nullptr, with `why` saying why for a user, when the folder is the card `sourceDrive`
// or no file can be made there.
std::unique_ptr<PrivateTempFile> OpenSpillFile(Platform& platform, const std::string& sourceDrive, std::string& why);

// The same in a destination claimed already, its name starting `stem`.
std::unique_ptr<PrivateTempFile> OpenSpillFile(Destination& destination, const std::string& stem, std::string& why);

}  // namespace kelvara
