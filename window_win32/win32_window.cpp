#include "window_win32/win32_window.h"

#include <dbt.h>
#include <richedit.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "resources/pictures.h"
#include "window_win32/bitmap.h"
#include "window_win32/browser_host.h"
#include "window_win32/rich_text.h"
#include "window_win32/win32_toolkit.h"

namespace kelvara::win32 {

// What a picture window shows: a picture stretched over it, on a background.
struct Painted {
    Bitmap bitmap;
    bool white = false;  // a page's white; otherwise the window's own face
};

// The browser control's place: the browser hosted there, or in its stead the read-only text of
// a document.
struct BrowserWindow {
    HWND window = nullptr;
    std::unique_ptr<BrowserHost> host;
    HWND text = nullptr;
    RECT inset{};  // how far the text keeps from each edge: the part of the place its pane hides
};

namespace {

constexpr const char* kPictureClass = "KelvaraPicture";
constexpr const char* kBrowserClass = "KelvaraBrowser";
constexpr int kComboListHeight = 200;  // the drop-down list of a combo, below its box
constexpr int kSeparatorWidth = 8;
constexpr UINT kChosenLater = WM_APP + 1;  // an entry chosen: wParam the list, lParam the row

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Paints a picture window from the Painted its owner keeps for it.
LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* painted = reinterpret_cast<Painted*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND: return 1;  // painted whole below
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT area;
            GetClientRect(window, &area);
            FillRect(dc, &area, GetSysColorBrush(painted && painted->white ? COLOR_WINDOW : COLOR_BTNFACE));
            if (painted) painted->bitmap.Draw(dc, area);
            EndPaint(window, &paint);
            return 0;
        }
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Keeps what the browser's place holds filling it.
LRESULT CALLBACK BrowserProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* browser = reinterpret_cast<BrowserWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_SIZE && browser) {
        if (browser->host) browser->host->Fit();
        const RECT& inset = browser->inset;
        if (browser->text)
            MoveWindow(browser->text, inset.left, inset.top, LOWORD(lParam) - inset.left - inset.right,
                       HIWORD(lParam) - inset.top - inset.bottom, TRUE);
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, GetSysColorBrush(COLOR_WINDOW));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSA picture{};
        picture.style = CS_HREDRAW | CS_VREDRAW;
        picture.lpfnWndProc = PictureProc;
        picture.hInstance = Instance();
        picture.hCursor = LoadCursor(nullptr, IDC_ARROW);
        picture.lpszClassName = kPictureClass;
        RegisterClassA(&picture);
        WNDCLASSA browser = picture;
        browser.lpfnWndProc = BrowserProc;
        browser.lpszClassName = kBrowserClass;
        RegisterClassA(&browser);
        return true;
    }();
    (void)registered;
}

struct Styles {
    DWORD style;
    DWORD extended;
};

Styles StylesFor(WindowLayout::Border border, bool owned) {
    // Not clipping its children: a frame is one, and the window paints the face inside it.
    constexpr DWORD kCommon = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    switch (border) {
        case WindowLayout::Border::Fixed:
            return {kCommon | WS_BORDER, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT};
        case WindowLayout::Border::Dialog:
            return {kCommon | DS_MODALFRAME,
                    WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | (owned ? 0u : static_cast<DWORD>(WS_EX_APPWINDOW))};
        case WindowLayout::Border::Sizable: break;
    }
    return {kCommon | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT};
}

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

DWORD CALLBACK StreamOut(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* rest = reinterpret_cast<std::string*>(cookie);
    const auto count = std::min<std::size_t>(rest->size(), static_cast<std::size_t>(wanted));
    std::copy_n(rest->data(), count, buffer);
    rest->erase(0, count);
    *given = static_cast<LONG>(count);
    return 0;
}

}  // namespace

Win32Window::Win32Window(Win32Toolkit& toolkit, const WindowLayout& layout, WindowEvents& events, Win32Window* owner)
    : toolkit_(toolkit), layout_(layout), events_(events), owner_(owner) {
    RegisterClasses();
    const Styles styles = StylesFor(layout_.border, owner != nullptr);
    // An empty dialog: its controls are made from the layout, in pixels.
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } empty{};
    empty.dialog.style = styles.style;
    empty.dialog.dwExtendedStyle = styles.extended;
    CreateDialogIndirectParamA(Instance(), &empty.dialog, owner ? owner->hwnd() : nullptr, DialogProc,
                               reinterpret_cast<LPARAM>(this));
    if (!hwnd_) return;
    toolkit_.Made(hwnd_);
    SetWindowTextA(hwnd_, layout_.title.c_str());
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.Font(layout_.face)), FALSE);
    RECT outer{0, 0, layout_.client.width, layout_.client.height};
    AdjustWindowRectEx(&outer, styles.style, FALSE, styles.extended);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (layout_.icon) {
        bigIcon_ = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0));
        smallIcon_ = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0));
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    }
    MakeControls();
    if (const int button = layout_.DefaultButton()) SendMessageA(hwnd_, DM_SETDEFID, static_cast<WPARAM>(button), 0);
    making_ = false;
}

