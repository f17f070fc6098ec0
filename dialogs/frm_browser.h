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

    // The quick-start page, compiled into the program.
    static QString HelpPageAddress();

    // Loads the page at address in WB and returns at once.
    void Navigate(const QString& address);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();
};

}  // namespace kelvara
