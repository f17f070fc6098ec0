#pragma once
// Any window of the program in Qt: its controls made from the core's layout table, shown as the
// core says, and the user's acts passed on to the core. It decides nothing.

#include <QDialog>
#include <map>

#include "window/layout.h"
#include "window/view.h"

class QAction;
class QFrame;
class QWebEngineView;

namespace kelvara::qt {

class QtWindow : public QDialog, public WindowView {
    Q_OBJECT

public:
    // A window of `layout` telling `events` what the user does; `owner` keeps it above itself.
    QtWindow(const WindowLayout& layout, WindowEvents& events, QtWindow* owner);
    ~QtWindow() override;

    // The widget made for a control, or nullptr; a toolbar's buttons are actions.
    QWidget* Control(int control) const;
    template <typename T>
    T* ControlAs(int control) const {
        return qobject_cast<T*>(Control(control));
    }
    QAction* ToolbarAction(int control) const;
    const WindowLayout& layout() const { return layout_; }

    // WindowView
    void Show() override { show(); }
    void Close() override;
    bool IsShown() const override { return isVisible(); }
    Point Position() override;
    Size OuterSize() override;
    void MoveTo(Point outerTopLeft) override { move(outerTopLeft.x, outerTopLeft.y); }
    void Repaint() override { repaint(); }
    void SetText(int control, const std::string& text) override;
    void SetEnabled(int control, bool enabled) override;
    void SetVisible(int control, bool visible) override;
    void SetFocus(int control) override;
    void Place(int control, Rect rect) override;
    void SetPicture(int control, ImageListId list, int index) override;
    void SetEntries(int control, const std::vector<std::string>& entries, int selected) override;
    void SetEntryCount(int control, std::int64_t count) override;
    void SelectEntry(int control, std::int64_t row) override;
    void SetProgress(int control, int maximum, int value) override;
    void SetChecked(int control, bool checked) override;
    void HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size picture) override;
    void Navigate(int browser, const std::string& address) override;
    void ShowPictureFile(int browser, const std::string& path) override;
    void ShowDocument(int browser, const HelpDocument& document) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void reject() override;  // Escape

private:
    QWidget* Make(const ControlLayout& control, QWidget* parent);
    QWidget* MakeToolbar(const ControlLayout& control, QWidget* parent);

    WindowLayout layout_;
    WindowEvents& events_;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    bool closing_ = false;  // the core closes the window: no need to ask it
};

}  // namespace kelvara::qt
