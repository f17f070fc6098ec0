#pragma once
#include <functional>
#include <string>

#include "platform/platform.h"

class QWidget;

namespace kelvara {

// Opens the destination dialog modeless and yields until it sets ffdone; then sets ffdone
// back to false and returns Folder: the chosen folder, or "No" when the user gave up.
std::string ChooseDestinationFolder(Platform& platform, std::string& Folder, bool& ffdone,
                                    const std::function<void()>& yield, QWidget* parent = nullptr);

}  // namespace kelvara
