#include "dialogs/frm_browser.h"

#include <QUrl>
#include <QWebEngineView>

#include "dialogs/twips.h"

namespace kelvara {

FrmBrowser::FrmBrowser() : QWidget(nullptr) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Help - Tobrin");
    resize(TwipsSize(7125, 5790));
    WB = new QWebEngineView(this);
    WB->setGeometry(TwipsRect(0, 0, 7095, 5775));
    Form_Load();
}

QString FrmBrowser::HelpPageAddress() { return QUrl::fromLocalFile(QStringLiteral(KELVARA_HELP_PAGE)).toString(); }

void FrmBrowser::Navigate(const QString& address) { WB->load(QUrl(address)); }

void FrmBrowser::Form_Load() { Navigate(HelpPageAddress()); }

// The browser takes the window's outer size, title bar and borders included, so its right and
// bottom edges, with their scroll bars, lie outside the window.
void FrmBrowser::Form_Resize() {
    const QSize outer = frameGeometry().size();
    WB->resize(WB->width(), outer.height());
    WB->resize(outer.width(), WB->height());
}

void FrmBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

// The frame is known only once the window is on the screen.
void FrmBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Form_Resize();
}

}  // namespace kelvara
