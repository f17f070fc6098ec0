// Drives kelvara.exe as a second Win32 program would: starts it, finds its windows by their
// titles and its controls by their IDs, reads them with WM_GETTEXT and the list view's own
// messages, and acts with the messages a click or a choice sends. Run under Wine by
// scripts/test-windows; each check prints one line, and a failed check keeps a screenshot.
//
//   kelvara-window-driver tour PROGRAM DRIVE CLI_SCAN CLI_SAVED WORK SHOTS
//   kelvara-window-driver wipe PROGRAM DRIVE SHOTS
//   kelvara-window-driver close-mid-scan PROGRAM DRIVE SHOTS
//   kelvara-window-driver start PROGRAM SHOTS
//   kelvara-window-driver text TITLE ID     prints a control's text
//   kelvara-window-driver focus TITLE       prints the ID of the control with the focus
//   kelvara-window-driver button TITLE N    prints the screen centre of toolbar button N
//   kelvara-window-driver entry TITLE ID N  prints entry N of a list view
//   kelvara-window-driver item TITLE ID N   prints the screen centre of entry N of a list view
//   kelvara-window-driver rows TITLE ID     prints a list view's selected row, top row and rows shown
//   kelvara-window-driver combo TITLE ID    prints a combo's entries, the chosen one marked with *
//   kelvara-window-driver choose TITLE ID ENTRY  chooses a combo's entry as the user does
//   kelvara-window-driver press TITLE ID    presses a button (or toolbar button) by its message
//   kelvara-window-driver drives-changed TITLE  tells a window that a drive came, as the system does
//   kelvara-window-driver add-drive LETTER FOLDER DEVICE  makes a removable drive of Wine's (Unix paths)
//   kelvara-window-driver box TITLE         prints where a message box stands, over which window
//   kelvara-window-driver pane              prints the colours of the preview pane, where its words lie
//   kelvara-window-driver shot PATH         keeps a screenshot
//
// DRIVE is the card's drive ("E:\"), CLI_SCAN what `kelvara-cli scan DRIVE --quiet` printed,
// CLI_SAVED the folder `kelvara-cli save` wrote, WORK a folder of C: the window may write in,
// SHOTS where the screenshots go. The first four commands end with status 0 when every check
// passed.

#include <algorithm>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "window/control_ids.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <winioctl.h>

namespace {

using namespace kelvara::ids;

constexpr int kMessageText = 0xFFFF;  // the text of a message box
constexpr int kSeconds = 30;         // how long anything may take to show

std::string shots;  // where the screenshots go
PROCESS_INFORMATION program{};
int failures = 0;
int checks = 0;

// --- looking ----------------------------------------------------------------------------------

std::string TextOf(HWND window) {
    char text[4096] = "";
    DWORD_PTR got = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &got);
    return text;
}

// A visible top-level window of the program with this title; nullptr when there is none.
HWND Find(const std::string& title) {
    struct Search {
        std::string title;
        HWND found = nullptr;
    } search{title};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            // Any program's window when no program was started here (the queries of a script).
            if ((program.dwProcessId && process != program.dwProcessId) || !IsWindowVisible(window)) return TRUE;
            char text[256] = "";
            GetWindowTextA(window, text, sizeof text);
            if (search->title != text) return TRUE;
            search->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Wait(const std::function<bool()>& done, int seconds = kSeconds) {
    for (int waited = 0; waited < seconds * 20; ++waited) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

HWND WaitFor(const std::string& title, int seconds = kSeconds) {
    HWND found = nullptr;
    Wait([&] { return (found = Find(title)) != nullptr; }, seconds);
    return found;
}

std::string Text(HWND window, int control) { return TextOf(GetDlgItem(window, control)); }

// The message box now shown with this title: its text, and the box.
HWND Box(const std::string& title, std::string* text, int seconds = kSeconds) {
    HWND box = WaitFor(title, seconds);
    // FindWindow can find a dialog before its controls exist.
    if (box && text) Wait([&] { return GetDlgItem(box, kMessageText) != nullptr; }, 5), *text = Text(box, kMessageText);
    return box;
}

void Press(HWND window, int button) { PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// The text of entry `row` of a list view in the program: the item and its text live in the
// program's memory, where the list can write them.
std::string EntryText(HWND list, int row) {
    DWORD owner = 0;
    GetWindowThreadProcessId(list, &owner);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
    if (!process) return {};
    constexpr std::size_t kText = 260;
    auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kText, MEM_COMMIT, PAGE_READWRITE));
    LVITEMA item{};
    item.cchTextMax = kText;
    item.pszText = remote + sizeof item;
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                        SMTO_ABORTIFHUNG, 10000, &result);
    char text[kText + 1] = "";
    ReadProcessMemory(process, remote + sizeof item, text, kText, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return text;
}

// Selects entry `row` of a list view as a click would: the list tells its window.
void SelectEntry(HWND list, int row) {
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, program.dwProcessId);
    auto* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMA), MEM_COMMIT, PAGE_READWRITE);
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                        SMTO_ABORTIFHUNG, 60000, &result);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
}

