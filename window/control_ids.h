#pragma once
// The number of every control of every window. The views create their controls under these
// numbers (the Win32 view as control IDs), and a test driving the real window finds them by it.
// 0 stands for the window itself (its title).

namespace kelvara::ids {

inline constexpr int kWindow = 0;

namespace frm_main {
enum : int {
    Toolbar1 = 100,  // its buttons are 101 to 113: Toolbar1 + the button's index
    cbxDrives = 120,
    btnSaveAll,
    btnSave,
    lstFiles,
    Progress,
    Frame1,
    lblSectors,
    Label6,
    lblSize,
    Label4,
    WB2,
    Image1,
    Label5,
    lblStatus,
    Label3,
    lblTotal,
    Label2,
    lblCurrent,
    Label1,
    picBox,
};
constexpr int ToolbarButton(int index) { return Toolbar1 + index; }
}  // namespace frm_main

namespace frm_options {
enum : int { Label1 = 200, txtPreFix, cmdOK, cmdCancel, chkCardNames };
}

namespace frm_about {
enum : int { Image2 = 300, Image1, Label1, lblVersion, lblDescription, Line1, cmdOK, cmdSysInfo };
}

namespace frm_browser {
enum : int { WB = 400 };
}

namespace save_folder {
enum : int { Drive1 = 500, Dir1, OKButton, CancelButton, btnNewFolder };
}

namespace frm_new_folder {
enum : int { Label1 = 600, Text1, Command1, Command2 };
}

}  // namespace kelvara::ids