Win32Window::~Win32Window() {
    browsers_.clear();  // the browser controls let go of their windows first
    if (hwnd_) {
        HideForGood();
        DestroyWindow(hwnd_);
    }
    if (toolbarPictures_) ImageList_Destroy(toolbarPictures_);
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

HWND Win32Window::Control(int control) const {
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : found->second;
}

ControlKind Win32Window::KindOf(int control) const {
    const ControlLayout* placed = layout_.Find(control);
    return placed ? placed->kind : ControlKind::Label;
}

BrowserWindow* Win32Window::Browser(int control) const {
    const auto found = browsers_.find(control);
    return found == browsers_.end() ? nullptr : found->second.get();
}

Painted* Win32Window::PaintedOf(HWND window) const {
    const auto found = painted_.find(window);
    return found == painted_.end() ? nullptr : found->second.get();
}

// --- making the controls -------------------------------------------------------------------------

void Win32Window::MakeControls() {
    for (const ControlLayout& control : layout_.controls)
        if (HWND made = Make(control)) {
            controls_[control.id] = made;
            SendMessageA(made, WM_SETFONT,
                         reinterpret_cast<WPARAM>(control.flags & kBold ? toolkit_.BoldFont() : toolkit_.Font(layout_.face)),
                         FALSE);
        }
    OrderTabs();
    // A frame lies under the controls it holds and those whose edges reach into it.
    for (const ControlLayout& control : layout_.controls)
        if (control.kind == ControlKind::Frame)
            SetWindowPos(Control(control.id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND Win32Window::Make(const ControlLayout& control) {
    RECT place{control.rect.left, control.rect.top, control.rect.right(), control.rect.bottom()};
    // A control in a frame lies over it, in the window.
    if (const ControlLayout* frame = control.parent ? layout_.Find(control.parent) : nullptr)
        OffsetRect(&place, frame->rect.left, frame->rect.top);
    const bool tabStop = layout_.tabOrder.empty() || std::find(layout_.tabOrder.begin(), layout_.tabOrder.end(),
                                                                 control.id) != layout_.tabOrder.end();
    // Overlapping controls do not draw over those made before them: the combo's lower edge
    // reaches into the frame below it, the labels' into the picture.
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (tabStop ? WS_TABSTOP : 0u);
    const auto make = [&](DWORD extended, const char* windowClass, const std::string& text, DWORD style,
                          int extraHeight = 0) {
        return CreateWindowExA(extended, windowClass, text.c_str(), style, place.left, place.top,
                               place.right - place.left, place.bottom - place.top + extraHeight, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), Instance(), nullptr);
    };
    switch (control.kind) {
        case ControlKind::Toolbar: return MakeToolbar(control, place);
        case ControlKind::DropDownList:
            return make(0, WC_COMBOBOXA, "", child | CBS_DROPDOWNLIST | WS_VSCROLL, kComboListHeight);
        case ControlKind::Button:
            return make(0, WC_BUTTONA, control.caption,
                        child | (control.flags & kDefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
        case ControlKind::CheckBox: return make(0, WC_BUTTONA, control.caption, child | BS_AUTOCHECKBOX);
        case ControlKind::EntryList: {
            // A list that holds no text: it asks for each entry's text when it draws it.
            HWND list = make(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                             child | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_OWNERDATA | LVS_SHOWSELALWAYS);
            ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
            LVCOLUMNA column{};
            column.mask = LVCF_WIDTH;
            column.cx = place.right - place.left - GetSystemMetrics(SM_CXVSCROLL) - 4;
            SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
            SetWindowSubclass(list, EntryListProc, static_cast<UINT_PTR>(control.id), reinterpret_cast<DWORD_PTR>(this));
            return list;
        }
        case ControlKind::FolderList: {
            HWND list = make(WS_EX_CLIENTEDGE, WC_LISTBOXA, "", child | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL);
            if (control.flags & kEnterOpens)
                SetWindowSubclass(list, FolderListProc, static_cast<UINT_PTR>(control.id), reinterpret_cast<DWORD_PTR>(this));
            return list;
        }
        case ControlKind::ProgressBar: return make(0, PROGRESS_CLASSA, "", child | PBS_SMOOTH);
        case ControlKind::Frame: return make(0, WC_BUTTONA, "", (child & ~WS_TABSTOP) | BS_GROUPBOX);
        // A caption longer than its label runs on to the label's edge, on one line.
        case ControlKind::Label:
            return make(0, WC_STATICA, control.caption, (child & ~WS_TABSTOP) | SS_LEFTNOWORDWRAP | SS_NOPREFIX);
        case ControlKind::TextBox: {
            HWND box = make(WS_EX_CLIENTEDGE, WC_EDITA, control.caption, child | ES_AUTOHSCROLL);
            if (!control.tooltip.empty()) {
                if (!tooltips_)
                    tooltips_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(), nullptr);
                TTTOOLINFOA tool{};
                tool.cbSize = sizeof tool;
                tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
                tool.hwnd = hwnd_;
                tool.uId = reinterpret_cast<UINT_PTR>(box);
                tool.lpszText = const_cast<char*>(layout_.Find(control.id)->tooltip.c_str());
                SendMessageA(tooltips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
            }
            return box;
        }
        case ControlKind::Picture: {
            HWND picture = make(0, kPictureClass, "", child & ~WS_TABSTOP);
            auto& painted = painted_[picture] = std::make_unique<Painted>();
            SetWindowLongPtrA(picture, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(painted.get()));
            return picture;
        }
        case ControlKind::Browser: {
            HWND window = make(0, kBrowserClass, "", (child & ~WS_TABSTOP) | WS_CLIPCHILDREN);
            auto& browser = browsers_[control.id] = std::make_unique<BrowserWindow>();
            browser->window = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(browser.get()));
            return window;
        }
        case ControlKind::EtchedLine: return make(0, WC_STATICA, "", (child & ~WS_TABSTOP) | SS_ETCHEDHORZ);
    }
    return nullptr;
}

HWND Win32Window::MakeToolbar(const ControlLayout& control, RECT place) {
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                   WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                   place.left, place.top, place.right - place.left, place.bottom - place.top, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), Instance(), nullptr);
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    const int side = layout_.toolbarPictureSize;
    toolbarPictures_ = ImageList_Create(side, side, ILC_COLOR32, static_cast<int>(std::size(kImageList1)), 0);
    for (const PictureFile& picture : kImageList1) {
        Bitmap bitmap = ResourcePicture(std::string(picture.name) + ".png", side, side);
        ImageList_Add(toolbarPictures_, bitmap.handle(), nullptr);
    }
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarPictures_));
    std::vector<TBBUTTON> buttons;
    for (std::size_t i = 0; i < layout_.toolbar.size(); ++i) {
        const ToolbarItem& item = layout_.toolbar[i];
        TBBUTTON button{};
        button.idCommand = control.id + static_cast<int>(i) + 1;
        button.fsState = TBSTATE_ENABLED;
        if (item.caption) {
            button.iBitmap = item.picture - 1;
            button.fsStyle = BTNS_BUTTON;
            button.iString = reinterpret_cast<INT_PTR>(item.caption);
        } else {
            button.iBitmap = kSeparatorWidth;
            button.fsStyle = BTNS_SEP;
        }
        buttons.push_back(button);
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    const Size button = layout_.toolbarButtonSize;
    SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(button.width, button.height));
    SendMessageA(toolbar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(button.width, button.width));
    toolbar_ = toolbar;
    toolbarId_ = control.id;
    return toolbar;
}

