#pragma once
// The help window: a browser on the quick-start page, filling the window.

#include <QString>
#include <QWidget>

class QWebEngineView;

namespace kelvara {

class FrmBrowser : public QWidget {
    Q_OBJECT

public:
    FrmBrowser();

    QWebEngineView* WB;

    // Where the quick-start page lies beside the program, as a file address.
    static QString HelpPageAddress();

    // Loads the page at address in WB and returns at once.
    void Navigate(const QString& address);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();
};

}  // namespace kelvara
