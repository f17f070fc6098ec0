#include "window_win32/win32_toolkit.h"

#include <vector>

#include "window_win32/bitmap.h"
#include "window_win32/browser_host.h"
#include "window_win32/message_box.h"
#include "window_win32/win32_window.h"

namespace kelvara::win32 {
namespace {

constexpr const char* kHelpPage = "quickstart.htm";
constexpr int kTitleBarButtons = 120;  // pixels a window frame takes from its title: icon, buttons

// The layouts were drawn for the dialog face at 8 points, 11 pixels on a screen of 96 dots an
// inch. The main window, whose captions sit closest together, takes Arial (or a face of its
// measure), narrower than the dialog face of today.
HFONT MakeFont(const char* face, int weight) {
    return CreateFontA(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

bool Installed(const char* face) {
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExA(
        dc, &wanted, [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

const char* NarrowFace() {
    for (const char* face : {"Arial", "Liberation Sans", "Nimbus Sans"})
        if (Installed(face)) return face;
    return "MS Shell Dlg";
}

int TextWidth(HFONT font, const std::string& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ before = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

// The folder the program was started from, ending in a backslash.
std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string ProgramPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

}  // namespace

Win32Toolkit::Win32Toolkit()
    : font_(MakeFont("MS Shell Dlg", FW_NORMAL)),
      narrowFont_(MakeFont(NarrowFace(), FW_NORMAL)),
      boldFont_(MakeFont("MS Shell Dlg", FW_BOLD)) {}

Win32Toolkit::~Win32Toolkit() {
    DeleteObject(font_);
    DeleteObject(narrowFont_);
    DeleteObject(boldFont_);
}

void Win32Toolkit::Destroyed(HWND window) {
    windows_.erase(window);
    Closed(window);
}

void Win32Toolkit::Closed(HWND window) {
    if (!shown_.erase(window) || !shown_.empty()) return;
    // The last window has gone: the program ends once the loop that runs now returns.
    quit_ = true;
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Win32Toolkit::Dispatch(MSG& message) {
    // Tab, the arrows, Enter and Escape move and press within the window they were typed in.
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && windows_.count(root) && IsDialogMessageA(root, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void Win32Toolkit::Run() {
    MSG message;
    while (!quit_ && GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
}

void Win32Toolkit::ProcessEvents() {
    MSG message;
    while (!quit_ && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_ = true;
            break;
        }
        Dispatch(message);
    }
}

void Win32Toolkit::WaitForEvents(int milliseconds) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(milliseconds), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    ProcessEvents();
}

std::unique_ptr<WindowView> Win32Toolkit::MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) {
    return std::make_unique<Win32Window>(*this, layout, events, dynamic_cast<Win32Window*>(owner));
}

bool Win32Toolkit::ShowMessage(WindowView* owner, const Message& message) {
    auto* window = dynamic_cast<Win32Window*>(owner);
    HWND parent = window && window->IsShown() ? window->hwnd() : nullptr;
    // The box answers for the whole program, as the owner it disables: the other windows wait too.
    std::vector<HWND> waiting;
    for (HWND shown : shown_)
        if (shown != parent && IsWindowEnabled(shown)) {
            EnableWindow(shown, FALSE);
            waiting.push_back(shown);
        }
    const bool answer = ShowMessageBox(parent, message, TitleWidth(message.title));
    for (HWND shown : waiting)
        if (IsWindow(shown)) EnableWindow(shown, TRUE);
    return answer;
}

Rect Win32Toolkit::Screen() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Rect Win32Toolkit::WorkArea() {
    RECT area{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return Screen();
    return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

int Win32Toolkit::CaptionWidth(const std::string& caption, WindowLayout::Face face) {
    return TextWidth(Font(face), caption);
}

int Win32Toolkit::TitleWidth(const std::string& title) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    // Titles are drawn bold, by the system or by the window manager that frames the window.
    metrics.lfCaptionFont.lfWeight = FW_BOLD;
    HFONT caption = CreateFontIndirectA(&metrics.lfCaptionFont);
    const int text = TextWidth(caption, title);
    DeleteObject(caption);
    return text + kTitleBarButtons;
}

bool Win32Toolkit::BrowserRenders() {
    if (browserRenders_ < 0) browserRenders_ = win32::BrowserRenders() ? 1 : 0;
    return browserRenders_ == 1;
}

// The page installed beside the program, or else the one it carries, by the res: protocol.
std::string Win32Toolkit::HelpPageAddress() {
    const std::string installed = ProgramFolder() + "help\\" + kHelpPage;
    if (GetFileAttributesA(installed.c_str()) != INVALID_FILE_ATTRIBUTES) return installed;
    return "res://" + ProgramPath() + "/" + kHelpPage;
}

std::string Win32Toolkit::HelpPageText() { return ResourceBytes(kHelpPage); }

}  // namespace kelvara::win32
