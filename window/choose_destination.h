#pragma once
#include <functional>
#include <string>

#include "window/save_folder.h"
#include "window/toolkit.h"

namespace kelvara {

// Shows the destination dialog and yields until it sets ffdone or goes away; then sets ffdone
// back to false and returns Folder: the chosen folder, or kNoFolder when the user gave up.
std::string WaitForDestination(SaveFolder& dialog, std::string& Folder, bool& ffdone, Toolkit& toolkit,
                               const std::function<void()>& yield);

}  // namespace kelvara