// Chooses an entry of a combo box as the user does; the combo sends no word of it when told.
void Choose(HWND window, int control, int index) {
    HWND combo = GetDlgItem(window, control);
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(control, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
}

int ComboIndex(HWND window, int control, const std::string& entry) {
    return static_cast<int>(SendMessageA(GetDlgItem(window, control), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(entry.c_str())));
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// --- keeping what failed ----------------------------------------------------------------------

void Screenshot(const std::string& path) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, before);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info)};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

bool Check(bool passed, const std::string& what, std::string detail = {}) {
    ++checks;
    for (char& c : detail)
        if (c == '\r' || c == '\n') c = ' ';  // one line a check
    if (passed) {
        std::printf("ok    %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    } else {
        ++failures;
        std::string name = what.substr(0, 40);
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '-';
        const std::string shot = shots + "\\failed-" + std::to_string(failures) + "-" + name + ".bmp";
        Screenshot(shot);
        std::printf("FAIL  %s%s%s (screenshot %s)\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str(),
                    shot.c_str());
    }
    std::fflush(stdout);
    return passed;
}

// A picture of a moment worth looking at, kept beside the failures.
void Moment(const std::string& name) {
    Sleep(300);  // let the window finish drawing
    Screenshot(shots + "\\" + name + ".bmp");
}

// --- the program ------------------------------------------------------------------------------

HWND Start(const std::string& path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
        Check(false, "kelvara.exe starts", "CreateProcess failed, error " + std::to_string(GetLastError()));
        return nullptr;
    }
    HWND main = WaitFor("Kelvara - Tobrin");
    Check(main != nullptr, "its main window opens");
    if (main) Wait([&] { return Text(main, frm_main::lblStatus) == "Ready"; });
    return main;
}

bool Ended(int seconds) { return WaitForSingleObject(program.hProcess, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0; }

void Stop() {
    if (!program.hProcess) return;
    if (!Ended(0)) TerminateProcess(program.hProcess, 1);
    CloseHandle(program.hProcess);
    CloseHandle(program.hThread);
    program = {};
}

bool ChooseDrive(HWND main, const std::string& drive) {
    const int index = ComboIndex(main, frm_main::cbxDrives, drive);
    if (!Check(index > 0, "the drive list offers " + drive, "entries: " + std::to_string(SendMessageA(GetDlgItem(main, frm_main::cbxDrives), CB_GETCOUNT, 0, 0))))
        return false;
    Choose(main, frm_main::cbxDrives, index);
    return Wait([&] { return Text(main, frm_main::lblSectors) != "0"; }, 10);
}

// Presses Scan and answers its summary; the summary's text.
std::string Scan(HWND main) {
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(3), 0);
    std::string summary;
    if (HWND box = Box("Scan Complete", &summary, 120)) Press(box, IDOK);
    Wait([&] { return !Find("Scan Complete") && Text(main, frm_main::lblStatus) == "Ready"; });
    return summary;
}

