#pragma once
// What the preview pane shows where the browser cannot show pages: the picture the page draws,
// or, where the preview made none (a clip, or a page that says why there is no picture), the
// page's own words.

#include <optional>
#include <string>

#include "platform/platform.h"
#include "window/help_document.h"

namespace kelvara {

struct PaneWithoutBrowser {
    std::optional<std::string> picture;  // TB.jpg's path, where the preview wrote one
    HelpDocument words;                  // otherwise what the page says
};

// From the files the preview just wrote into `tempFolder`, its page `pagePath` among them.
PaneWithoutBrowser PaneFromPreview(Platform& platform, const std::string& tempFolder, const std::string& pagePath);

}  // namespace kelvara
