#pragma once
// Makes the photos of a medium unrecoverable: the root folder's files deleted, then the
// free space filled with Wipe.img.

#include "platform/platform.h"
#include "scan/host.h"

namespace kelvara {

// The Disk Wipe command: nothing when the sector count is 0; one message and nothing else
// when the drive's root folder cannot be listed (no file system mounted); the question;
// "Wipeing"; the deletion; the fill, until done or the host asks to stop; "Ready". Goes on
// past every failure, but ends with one message when a root file could not be deleted,
// Wipe.img could not be made, less was written than the medium had free, or it was stopped.
// A wipe that did its job shows nothing.
void DiskWipe(Platform& platform, Host& host);

}  // namespace kelvara
