#include "window/control_ids.h"
#include "window/layout.h"

namespace kelvara {

const ControlLayout* WindowLayout::Find(int id) const {
    for (const ControlLayout& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

ControlLayout* WindowLayout::Find(int id) {
    return const_cast<ControlLayout*>(static_cast<const WindowLayout&>(*this).Find(id));
}

int WindowLayout::DefaultButton() const {
    for (const ControlLayout& control : controls)
        if (control.flags & kDefaultButton) return control.id;
    return 0;
}

int WindowLayout::CancelButton() const {
    for (const ControlLayout& control : controls)
        if (control.flags & kCancelButton) return control.id;
    return 0;
}

WindowLayout MainWindowLayout() {
    using namespace ids::frm_main;
    using K = ControlKind;
    WindowLayout layout;
    layout.title = "Kelvara - Tobrin";
    layout.client = {443, 385};
    layout.border = WindowLayout::Border::Fixed;
    layout.face = WindowLayout::Face::Narrow;
    layout.icon = true;
    // In pixels, in their order of creation; the four labels of Frame1 from the frame's corner.
    layout.controls = {
        {Toolbar1, "Toolbar1", K::Toolbar, {0, 0, 443, 74}},
        {cbxDrives, "cbxDrives", K::DropDownList, {8, 128, 169, 21}},
        {btnSaveAll, "btnSaveAll", K::Button, {96, 352, 81, 25}, "Save All"},
        {btnSave, "btnSave", K::Button, {8, 352, 81, 25}, "Save"},
        {lstFiles, "lstFiles", K::EntryList, {8, 224, 169, 121}},
        {Progress, "Progress", K::ProgressBar, {8, 80, 425, 17}},
        {Frame1, "Frame1", K::Frame, {8, 144, 169, 57}},
        {lblSectors, "lblSectors", K::Label, {56, 32, 105, 17}, "0", Frame1},
        {Label6, "Label6", K::Label, {8, 32, 49, 17}, "Sectors:", Frame1},
        {lblSize, "lblSize", K::Label, {56, 16, 105, 17}, "", Frame1},
        {Label4, "Label4", K::Label, {8, 16, 33, 17}, "Size:", Frame1},
        {WB2, "WB2", K::Browser, {184, 120, 272, 272}},
        {Image1, "Image1", K::Picture, {184, 120, 256, 256}},
        {Label5, "Label5", K::Label, {16, 208, 161, 17}, "Files Found:"},
        {lblStatus, "lblStatus", K::Label, {376, 104, 57, 17}, ""},
        {Label3, "Label3", K::Label, {336, 104, 33, 17}, "Status:"},
        {lblTotal, "lblTotal", K::Label, {240, 104, 89, 17}, ""},
        {Label2, "Label2", K::Label, {224, 104, 9, 17}, "/"},
        {lblCurrent, "lblCurrent", K::Label, {128, 104, 89, 17}, ""},
        {Label1, "Label1", K::Label, {8, 104, 113, 17}, "Sector Current / Total"},
    };
    layout.toolbar = {{nullptr, 0}, {nullptr, 0}, {"Scan", 1},       {nullptr, 0}, {"Options", 2},
                      {nullptr, 0}, {"Help", 3},  {nullptr, 0},      {"About", 4}, {nullptr, 0},
                      {"Image Disk", 5}, {nullptr, 0}, {"Disk Wipe", 6}};
    layout.toolbarButtonSize = {59, 68};
    layout.toolbarPictureSize = 48;
    layout.focus = cbxDrives;
    return layout;
}

WindowLayout OptionsLayout() {
    using namespace ids::frm_options;
    using K = ControlKind;
    WindowLayout layout;
    layout.title = "Options";
    layout.client = TwipsSize(4140, 1560);
    layout.controls = {
        {Label1, "Label1", K::Label, TwipsRect(120, 240, 975, 255), "Image Prefix:"},
        {txtPreFix, "txtPreFix", K::TextBox, TwipsRect(1200, 240, 2775, 285), "", 0, 0,
         "Changes the name of the recovered files"},
        {chkCardNames, "chkCardNames", K::CheckBox, TwipsRect(120, 660, 3855, 285), "Use the card's own names where known",
         0, 0, "Saves each photo in its folder under its name on the card, where the card's folders still know it"},
        // Enter keeps what was typed, wherever the focus is; Escape cancels.
        {cmdOK, "cmdOK", K::Button, TwipsRect(1800, 1095, 1095, 375), "OK", 0, kDefaultButton},
        {cmdCancel, "cmdCancel", K::Button, TwipsRect(3000, 1095, 1095, 375), "Cancel", 0, kCancelButton},
    };
    layout.tabOrder = {cmdOK, cmdCancel, txtPreFix, chkCardNames};
    layout.focus = cmdOK;
    return layout;
}

WindowLayout AboutLayout() {
    using namespace ids::frm_about;
    using K = ControlKind;
    WindowLayout layout;
    layout.title = "About Kelvara";
    layout.client = TwipsSize(5565, 2295);
    layout.controls = {
        {Image2, "Image2", K::Picture, TwipsRect(120, 120, 855, 855)},
        {Image1, "Image1", K::Picture, TwipsRect(120, 1320, 3975, 855)},
        {Label1, "Label1", K::Label, TwipsRect(1080, 240, 3855, 255), "Kelvara", 0, kBold},
        {lblVersion, "lblVersion", K::Label, TwipsRect(1080, 480, 3885, 225), "Version 1.1"},
        {lblDescription, "lblDescription", K::Label, TwipsRect(1080, 720, 3885, 330),
         "Fast, Easy Recovery or your Digital media" + std::string(20, ' ')},
        {Line1, "Line1", K::EtchedLine, {Twips(120), Twips(1200), Twips(5325), 2}},
        // OK is both the default button and the cancel button: Enter and Escape close the box.
        {cmdOK, "cmdOK", K::Button, TwipsRect(4245, 1425, 1260, 345), "OK", 0, kDefaultButton | kCancelButton},
        {cmdSysInfo, "cmdSysInfo", K::Button, TwipsRect(4260, 1875, 1245, 345), "&System Info..."},
    };
    layout.tabOrder = {cmdOK, cmdSysInfo};
    layout.focus = cmdOK;
    return layout;
}

WindowLayout HelpLayout() {
    WindowLayout layout;
    layout.title = "Help - Tobrin";
    layout.client = TwipsSize(7125, 5790);
    layout.border = WindowLayout::Border::Sizable;
    layout.controls = {{ids::frm_browser::WB, "WB", ControlKind::Browser, TwipsRect(0, 0, 7095, 5775)}};
    layout.focus = ids::frm_browser::WB;
    return layout;
}

WindowLayout SaveFolderLayout() {
    using namespace ids::save_folder;
    using K = ControlKind;
    WindowLayout layout;
    layout.title = "Select Destination Folder";
    layout.client = TwipsSize(3375, 3375);
    layout.controls = {
        {Drive1, "Drive1", K::DropDownList, TwipsRect(120, 120, 3135, 315)},
        {Dir1, "Dir1", K::FolderList, TwipsRect(120, 480, 3135, 2340), "", 0, kEnterOpens},
        {OKButton, "OKButton", K::Button, TwipsRect(120, 2880, 975, 375), "OK", 0, kDefaultButton},
        {CancelButton, "CancelButton", K::Button, TwipsRect(1200, 2880, 975, 375), "Cancel", 0, kCancelButton},
        {btnNewFolder, "btnNewFolder", K::Button, TwipsRect(2280, 2880, 975, 375), "New Folder"},
    };
    layout.tabOrder = {OKButton, CancelButton, btnNewFolder, Drive1, Dir1};
    layout.focus = OKButton;
    return layout;
}

WindowLayout NewFolderLayout() {
    using namespace ids::frm_new_folder;
    using K = ControlKind;
    WindowLayout layout;
    layout.title = "Create new folder";
    layout.client = TwipsSize(5175, 1095);
    layout.controls = {
        {Label1, "Label1", K::Label, TwipsRect(0, 120, 1575, 255), "Name of New Folder:"},
        {Text1, "Text1", K::TextBox, TwipsRect(1680, 120, 3495, 285)},
        {Command1, "Command1", K::Button, TwipsRect(2760, 600, 1095, 375), "Ok", 0, kDefaultButton},
        {Command2, "Command2", K::Button, TwipsRect(3960, 600, 1095, 375), "Cancel", 0, kCancelButton},
    };
    layout.tabOrder = {Text1, Command1, Command2};
    layout.focus = Text1;
    return layout;
}

}  // namespace kelvara
