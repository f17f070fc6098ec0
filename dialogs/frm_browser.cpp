#include "dialogs/frm_browser.h"

#include <QUrl>
#include <QWebEngineView>

#include "ui/twips.h"

namespace kelvara {

FrmBrowser::FrmBrowser() : QWidget(nullptr) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Help - Tobrin");
    resize(TwipsSize(7125, 5790));
    WB = new QWebEngineView(this);
    WB->setGeometry(TwipsRect(0, 0, 7095, 5775));
    Form_Load();
}

QString FrmBrowser::HelpPageAddress() { return QStringLiteral("qrc:/kelvara/help/quickstart.htm"); }

void FrmBrowser::Navigate(const QString& address) { WB->load(QUrl(address)); }

void FrmBrowser::Form_Load() { Navigate(HelpPageAddress()); }

// The browser fills the client area, so its scroll bar stays in sight and the page can be
// scrolled to its end.
void FrmBrowser::Form_Resize() { WB->resize(size()); }

void FrmBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

}  // namespace kelvara
