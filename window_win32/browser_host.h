#pragma once
// The system's web-browser control, hosted in place in a window of ours: the few OLE site
// interfaces it needs, without ATL.

#include <string>

#include "window_win32/win32.h"

struct IOleObject;
struct IWebBrowser2;

namespace kelvara::win32 {

// Whether the browser control can show pages here: it needs an HTML engine, which Wine without
// its Gecko package lacks (the control is made, and every call succeeds, but nothing shows).
bool BrowserRenders();

class BrowserHost {
public:
    // The browser in place over the whole client area of `window`.
    explicit BrowserHost(HWND window);
    ~BrowserHost();
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;

    bool ok() const { return browser_ != nullptr; }
    // Loads a local file or an address; past every cache, as the preview's files keep their names.
    void Navigate(const std::string& address);
    // Fits the browser to the window's client area again.
    void Fit();

private:
    class Site;
    HWND window_;
    Site* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
};

}  // namespace kelvara::win32
