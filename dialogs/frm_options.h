#pragma once
// The options dialog: the name prefix that found photos get in the list and as saved files.

#include <QDialog>
#include <QRect>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvara {

class frmOptions : public QDialog {
    Q_OBJECT

public:
    // Prefix is the main window's, which OK writes; it must outlive the dialog. Owned by that
    // window (`owner`), the dialog stays above it and goes with it.
    explicit frmOptions(std::string& Prefix, QWidget* owner = nullptr);

    QLabel* Label1;
    QLineEdit* txtPreFix;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    // The screen the dialog centres itself on: the primary screen unless one is set here.
    static void SetScreenGeometry(std::optional<QRect> geometry);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    // Centred on the screen, but never exactly over another Options dialog.
    void CentreOnScreen();
    void cmdOK_Click();
    void cmdCancel_Click();

    std::string& Prefix_;
    bool shown_ = false;
};

}  // namespace kelvara
