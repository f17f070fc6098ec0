#pragma once
// The Win32 windows as the core sees them: a Win32Window for every window, the program's own
// message boxes, the thread's message loop (with the dialog keys of every window), the screen,
// the dialog face, and the system's web-browser control where it can show pages.

#include <set>

#include "window/toolkit.h"
#include "window_win32/win32.h"

namespace kelvara::win32 {

class Win32Toolkit final : public Toolkit {
public:
    Win32Toolkit();
    ~Win32Toolkit() override;

    // Runs the message loop until the last window of the program has closed.
    void Run();

    // A window of ours was made or destroyed, came on the screen or went off it for good.
    void Made(HWND window) { windows_.insert(window); }
    void Destroyed(HWND window);
    void Shown(HWND window) { shown_.insert(window); }
    void Closed(HWND window);

    // The face a window is drawn in, and the dialog face's bold.
    HFONT Font(WindowLayout::Face face) const { return face == WindowLayout::Face::Narrow ? narrowFont_ : font_; }
    HFONT BoldFont() const { return boldFont_; }

    std::unique_ptr<WindowView> MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) override;
    bool ShowMessage(WindowView* owner, const Message& message) override;
    void ProcessEvents() override;
    void WaitForEvents(int milliseconds) override;
    Rect Screen() override;
    Rect WorkArea() override;
    int CaptionWidth(const std::string& caption, WindowLayout::Face face) override;
    int TitleWidth(const std::string& title) override;
    bool BrowserRenders() override;
    std::string HelpPageAddress() override;
    std::string HelpPageText() override;

private:
    void Dispatch(MSG& message);

    std::set<HWND> windows_;  // every window of ours, for its dialog keys
    std::set<HWND> shown_;    // those on the screen; the program ends when none is left
    bool quit_ = false;
    HFONT font_ = nullptr;
    HFONT narrowFont_ = nullptr;
    HFONT boldFont_ = nullptr;
    int browserRenders_ = -1;  // not yet probed
};

}  // namespace kelvara::win32
