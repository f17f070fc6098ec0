#pragma once
#include <functional>
#include <string>

#include "folder_dialogs/save_folder.h"
#include "platform/platform.h"

namespace kelvara {

// Opens the destination dialog modeless and yields until it sets ffdone; then sets ffdone
// back to false and returns Folder: the chosen folder, or kNoFolder when the user gave up.
std::string ChooseDestinationFolder(Platform& platform, std::string& Folder, bool& ffdone,
                                    const std::function<void()>& yield, QWidget* parent = nullptr);

}  // namespace kelvara