std::vector<std::string> Entries(HWND main) {
    HWND list = GetDlgItem(main, frm_main::lstFiles);
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::string> entries;
    for (int row = 0; row < count; ++row) entries.push_back(EntryText(list, row));
    return entries;
}

// Answers the destination dialog: opens `folder` of C:\ (making it with New Folder when it is
// not there) and presses OK.
bool ChooseFolder(const std::string& folder, bool make) {
    HWND dialog = WaitFor("Select Destination Folder");
    if (!Check(dialog != nullptr, "the destination dialog opens")) return false;
    Wait([&] { return GetDlgItem(dialog, save_folder::Dir1) != nullptr; }, 5);
    Check(Text(dialog, save_folder::OKButton) == "OK" && Text(dialog, save_folder::btnNewFolder) == "New Folder",
          "it has OK, Cancel and New Folder");
    if (make) {
        Moment("save-folder");
        Press(dialog, save_folder::btnNewFolder);
        HWND form = WaitFor("Create new folder");
        if (!Check(form != nullptr, "New Folder opens Create new folder")) return false;
        Wait([&] { return GetDlgItem(form, frm_new_folder::Text1) != nullptr; }, 5);
        SendMessageA(GetDlgItem(form, frm_new_folder::Text1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
        Moment("new-folder");
        Press(form, frm_new_folder::Command1);
        Check(Wait([&] { return !Find("Create new folder"); }, 10), "Ok makes the folder and closes");
    }
    // The folder, one level below C:\, highlighted: by a click here, by its making there.
    HWND list = GetDlgItem(dialog, save_folder::Dir1);
    const std::string label = "  " + folder;
    LRESULT row = LB_ERR;
    Wait([&] {
        row = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(label.c_str()));
        return row >= 0;
    }, 10);
    if (!Check(row >= 0, "the folder list shows " + folder)) return false;
    if (!make) {
        SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(save_folder::Dir1, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    Check(Wait([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == row; }, 10), "the folder list highlights " + folder);
    Press(dialog, save_folder::OKButton);
    return Check(Wait([&] { return !Find("Select Destination Folder"); }, 10), "OK closes the destination dialog");
}

bool SameFiles(const std::string& expected, const std::string& got, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (ReadFile(expected + "\\" + name) != ReadFile(got + "\\" + name) || ReadFile(got + "\\" + name).empty())
            return Check(false, "the window saved " + name + " as kelvara-cli.exe did");
    return true;
}

// --- the tours -----------------------------------------------------------------------------------

int Tour(const std::string& path, const std::string& drive, const std::string& cliScan, const std::string& cliSaved,
         const std::string& work) {
    HWND main = Start(path);
    if (!main) return 1;
    Moment("main-start");
    Check(Text(main, frm_main::lblSectors) == "0" && Text(main, frm_main::Label1) == "Sector Current / Total",
          "it starts with no drive chosen");
    Check(IsWindowVisible(GetDlgItem(main, frm_main::Image1)) && !IsWindowVisible(GetDlgItem(main, frm_main::picBox)),
          "the guide picture shows, the preview pane is hidden");

    // The card's drive, and a scan that lists what the command line lists.
    if (!ChooseDrive(main, drive)) return 1;
    Check(Text(main, frm_main::lblSize) == std::to_string(std::stoll(Text(main, frm_main::lblSectors)) * 512),
          "the drive's size is its sectors times 512", Text(main, frm_main::lblSize));
    const std::string summary = Scan(main);
    const std::vector<std::string> expected = Lines(ReadFile(cliScan));
    Check(!expected.empty() && summary == expected.back(), "the scan's summary is the command line's", summary);
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) names.push_back(expected[i].substr(0, expected[i].find('\t')));
    const std::vector<std::string> listed = Entries(main);
    Check(!names.empty() && listed == names, "the list equals kelvara-cli.exe scan",
          std::to_string(listed.size()) + " entries, " + std::to_string(names.size()) + " expected");
    Check(Text(main, frm_main::lblTotal) == Text(main, frm_main::lblSectors), "the total is the drive's sectors");
    Moment("main-scanned");

    // A click on an entry writes the preview's two files and shows the pane.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    DeleteFileA((std::string(temp) + "TB.jpg").c_str());
    SelectEntry(GetDlgItem(main, frm_main::lstFiles), 0);
    Wait([&] { return IsWindowVisible(GetDlgItem(main, frm_main::picBox)) && Text(main, frm_main::lblStatus) == "Ready"; }, 20);
    const std::string picture = ReadFile(std::string(temp) + "TB.jpg");
    Check(!picture.empty() && picture == ReadFile(cliSaved + "\\" + names[0]), "a click makes TB.jpg, the saved photo's bytes");
    Check(ReadFile(std::string(temp) + "TB001.htm") == "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"" +
                                                         std::string(temp) + "TB.jpg\" width=\"256\" height=\"256\"></body>",
          "and TB001.htm, the one-line page");
    Check(IsWindowVisible(GetDlgItem(main, frm_main::picBox)) && !IsWindowVisible(GetDlgItem(main, frm_main::Image1)),
          "the pane shows the photo in the guide picture's place");
    Moment("main-preview");

    // Save All into a folder made with New Folder: the same files as kelvara-cli.exe save.
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(frm_main::btnSaveAll, BN_CLICKED), 0);
    if (ChooseFolder("KelvaraOut", true)) {
        Wait([&] { return Text(main, frm_main::lblStatus) == "Ready" && IsWindowEnabled(GetDlgItem(main, frm_main::btnSaveAll)); }, 60);
        if (SameFiles(cliSaved, work + "\\KelvaraOut", names)) Check(true, "Save All writes what kelvara-cli.exe save writes");
    }

    // Options' prefix names the next scan's entries.
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(5), 0);
    HWND options = WaitFor("Options");
    if (Check(options != nullptr, "Options opens")) {
        Wait([&] { return GetDlgItem(options, frm_options::txtPreFix) != nullptr; }, 5);
        Check(Text(options, frm_options::Label1) == "Image Prefix:", "it asks for the image prefix");
        SendMessageA(GetDlgItem(options, frm_options::txtPreFix), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Trip"));
        Moment("options");
        Press(options, frm_options::cmdOK);
        Check(Wait([&] { return !Find("Options"); }, 10), "OK closes it");
        Scan(main);
        const auto again = Entries(main);
        Check(!again.empty() && again[0].rfind("Trip001.", 0) == 0, "the next scan's entries carry the prefix",
              again.empty() ? "none" : again[0]);
    }

    // About, and its System Info: the tool starts, or the box says it cannot.
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(9), 0);
    HWND about = WaitFor("About Kelvara");
    if (Check(about != nullptr, "About opens")) {
        Wait([&] { return GetDlgItem(about, frm_about::lblVersion) != nullptr; }, 5);
        Check(Text(about, frm_about::lblVersion) == "Version 1.1.0" && Text(about, frm_about::Label1) == "Kelvara",
              "it shows the name and Version 1.1.0", Text(about, frm_about::lblVersion));
        Moment("about");
        Press(about, frm_about::cmdSysInfo);
        std::string said;
        HWND box = nullptr;
        HWND tool = nullptr;
        Wait([&] { return (box = Find("Kelvara")) != nullptr || (tool = Find("System Information")) != nullptr; }, 20);
        if (box) {
            Wait([&] { return GetDlgItem(box, kMessageText) != nullptr; }, 5);
            said = Text(box, kMessageText);
            Press(box, IDOK);
        }
        if (tool) PostMessageA(tool, WM_CLOSE, 0, 0);
        Check(tool != nullptr || said == "System Information Is Unavailable At This Time",
              "System Info starts the tool the registry names, or says it is unavailable", said);
        Check(Wait([&] { return !Find("Kelvara"); }, 10), "the message goes with OK");
        Press(about, frm_about::cmdOK);
        Check(Wait([&] { return !Find("About Kelvara"); }, 10), "OK closes About");
    }

    // Help: the page in the browser, or its text where the browser cannot show it.
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(7), 0);
    HWND help = WaitFor("Help - Tobrin");
    if (Check(help != nullptr, "Help opens")) {
        HWND place = nullptr;
        Wait([&] { return (place = GetDlgItem(help, frm_browser::WB)) != nullptr; }, 5);
        HWND text = FindWindowExA(place, nullptr, "RICHEDIT50W", nullptr);
        if (!text) text = FindWindowExA(place, nullptr, "RichEdit20A", nullptr);
        if (text) {
            const std::string shown = TextOf(text);
            Check(shown.find("Kelvara Quick Start") != std::string::npos && shown.find("Disk Wipe") != std::string::npos &&
                      shown.find("Explorer") != std::string::npos,
                  "without a browser engine it shows the page's text", shown.substr(0, 60));
        } else {
            Check(FindWindowExA(place, nullptr, nullptr, nullptr) != nullptr, "the browser shows the page");
        }
        Moment("help");
        SetWindowPos(help, nullptr, 0, 0, 640, 420, SWP_NOMOVE | SWP_NOZORDER);
        RECT client{}, browser{};
        Wait([&] {
            GetClientRect(help, &client);
            GetWindowRect(place, &browser);
            return browser.right - browser.left == client.right && browser.bottom - browser.top == client.bottom;
        }, 5);
        Check(browser.right - browser.left == client.right && browser.bottom - browser.top == client.bottom,
              "after a resize the browser fills the window");
        PostMessageA(help, WM_CLOSE, 0, 0);
        Check(Wait([&] { return !Find("Help - Tobrin"); }, 10), "the close box closes Help");
    }

    // Image Disk into the folder Save All made: TOBRN.IMG, the drive's counted sectors.
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(11), 0);
    if (ChooseFolder("KelvaraOut", false)) {
        std::string question;
        HWND box = Box("Make Image", &question);
        Check(question == "Make image at C:\\KelvaraOut\\", "Image Disk asks \"Make image at\" the folder", question);
        if (box) PostMessageA(box, WM_COMMAND, IDYES, 0);
        Wait([&] { return Text(main, frm_main::lblStatus) == "Ready" && IsWindowEnabled(GetDlgItem(main, frm_main::btnSave)); }, 120);
        const std::string image = ReadFile(work + "\\KelvaraOut\\TOBRN.IMG");
        Check(image.size() == std::stoull(Text(main, frm_main::lblSectors)) * 512, "TOBRN.IMG holds every counted sector",
              std::to_string(image.size()));
    }

    // Alt+F4's message: the window closes and, with nothing else open, the program ends.
    PostMessageA(main, WM_CLOSE, 0, 0);
    Check(Ended(15), "closing the main window ends the program");
    Stop();
    return failures ? 1 : 0;
}

