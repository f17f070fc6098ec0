#include "window/frm_about.h"

#include <string>

#include "window/control_ids.h"
#include "window/get_key_value.h"
#include "window/program_version.h"

namespace kelvara {
namespace {

using namespace ids::frm_about;

// Where Windows records the System Information tool: its full path, or else its folder.
constexpr const char* kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSysInfoValue = "PATH";
constexpr const char* kSysInfoFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kSysInfoFolderValue = "MSINFO";
constexpr const char* kSysInfoProgram = "\\MSINFO32.EXE";
constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

}  // namespace

frmAbout::frmAbout(Platform& platform, Toolkit& toolkit) : WindowCore(toolkit, AboutLayout()), platform_(platform) {
    MakeView(nullptr);
    Form_Load();
}

void frmAbout::Form_Load() {
    controls_.SetText(ids::kWindow, "About Kelvara");
    controls_.SetText(lblVersion, "Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                                      "." + std::to_string(kVersionRevision));
    view_->SetPicture(Image1, ImageListId::ImageList2, 4);
    view_->SetPicture(Image2, ImageListId::ImageList2, 5);
}

void frmAbout::Clicked(int control) {
    if (control == cmdOK) cmdOK_Click();
    if (control == cmdSysInfo) cmdSysInfo_Click();
}

void frmAbout::cmdOK_Click() { Close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
    std::string path;
    // A path under the first key is taken as it is; a wrong one fails at the start below.
    if (!GetKeyValue(platform_, HKEY_LOCAL_MACHINE, kSysInfoKey, kSysInfoValue, path)) {
        if (!GetKeyValue(platform_, HKEY_LOCAL_MACHINE, kSysInfoFolderKey, kSysInfoFolderValue, path) ||
            platform_.GetFileAttributesA(path + kSysInfoProgram) == INVALID_FILE_ATTRIBUTES) {
            Ask(Message::Info(kUnavailable));
            return;
        }
        path += kSysInfoProgram;
    }
    if (!platform_.StartProgram(path)) Ask(Message::Info(kUnavailable));
}

}  // namespace kelvara
