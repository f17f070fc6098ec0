#pragma once
// The help page's blocks as Rich Text, for the read-only rich-edit control that shows them where
// the browser cannot.

#include <string>

#include "window/help_document.h"

namespace kelvara::win32 {

std::string RichText(const HelpDocument& document);

}  // namespace kelvara::win32
