#pragma once
#include <QDialog>
#include <string>

#include "platform/platform.h"

class QComboBox;
class QPushButton;

namespace kelvara {

class DirList;

// The folder the destination dialog hands back when the user gave up: Cancel or the close box.
inline constexpr const char* kNoFolder = "No";

// "Select Destination Folder". Hands its result back through the opener's Folder and ffdone:
// the folder on OK, kNoFolder on Cancel or the close box, and ffdone true either way. Shown
// modeless; it deletes itself when it closes.
class SaveFolder : public QDialog {
    Q_OBJECT
public:
    SaveFolder(Platform& platform, std::string& Folder, bool& ffdone, QWidget* parent = nullptr);

    QComboBox* Drive1;
    DirList* Dir1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QPushButton* btnNewFolder;

    void Drive1_Change();
    void OKButton_Click();  // the highlighted folder, as a person chose it
    void CancelButton_Click();
    void btnNewFolder_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load();
    void FitTitle();
    void Finish(const std::string& folder);
    void ShowDriveOf(const std::string& path);

    Platform& platform_;
    std::string& Folder_;
    bool& ffdone_;
    bool finished_ = false;
};

}  // namespace kelvara
