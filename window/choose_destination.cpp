#include "window/choose_destination.h"

#include "window/yield_until.h"

namespace kelvara {

std::string WaitForDestination(SaveFolder& dialog, std::string& Folder, bool& ffdone, Toolkit& toolkit,
                               const std::function<void()>& yield) {
    dialog.Show();
    YieldUntil(toolkit, [&] { return ffdone || dialog.closed(); }, yield);
    // A dialog that went away without an answer was not an OK.
    if (!ffdone) Folder = kNoFolder;
    ffdone = false;
    return Folder;
}

}  // namespace kelvara
