#pragma once
// "Select Destination Folder". Hands its result back through the opener's Folder and ffdone:
// the folder on OK, kNoFolder on Cancel or the close box, and ffdone true either way.

#include <string>
#include <vector>

#include "platform/platform.h"
#include "window/dir_list.h"
#include "window/window_core.h"

namespace kelvara {

class frmNewFolder;

// The folder the destination dialog hands back when the user gave up: Cancel or the close box.
inline constexpr const char* kNoFolder = "No";

class SaveFolder : public WindowCore {
public:
    SaveFolder(Platform& platform, Toolkit& toolkit, std::string& Folder, bool& ffdone, WindowView* owner);
    ~SaveFolder() override;

    DirList Dir1;
    const std::vector<std::string>& Drive1() const { return drives_; }
    int Drive1Index() const { return driveIndex_; }

    // Opens a folder in Dir1 and shows it; false, with Dir1 unchanged, when it cannot be listed.
    bool Dir1_SetPath(const std::string& path);

    void Drive1_Change();
    void OKButton_Click();  // the highlighted folder, as a person chose it
    void CancelButton_Click();
    void btnNewFolder_Click();

    void Clicked(int control) override;
    void Chosen(int control, std::int64_t index) override;
    void Opened(int control, std::int64_t index) override;

protected:
    bool OnCloseBox() override;

private:
    void Form_Load();
    void Finish(const std::string& folder);
    void ShowDir1();
    void ShowDriveOf(const std::string& path);

    Platform& platform_;
    std::string& Folder_;
    bool& ffdone_;
    bool finished_ = false;
    std::vector<std::string> drives_;  // "c:", "e:", ... as a drive list box names them
    int driveIndex_ = -1;
    frmNewFolder* newFolder_ = nullptr;  // the new-folder dialog open over this one
};

}  // namespace kelvara