int Wipe(const std::string& path, const std::string& drive) {
    HWND main = Start(path);
    if (!main || !ChooseDrive(main, drive)) return 1;
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(13), 0);
    std::string question;
    HWND box = Box("Confrim", &question);
    Check(question.find("Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible.         Are you sure") == 0,
          "Disk Wipe asks, in its own words", question);
    if (box) PostMessageA(box, WM_COMMAND, IDYES, 0);
    Wait([&] { return Text(main, frm_main::lblStatus) == "Wipeing"; }, 10);
    // A wipe that could not fill the drive says so at its end; one that did says nothing.
    Check(Wait([&] {
        return Find("Disk Wipe") || (Text(main, frm_main::lblStatus) == "Ready" && IsWindowEnabled(GetDlgItem(main, frm_main::btnSave)));
    }, 300), "the wipe runs to Ready");
    std::string said;
    if (HWND box = Find("Disk Wipe")) Wait([&] { return GetDlgItem(box, kMessageText) != nullptr; }, 5), said = Text(box, kMessageText), Press(box, IDOK);
    Check(said.empty(), "a wipe that did its job says nothing more", said);
    PostMessageA(main, WM_CLOSE, 0, 0);
    Check(Ended(15), "the program ends");
    Stop();
    return failures ? 1 : 0;
}

