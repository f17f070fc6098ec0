#pragma once
// Any window of the program in Win32: a modeless dialog whose controls are made from the core's
// layout table, shown as the core says, passing on the user's acts to the core. It decides
// nothing.

#include <map>
#include <memory>
#include <string>

#include "window/layout.h"
#include "window/view.h"
#include "window_win32/win32.h"

#include <commctrl.h>

namespace kelvara::win32 {

class Win32Toolkit;
struct Painted;
struct BrowserWindow;

class Win32Window final : public WindowView {
public:
    Win32Window(Win32Toolkit& toolkit, const WindowLayout& layout, WindowEvents& events, Win32Window* owner);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    HWND Control(int control) const;

    void Show() override;
    void Close() override;
    bool IsShown() const override { return shown_; }
    Point Position() override;
    Size OuterSize() override;
    void MoveTo(Point outerTopLeft) override;
    void Repaint() override;
    void SetText(int control, const std::string& text) override;
    void SetEnabled(int control, bool enabled) override;
    void SetVisible(int control, bool visible) override;
    void SetFocus(int control) override;
    void Place(int control, Rect rect) override;
    void SetPicture(int control, ImageListId list, int index) override;
    void SetEntries(int control, const std::vector<std::string>& entries, int selected) override;
    void SetEntryCount(int control, std::int64_t count) override;
    void SelectEntry(int control, std::int64_t row) override;
    void SetProgress(int control, int maximum, int value) override;
    void SetChecked(int control, bool checked) override;
    void HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size picture) override;
    void Navigate(int browser, const std::string& address) override;
    void ShowPictureFile(int browser, const std::string& path) override;
    void ShowDocument(int browser, const HelpDocument& document) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EntryListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
    static LRESULT CALLBACK FolderListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR self);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code, HWND control);
    void Notify(const NMHDR& header);
    void EntryChosen(int id, int row);

    void MakeControls();
    HWND Make(const ControlLayout& control);
    HWND MakeToolbar(const ControlLayout& control, RECT place);
    void OrderTabs();
    ControlKind KindOf(int control) const;
    bool IsToolbarButton(int control) const;
    BrowserWindow* Browser(int control) const;
    Painted* PaintedOf(HWND window) const;
    void HideForGood();

    Win32Toolkit& toolkit_;
    WindowLayout layout_;
    WindowEvents& events_;
    Win32Window* owner_;
    HWND hwnd_ = nullptr;
    bool shown_ = false;
    bool closed_ = false;
    bool placed_ = false;      // the core has said where the window goes
    bool making_ = true;       // the window and its controls are being made
    bool quiet_ = false;       // the view itself changes a control: its notifications are not the user's
    bool movedSincePress_ = false;  // the press on the entry list moved its selection, which has reported
    std::map<int, HWND> controls_;
    std::map<int, int> paneOf_;  // browser -> the pane that holds it
    std::map<HWND, std::unique_ptr<Painted>> painted_;
    std::map<int, std::unique_ptr<BrowserWindow>> browsers_;
    HWND toolbar_ = nullptr;
    int toolbarId_ = 0;  // the toolbar's buttons are toolbarId_ + 1 onwards
    HIMAGELIST toolbarPictures_ = nullptr;
    HWND tooltips_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace kelvara::win32
