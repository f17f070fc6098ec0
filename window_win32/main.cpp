// Kelvara on Windows: finds the photos on a camera's memory card by reading its raw sectors.
// The Win32 window: the windows' core on the Win32 view.

#include <exception>
#include <memory>

#include "platform/create_platform.h"
#include "window/frm_main.h"
#include "window/message.h"
#include "window_win32/win32_toolkit.h"

// After the program's own headers: <windows.h> turns names they declare into macros.
#include <commctrl.h>
#include <ole2.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The browser control and the picture decoder are COM objects of this thread.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES |
                                                       ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    int status = 0;
    {
        kelvara::win32::Win32Toolkit toolkit;
        try {
            const std::unique_ptr<kelvara::Platform> platform = kelvara::CreatePlatform({});
            kelvara::FrmMain window(*platform, toolkit);
            window.Show();
            toolkit.Run();
        } catch (const std::exception& error) {
            toolkit.ShowMessage(nullptr, kelvara::Message::Failure(error.what()));
            status = 1;
        }
    }
    OleUninitialize();
    return status;
}