int CloseMidScan(const std::string& path, const std::string& drive) {
    HWND main = Start(path);
    if (!main || !ChooseDrive(main, drive)) return 1;
    const long long total = std::stoll(Text(main, frm_main::lblSectors));
    PostMessageA(main, WM_COMMAND, frm_main::ToolbarButton(3), 0);
    Check(Wait([&] { return Text(main, frm_main::lblStatus) == "Scaning. ." && !Text(main, frm_main::lblCurrent).empty(); }, 20),
          "the scan runs");
    const std::string current = Text(main, frm_main::lblCurrent);
    const DWORD closing = GetTickCount();
    PostMessageA(main, WM_CLOSE, 0, 0);
    const bool ended = Ended(10);
    Check(ended, "closing the window mid-scan ends the program",
          "at sector " + current + " of " + std::to_string(total));
    const DWORD took = GetTickCount() - closing;
    Check(ended && !current.empty() && std::stoll(current) < total, "it ended before the scan would have",
          std::to_string(took) + " ms after the close, at sector " + current + " of " + std::to_string(total));
    Stop();
    return failures ? 1 : 0;
}

int StartOnly(const std::string& path) {
    HWND main = Start(path);
    if (!main) return 1;
    Check(SendMessageA(GetDlgItem(main, frm_main::cbxDrives), CB_GETCOUNT, 0, 0) >= 1, "its drive list is there");
    PostMessageA(main, WM_CLOSE, 0, 0);
    Check(Ended(15), "it ends when its window closes");
    Stop();
    return failures ? 1 : 0;
}

}  // namespace

