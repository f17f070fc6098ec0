#pragma once
// What the windows' core asks of the window system as a whole: views for its windows, modal
// message boxes, the event loop, the screen, and what the system's faces and browser can do.

#include <memory>
#include <string>

#include "window/geometry.h"
#include "window/layout.h"
#include "window/message.h"
#include "window/view.h"

namespace kelvara {

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // A view of `layout`, not yet shown, telling `events` what the user does. `owner` is the
    // window it belongs to (it stays above it), or nullptr for a window of its own.
    virtual std::unique_ptr<WindowView> MakeView(const WindowLayout& layout, WindowEvents& events,
                                                 WindowView* owner) = 0;

    // A modal message box over `owner` (nullptr: none); true for OK or Yes.
    virtual bool ShowMessage(WindowView* owner, const Message& message) = 0;

    // Handles the events that are waiting, and returns.
    virtual void ProcessEvents() = 0;
    // Rests until an event comes, or `milliseconds` have passed, then handles what came.
    virtual void WaitForEvents(int milliseconds) = 0;

    // The whole primary screen, and the part of it not taken by panels and task bars.
    virtual Rect Screen() = 0;
    virtual Rect WorkArea() = 0;

    // How wide `caption` is in the face of a window of this kind, and how wide a window must be
    // for its frame to show the whole of `title` beside its buttons.
    virtual int CaptionWidth(const std::string& caption, WindowLayout::Face face) = 0;
    virtual int TitleWidth(const std::string& title) = 0;

    // Whether the embedded browser shows pages here; where it does not, the preview and the
    // help window show their content another way.
    virtual bool BrowserRenders() = 0;
    // The help page carried by the program: its address for the browser, and its HTML.
    virtual std::string HelpPageAddress() = 0;
    virtual std::string HelpPageText() = 0;
};

}  // namespace kelvara
