#include "window/frm_browser.h"

#include "window/control_ids.h"
#include "window/help_document.h"

namespace kelvara {

FrmBrowser::FrmBrowser(Toolkit& toolkit) : WindowCore(toolkit, HelpLayout()) {
    MakeView(nullptr);
    Form_Load();
}

void FrmBrowser::Form_Load() {
    if (toolkit_.BrowserRenders())
        Navigate(toolkit_.HelpPageAddress());
    else
        view_->ShowDocument(ids::frm_browser::WB, ParseHelpPage(toolkit_.HelpPageText()));
}

void FrmBrowser::Navigate(const std::string& address) { view_->Navigate(ids::frm_browser::WB, address); }

// The browser fills the client area, so its scroll bar stays in sight and the page can be
// scrolled to its end.
void FrmBrowser::Form_Resize(Size client) { view_->Place(ids::frm_browser::WB, {0, 0, client.width, client.height}); }

}  // namespace kelvara