// The screen centre of toolbar button `index` of a window: the toolbar writes the button's place
// into the program's memory.
int Button(const std::string& title, int index) {
    HWND window = Find(title);
    HWND toolbar = window ? GetDlgItem(window, frm_main::Toolbar1) : nullptr;
    if (!toolbar) return 1;
    DWORD process = 0;
    GetWindowThreadProcessId(toolbar, &process);
    HANDLE handle = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, process);
    auto* remote = VirtualAllocEx(handle, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    SendMessageA(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index - 1), reinterpret_cast<LPARAM>(remote));
    RECT place{};
    ReadProcessMemory(handle, remote, &place, sizeof place, nullptr);
    VirtualFreeEx(handle, remote, 0, MEM_RELEASE);
    CloseHandle(handle);
    POINT centre{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    ClientToScreen(toolbar, &centre);
    std::printf("%ld %ld\n", centre.x, centre.y);
    return 0;
}

// The screen centre of entry `row` of a list view: the list writes the entry's place into the
// program's memory.
int Item(const std::string& title, int control, int row) {
    HWND window = Find(title);
    HWND list = window ? GetDlgItem(window, control) : nullptr;
    if (!list) return 1;
    DWORD process = 0;
    GetWindowThreadProcessId(list, &process);
    HANDLE handle = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    auto* remote = VirtualAllocEx(handle, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT place{LVIR_LABEL, 0, 0, 0};
    WriteProcessMemory(handle, remote, &place, sizeof place, nullptr);
    SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(handle, remote, &place, sizeof place, nullptr);
    VirtualFreeEx(handle, remote, 0, MEM_RELEASE);
    CloseHandle(handle);
    POINT centre{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    ClientToScreen(list, &centre);
    std::printf("%ld %ld\n", centre.x, centre.y);
    return 0;
}

// Where a message box stands: the title of the window that owns it, how far its centre is from
// that window's, whether it is the window seen at its centre, its outer size, and how far its
// first button's centre is from its own across.
int BoxPlace(const std::string& title) {
    HWND box = Find(title);
    if (!box) return 1;
    HWND owner = GetWindow(box, GW_OWNER);
    RECT outer{}, over{}, button{};
    GetWindowRect(box, &outer);
    if (owner) GetWindowRect(owner, &over);
    const POINT centre{(outer.left + outer.right) / 2, (outer.top + outer.bottom) / 2};
    HWND seen = WindowFromPoint(centre);
    HWND first = FindWindowExA(box, nullptr, "Button", nullptr);
    if (first) GetWindowRect(first, &button);
    char ownerTitle[256] = "";
    if (owner) GetWindowTextA(owner, ownerTitle, sizeof ownerTitle);
    std::printf("owner=%s offset=%ld,%ld front=%d size=%ldx%ld button=%ld\n", ownerTitle,
                centre.x - (over.left + over.right) / 2, centre.y - (over.top + over.bottom) / 2,
                seen && GetAncestor(seen, GA_ROOT) == box ? 1 : 0, outer.right - outer.left, outer.bottom - outer.top,
                (button.left + button.right) / 2 - centre.x);
    return 0;
}

// What the main window's preview pane shows: how many colours its picture has (a small GIF
// enlarged blockily keeps its few; smoothly, it gains the shades between them), and whether the
// words shown in its stead lie inside it.
int Pane() {
    HWND main = Find("Kelvara - Tobrin");
    HWND pane = main ? GetDlgItem(main, frm_main::picBox) : nullptr;
    if (!pane) return 1;
    RECT seen{};
    GetClientRect(pane, &seen);
    MapWindowPoints(pane, nullptr, reinterpret_cast<POINT*>(&seen), 2);
    const int width = seen.right - seen.left, height = seen.bottom - seen.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ before = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, seen.left, seen.top, SRCCOPY);
    SelectObject(memory, before);
    const auto* pixels = static_cast<const DWORD*>(bits);
    std::vector<DWORD> colours(pixels, pixels + static_cast<std::size_t>(width) * height);
    for (DWORD& colour : colours) colour &= 0xFFFFFF;
    std::sort(colours.begin(), colours.end());
    const auto count = std::unique(colours.begin(), colours.end()) - colours.begin();
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    HWND place = GetDlgItem(pane, frm_main::WB2);
    HWND text = place ? FindWindowExA(place, nullptr, "RICHEDIT50W", nullptr) : nullptr;
    RECT words{};
    if (text) GetWindowRect(text, &words);
    const bool inside = text && IsWindowVisible(text) && words.left >= seen.left && words.top >= seen.top &&
                        words.right <= seen.right && words.bottom <= seen.bottom;
    std::printf("colours=%ld words=%s\n", static_cast<long>(count), !text || !IsWindowVisible(text) ? "none" : inside ? "inside" : "outside");
    return 0;
}

// Makes LETTER a removable drive of Wine while programs run, as its own configuration tool does:
// Wine's mount manager links the letter to a folder (the volume) and a file (the raw device), and
// tells every window that a volume came.
int AddDrive(char letter, const std::string& folder, const std::string& device) {
    struct Drive {  // the mount manager's request
        ULONG size, type, fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset, deviceOffset, labelOffset;
    };
    constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    std::string request(sizeof(Drive), '\0');
    Drive drive{};
    drive.type = DRIVE_REMOVABLE;
    drive.letter = static_cast<WCHAR>(tolower(letter));
    drive.mountPointOffset = static_cast<USHORT>(request.size());
    request += folder + '\0';
    drive.deviceOffset = static_cast<USHORT>(request.size());
    request += device + '\0';
    drive.size = static_cast<ULONG>(request.size());
    std::copy_n(reinterpret_cast<const char*>(&drive), sizeof drive, request.data());
    HANDLE manager = CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return 1;
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(manager, kDefineUnixDrive, request.data(), drive.size, nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    if (!done) std::fprintf(stderr, "the mount manager refused: error %lu\n", GetLastError());
    return done ? 0 : 1;
}

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    const std::string command = arg(0);
    int status = 2;
    if (command == "tour" && args.size() == 7) {
        shots = arg(6);
        status = Tour(arg(1), arg(2), arg(3), arg(4), arg(5));
    } else if (command == "wipe" && args.size() == 4) {
        shots = arg(3);
        status = Wipe(arg(1), arg(2));
    } else if (command == "close-mid-scan" && args.size() == 4) {
        shots = arg(3);
        status = CloseMidScan(arg(1), arg(2));
    } else if (command == "start" && args.size() == 3) {
        shots = arg(2);
        status = StartOnly(arg(1));
    } else if (command == "text" && args.size() == 3) {
        HWND window = Find(arg(1));
        if (!window) return 1;
        std::printf("%s\n", Text(window, std::stoi(arg(2))).c_str());
        return 0;
    } else if (command == "focus" && args.size() == 2) {
        HWND window = Find(arg(1));
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!window || !GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return 1;
        std::printf("%d\n", info.hwndFocus && GetAncestor(info.hwndFocus, GA_ROOT) == window ? GetDlgCtrlID(info.hwndFocus) : -1);
        return 0;
    } else if (command == "entry" && args.size() == 4) {
        HWND window = Find(arg(1));
        if (!window) return 1;
        std::printf("%s\n", EntryText(GetDlgItem(window, std::stoi(arg(2))), std::stoi(arg(3))).c_str());
        return 0;
    } else if (command == "rows" && args.size() == 3) {
        HWND window = Find(arg(1));
        HWND list = window ? GetDlgItem(window, std::stoi(arg(2))) : nullptr;
        if (!list) return 1;
        std::printf("%d %d %d\n", static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)),
                    static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0)),
                    static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0)));
        return 0;
    } else if (command == "press" && args.size() == 3) {
        HWND window = Find(arg(1));
        if (!window) return 1;
        Press(window, std::stoi(arg(2)));
        return 0;
    } else if (command == "choose" && args.size() == 4) {
        HWND window = Find(arg(1));
        if (!window) return 1;
        const int control = std::stoi(arg(2));
        const int index = ComboIndex(window, control, arg(3));
        if (index < 0) return 1;
        Choose(window, control, index);
        return 0;
    } else if (command == "pane" && args.size() == 1) {
        return Pane();
    } else if (command == "box" && args.size() == 2) {
        return BoxPlace(arg(1));
    } else if (command == "add-drive" && args.size() == 4) {
        return AddDrive(arg(1)[0], arg(2), arg(3));
    } else if (command == "drives-changed" && args.size() == 2) {
        // As the system tells every window when a card's volume comes.
        HWND window = Find(arg(1));
        if (!window) return 1;
        DEV_BROADCAST_VOLUME volume{};
        volume.dbcv_size = sizeof volume;
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = GetLogicalDrives();
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume),
                            SMTO_ABORTIFHUNG, 10000, &result);
        return 0;
    } else if (command == "combo" && args.size() == 3) {
        HWND window = Find(arg(1));
        HWND combo = window ? GetDlgItem(window, std::stoi(arg(2))) : nullptr;
        if (!combo) return 1;
        const auto count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
        const auto chosen = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
        for (int i = 0; i < count; ++i) {
            // The wide message: the system copies its text between the programs.
            wchar_t entry[256] = L"";
            if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 255)
                SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
            std::printf("%s%ls\n", i == chosen ? "*" : "", entry);
        }
        return 0;
    } else if (command == "shot" && args.size() == 2) {
        Screenshot(arg(1));
        return 0;
    } else if (command == "item" && args.size() == 4) {
        return Item(arg(1), std::stoi(arg(2)), std::stoi(arg(3)));
    } else if (command == "button" && args.size() == 3) {
        return Button(arg(1), std::stoi(arg(2)));
    } else {
        std::fprintf(stderr, "usage: see the top of tests/windows/window_driver.cpp\n");
        return 2;
    }
    std::printf("%d checks, %d failed\n", checks, failures);
    return status;
}