// Tab visits the controls in the layout's order: the window's z-order is its tab order.
void Win32Window::OrderTabs() {
    HWND after = HWND_TOP;
    for (const int id : layout_.tabOrder)
        if (HWND control = Control(id)) {
            SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = control;
        }
}

// --- the window --------------------------------------------------------------------------------

void Win32Window::Show() {
    if (closed_ || !hwnd_) return;
    if (!placed_) {
        // Where the core gave no place: over the window it belongs to, or in the middle of the screen.
        RECT over{}, self{};
        if (owner_)
            GetWindowRect(owner_->hwnd(), &over);
        else
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &over, 0);
        GetWindowRect(hwnd_, &self);
        const int width = self.right - self.left, height = self.bottom - self.top;
        SetWindowPos(hwnd_, nullptr, std::max(0L, over.left + (over.right - over.left - width) / 2),
                     std::max(0L, over.top + (over.bottom - over.top - height) / 2), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    shown_ = true;
    toolkit_.Shown(hwnd_);
    if (HWND focus = Control(layout_.focus)) SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    RECT client;
    GetClientRect(hwnd_, &client);
    events_.Resized({client.right, client.bottom});
}

void Win32Window::HideForGood() {
    if (!shown_) return;
    shown_ = false;
    ShowWindow(hwnd_, SW_HIDE);
    toolkit_.Closed(hwnd_);
}

void Win32Window::Close() {
    closed_ = true;
    HideForGood();
}

Point Win32Window::Position() {
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    return {outer.left, outer.top};
}

Size Win32Window::OuterSize() {
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

void Win32Window::MoveTo(Point outerTopLeft) {
    placed_ = true;
    SetWindowPos(hwnd_, nullptr, outerTopLeft.x, outerTopLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Repaint() { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

// --- what the core shows -------------------------------------------------------------------------

void Win32Window::SetText(int control, const std::string& text) {
    HWND target = control == 0 ? hwnd_ : Control(control);
    if (!target) return;
    quiet_ = true;
    SetWindowTextA(target, text.c_str());
    quiet_ = false;
}

bool Win32Window::IsToolbarButton(int control) const {
    return toolbar_ && control > toolbarId_ && control <= toolbarId_ + static_cast<int>(layout_.toolbar.size());
}

void Win32Window::SetEnabled(int control, bool enabled) {
    if (IsToolbarButton(control))
        SendMessageA(toolbar_, TB_ENABLEBUTTON, static_cast<WPARAM>(control), MAKELPARAM(enabled ? TRUE : FALSE, 0));
    else if (HWND target = Control(control))
        EnableWindow(target, enabled);
}

void Win32Window::SetVisible(int control, bool visible) {
    if (HWND target = Control(control)) ShowWindow(target, visible ? SW_SHOW : SW_HIDE);
}

void Win32Window::SetFocus(int control) {
    if (HWND target = Control(control)) SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

void Win32Window::Place(int control, Rect rect) {
    if (HWND target = Control(control)) MoveWindow(target, rect.left, rect.top, rect.width, rect.height, TRUE);
}

void Win32Window::SetPicture(int control, ImageListId list, int index) {
    HWND target = Control(control);
    Painted* painted = PaintedOf(target);
    const PictureFile* picture = ListPicture(list, index);
    if (!painted || !picture) return;
    RECT area;
    GetClientRect(target, &area);
    painted->bitmap = ResourcePicture(std::string(picture->name) + ".png", area.right, area.bottom);
    InvalidateRect(target, nullptr, TRUE);
}

void Win32Window::SetEntries(int control, const std::vector<std::string>& entries, int selected) {
    HWND target = Control(control);
    if (!target) return;
    const bool combo = KindOf(control) == ControlKind::DropDownList;
    quiet_ = true;
    SendMessageA(target, WM_SETREDRAW, FALSE, 0);
    SendMessageA(target, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const std::string& entry : entries)
        SendMessageA(target, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SendMessageA(target, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    SendMessageA(target, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(target, nullptr, TRUE);
    quiet_ = false;
}

void Win32Window::SetEntryCount(int control, std::int64_t count) {
    if (HWND list = Control(control))
        SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(std::min<std::int64_t>(count, INT_MAX)), LVSICF_NOSCROLL);
}

void Win32Window::SelectEntry(int control, std::int64_t row) {
    HWND list = Control(control);
    if (!list) return;
    quiet_ = true;
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row >= 0 ? row : -1), reinterpret_cast<LPARAM>(&state));
    if (row >= 0) SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    quiet_ = false;
}

void Win32Window::SetChecked(int control, bool checked) {
    if (HWND box = Control(control)) SendMessageA(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Window::SetProgress(int control, int maximum, int value) {
    if (HWND bar = Control(control)) {
        SendMessageA(bar, PBM_SETRANGE32, 0, maximum);
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    }
}

void Win32Window::HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size) {
    HWND window = Control(browser);
    if (!window) return;
    // A picture box with the sunken border of a client edge, 2 pixels on each side; it clips its
    // children, and draws a picture itself where the browser cannot show the page.
    HWND box = CreateWindowExA(WS_EX_CLIENTEDGE, kPictureClass, "", WS_CHILD | WS_CLIPCHILDREN, paneRect.left,
                               paneRect.top, paneRect.width, paneRect.height, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(pane)), Instance(), nullptr);
    auto& painted = painted_[box] = std::make_unique<Painted>();
    painted->white = true;
    SetWindowLongPtrA(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(painted.get()));
    SetParent(window, box);
    MoveWindow(window, browserInPane.left, browserInPane.top, browserInPane.width, browserInPane.height, FALSE);
    controls_[pane] = box;
    paneOf_[browser] = pane;
}

void Win32Window::Navigate(int browser, const std::string& address) {
    BrowserWindow* place = Browser(browser);
    if (!place) return;
    if (!place->host) place->host = std::make_unique<BrowserHost>(place->window);
    ShowWindow(place->window, SW_SHOW);
    place->host->Navigate(address);
}

void Win32Window::ShowPictureFile(int browser, const std::string& path) {
    BrowserWindow* place = Browser(browser);
    if (!place) return;
    // Over the place the page would show: the pane's opening, where there is a pane.
    const auto pane = paneOf_.find(browser);
    HWND canvas = pane != paneOf_.end() ? Control(pane->second) : place->window;
    Painted* painted = PaintedOf(canvas);
    if (!painted) {
        painted_[canvas] = std::make_unique<Painted>();
        painted = PaintedOf(canvas);
    }
    if (canvas != place->window) ShowWindow(place->window, SW_HIDE);
    RECT area;
    GetClientRect(canvas, &area);
    painted->bitmap = FilePicture(path, area.right, area.bottom);
    InvalidateRect(canvas, nullptr, TRUE);
}

void Win32Window::ShowDocument(int browser, const HelpDocument& document) {
    BrowserWindow* place = Browser(browser);
    if (!place) return;
    if (!place->text) {
        // The rich-edit control of today, or the one before it.
        const char* richEdit = LoadLibraryA("msftedit.dll") ? "RICHEDIT50W" : (LoadLibraryA("riched20.dll"), RICHEDIT_CLASSA);
        RECT area;
        GetClientRect(place->window, &area);
        // In a pane, the words go inside what the pane shows of the place: the place reaches past
        // the pane's edges, where the page's own borders and scroll bars would be cut off.
        const auto pane = paneOf_.find(browser);
        if (HWND box = pane != paneOf_.end() ? Control(pane->second) : nullptr) {
            RECT seen;
            GetClientRect(box, &seen);
            MapWindowPoints(box, place->window, reinterpret_cast<POINT*>(&seen), 2);
            constexpr int kAbove = 4;  // the first line does not touch the pane's edge
            place->inset = {std::max(0L, seen.left), std::max(0L, seen.top) + kAbove, std::max(0L, area.right - seen.right),
                            std::max(0L, area.bottom - seen.bottom)};
        }
        const RECT& inset = place->inset;
        place->text = CreateWindowExA(0, richEdit, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                                      inset.left, inset.top, area.right - inset.left - inset.right,
                                      area.bottom - inset.top - inset.bottom, place->window, nullptr, Instance(), nullptr);
        constexpr int kMargin = 6;  // the words do not touch the edges
        SendMessageA(place->text, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(kMargin, kMargin));
    }
    ShowWindow(place->window, SW_SHOW);  // over a picture the pane drew before
    std::string rtf = RichText(document);
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&rtf);
    stream.pfnCallback = StreamOut;
    SendMessageA(place->text, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

// --- what the user does --------------------------------------------------------------------------

INT_PTR CALLBACK Win32Window::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Window*>(lParam);
        self->hwnd_ = window;
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return FALSE;  // the focus goes where the layout says, when the window shows
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    // While the window and its controls are being made, what they send is not the user's, and
    // the core does not yet hold this view.
    if (making_) return message == WM_DESTROY ? (toolkit_.Destroyed(hwnd_), FALSE) : FALSE;
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_NOTIFY: Notify(*reinterpret_cast<const NMHDR*>(lParam)); return TRUE;
        case WM_CLOSE:
            // The close box, Alt+F4 or the system menu: the core says whether the window goes.
            if (!closed_ && events_.CloseAsked()) {
                closed_ = true;
                HideForGood();
            }
            return TRUE;
        case WM_SIZE: events_.Resized({LOWORD(lParam), HIWORD(lParam)}); return TRUE;
        case WM_DEVICECHANGE:
            // A card put in or taken out (its volume came or went), or a reader plugged in.
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)
                events_.DrivesChanged();
            return FALSE;
        case kChosenLater: EntryChosen(static_cast<int>(wParam), static_cast<int>(lParam)); return TRUE;
        case WM_DESTROY: toolkit_.Destroyed(hwnd_); return FALSE;
        default: return FALSE;
    }
}

void Win32Window::Command(int id, int code, HWND control) {
    if (id == IDCANCEL && !control) {  // Escape
        if (const int cancel = layout_.CancelButton()) events_.Clicked(cancel);
        return;
    }
    if (id == IDOK && !control) return;  // Enter where there is no default button
    if (IsToolbarButton(id)) {
        events_.Clicked(id);
        return;
    }
    switch (KindOf(id)) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) events_.Clicked(id);
            break;
        case ControlKind::DropDownList:
            if (code == CBN_DROPDOWN) events_.DroppedDown(id);
            // A choice from the dropped list; or, with the list closed, one made by the arrow keys.
            if (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !SendMessageA(control, CB_GETDROPPEDSTATE, 0, 0)))
                events_.Chosen(id, SendMessageA(control, CB_GETCURSEL, 0, 0));
            break;
        case ControlKind::FolderList:
            if (quiet_) break;
            if (code == LBN_SELCHANGE) events_.Chosen(id, SendMessageA(control, LB_GETCURSEL, 0, 0));
            if (code == LBN_DBLCLK) events_.Opened(id, SendMessageA(control, LB_GETCURSEL, 0, 0));
            break;
        case ControlKind::TextBox:
            if (code == EN_CHANGE && !quiet_) events_.TextChanged(id, WindowText(control));
            break;
        default: break;
    }
}

void Win32Window::Notify(const NMHDR& header) {
    const int id = static_cast<int>(header.idFrom);
    if (KindOf(id) != ControlKind::EntryList) return;
    switch (header.code) {
        case LVN_GETDISPINFOA: {
            LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(&header))->item;
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
                const std::string text = events_.EntryText(id, item.iItem);
                const auto length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
                std::copy_n(text.data(), length, item.pszText);
                item.pszText[length] = '\0';
            }
            break;
        }
        case LVN_GETINFOTIPA: {
            auto& tip = *reinterpret_cast<NMLVGETINFOTIPA*>(const_cast<NMHDR*>(&header));
            if (!tip.pszText || tip.cchTextMax <= 0) break;
            const std::string text = events_.EntryTooltip(id, tip.iItem);
            const auto length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
            std::copy_n(text.data(), length, tip.pszText);
            tip.pszText[length] = '\0';
            break;
        }
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            const bool selected = (change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) &&
                                  !(change.uOldState & LVIS_SELECTED);
            if (!selected || change.iItem < 0) break;
            movedSincePress_ = true;
            if (!quiet_) PostMessageA(hwnd_, kChosenLater, static_cast<WPARAM>(id), change.iItem);
            break;
        }
        case NM_CLICK: {
            // A click on the entry already chosen chooses it again: the only way to show a lone
            // photo, or to retry one.
            const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
            if (click.iItem >= 0 && !movedSincePress_) PostMessageA(hwnd_, kChosenLater, static_cast<WPARAM>(id), click.iItem);
            break;
        }
        default: break;
    }
}

// The core hears of a choice in the entry list once the list has finished with the key or the
// click (and scrolled to it): a preview runs the event loop, where the next keys move the list
// on, and the list must not scroll back to the entry it was handling when they came.
void Win32Window::EntryChosen(int id, int row) {
    HWND list = Control(id);
    // Keys typed faster than photos preview: only the entry still selected is shown.
    if (list && SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == row) events_.Chosen(id, row);
}

LRESULT CALLBACK Win32Window::EntryListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR self) {
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        LVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        // A click below the last entry leaves the chosen entry chosen, as a list box does.
        if (SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0) {
            ::SetFocus(list);
            return 0;
        }
        reinterpret_cast<Win32Window*>(self)->movedSincePress_ = false;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

LRESULT CALLBACK Win32Window::FolderListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR self) {
    // Enter opens the highlighted folder here; it must not reach the dialog and press its default button.
    if (message == WM_GETDLGCODE && lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
        reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
        return DLGC_WANTALLKEYS | DefSubclassProc(list, message, wParam, lParam);
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        const LRESULT row = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (row >= 0) reinterpret_cast<Win32Window*>(self)->events_.Opened(static_cast<int>(id), row);
        return 0;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace kelvara::win32
