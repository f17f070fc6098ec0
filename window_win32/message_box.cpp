#include "window_win32/message_box.h"

#include <algorithm>
#include <vector>

namespace kelvara::win32 {
namespace {

constexpr int kTextId = 0xFFFF;  // the text's ID in a system message box
constexpr int kMargin = 12;
constexpr int kGap = 10;         // between the icon and the text, the text and the buttons
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kLongestLine = 420;  // a longer text wraps
constexpr UINT kRaise = WM_APP + 2;

struct Box {
    const Message* message;
    HWND owner;
    int titleWidth;
    HFONT font = nullptr;
};

HFONT MessageFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectA(&metrics.lfMessageFont);
}

SIZE TextSize(HFONT font, const std::string& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ before = SelectObject(dc, font);
    RECT area{0, 0, kLongestLine, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    return {area.right, area.bottom};
}

HWND Child(HWND box, const char* kind, const char* text, DWORD style, int id, RECT place, HFONT font) {
    HWND made = CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, box,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return made;
}

// Lays the box out from its text, then puts it over its owner (inside the work area).
void Lay(HWND box, Box& self) {
    const Message& message = *self.message;
    const bool warning = message.icon == Message::Icon::Warning;
    const int icon = warning ? GetSystemMetrics(SM_CXICON) : 0;
    const SIZE text = TextSize(self.font, message.text);
    const std::vector<std::pair<int, const char*>> buttons =
        message.buttons == Message::Buttons::YesNo ? std::vector<std::pair<int, const char*>>{{IDYES, "&Yes"}, {IDNO, "&No"}}
                                                   : std::vector<std::pair<int, const char*>>{{IDOK, "OK"}};
    const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
    const int textLeft = kMargin + (icon ? icon + kGap : 0);
    const int top = std::max<int>(text.cy, icon);

    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(box, GWL_STYLE));
    const DWORD extended = static_cast<DWORD>(GetWindowLongPtrA(box, GWL_EXSTYLE));
    int width = std::max<int>(textLeft + text.cx, buttonsWidth) + kMargin;
    const int height = kMargin + top + kGap + kButtonHeight + kMargin;
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, style, FALSE, extended);
    // Wide enough for the whole title beside the frame's buttons.
    if (outer.right - outer.left < self.titleWidth) {
        width += self.titleWidth - (outer.right - outer.left);
        outer.right = outer.left + self.titleWidth;
    }

    if (icon) {
        HWND picture = Child(box, "STATIC", "", SS_ICON, -1, {kMargin, kMargin, kMargin + icon, kMargin + icon}, self.font);
        SendMessageA(picture, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_WARNING)), 0);
    }
    const int textTop = kMargin + (top - text.cy) / 2;
    Child(box, "STATIC", message.text.c_str(), SS_LEFT | SS_NOPREFIX, kTextId,
          {textLeft, textTop, textLeft + text.cx, textTop + text.cy}, self.font);
    int left = (width - buttonsWidth) / 2;
    const int buttonTop = kMargin + top + kGap;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        Child(box, "BUTTON", buttons[i].second, WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
              buttons[i].first, {left, buttonTop, left + kButtonWidth, buttonTop + kButtonHeight}, self.font);
        left += kButtonWidth + kButtonGap;
    }
    SendMessageA(box, DM_SETDEFID, static_cast<WPARAM>(buttons.front().first), 0);
    // A question is answered by its buttons only: no close box.
    if (message.buttons == Message::Buttons::YesNo) EnableMenuItem(GetSystemMenu(box, FALSE), SC_CLOSE, MF_GRAYED);

    RECT area{}, over{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    if (!self.owner || !GetWindowRect(self.owner, &over)) over = area;
    const int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
    const int x = std::clamp<int>(over.left + (over.right - over.left - outerWidth) / 2, area.left,
                                  std::max<int>(area.left, area.right - outerWidth));
    const int y = std::clamp<int>(over.top + (over.bottom - over.top - outerHeight) / 2, area.top,
                                  std::max<int>(area.top, area.bottom - outerHeight));
    SetWindowPos(box, HWND_TOP, x, y, outerWidth, outerHeight, 0);
    SetWindowTextA(box, message.title.c_str());
    SetFocus(GetDlgItem(box, buttons.front().first));
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Box*>(GetWindowLongPtrA(box, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(box, DWLP_USER, lParam);
            Lay(box, *reinterpret_cast<Box*>(lParam));
            // Once shown: active, even where another of the program's windows is active now.
            PostMessageA(box, kRaise, 0, 0);
            return FALSE;  // the focus is on the default button
        case kRaise:
            SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetForegroundWindow(box);
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            // Escape and the close box answer a box with only OK; a question waits for its answer.
            if (id == IDCANCEL) {
                if (self && self->message->buttons == Message::Buttons::Ok) EndDialog(box, IDOK);
                return TRUE;
            }
            if (id == IDOK || id == IDYES || id == IDNO) EndDialog(box, id);
            return TRUE;
        }
        default: return FALSE;
    }
}

}  // namespace

bool ShowMessageBox(HWND owner, const Message& message, int titleWidth) {
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } empty{};
    empty.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    // Topmost while it is up: a window manager that keeps a new window under the active one (the
    // program's About, say) would hide it, and the scan waits for its answer.
    empty.dialog.dwExtendedStyle =
        WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | (owner ? 0u : static_cast<DWORD>(WS_EX_APPWINDOW));
    if (message.icon == Message::Icon::Warning) MessageBeep(MB_ICONWARNING);  // as the system's box sounds
    Box self{&message, owner, titleWidth, MessageFont()};
    const INT_PTR answer = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &empty.dialog, owner, BoxProc,
                                                   reinterpret_cast<LPARAM>(&self));
    DeleteObject(self.font);
    return message.buttons == Message::Buttons::Ok || answer == IDYES;
}

}  // namespace kelvara::win32
