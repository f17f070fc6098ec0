#include "window_qt/qt_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <climits>

#include "window_qt/fonts.h"
#include "window_qt/image_lists.h"
#include "window_qt/qt_controls.h"

namespace kelvara::qt {
namespace {

QRect ToQt(Rect rect) { return QRect(rect.left, rect.top, rect.width, rect.height); }

Qt::WindowFlags FlagsFor(WindowLayout::Border border) {
    switch (border) {
        case WindowLayout::Border::Fixed:
            return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
        case WindowLayout::Border::Dialog:
            return Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint;
        case WindowLayout::Border::Sizable: break;
    }
    return Qt::Window;
}

// A page or address the browser is given: an address keeps its scheme, a file path is a file.
QUrl AddressUrl(const std::string& address) {
    const QString text = QString::fromStdString(address);
    if (text.startsWith("qrc:") || text.contains("://")) return QUrl(text);
    return QUrl::fromLocalFile(QDir::fromNativeSeparators(text));
}

}  // namespace

QtWindow::QtWindow(const WindowLayout& layout, WindowEvents& events, QtWindow* owner)
    : QDialog(owner), layout_(layout), events_(events) {
    setWindowFlags(FlagsFor(layout_.border));
    setWindowTitle(QString::fromStdString(layout_.title));
    if (layout_.icon) setWindowIcon(KelvaraWindowIcon());
    if (layout_.border == WindowLayout::Border::Sizable)
        resize(layout_.client.width, layout_.client.height);
    else
        setFixedSize(layout_.client.width, layout_.client.height);
    setFont(LayoutFont(layout_.face));
    setSizeGripEnabled(false);

    for (const ControlLayout& control : layout_.controls) {
        QWidget* parent = control.parent ? Control(control.parent) : this;
        if (QWidget* widget = Make(control, parent ? parent : this)) {
            widget->setObjectName(control.name);
            widget->setGeometry(ToQt(control.rect));
            // A frame's line runs half a caption's height below its top, as where a caption would be.
            if (control.kind == ControlKind::Frame)
                static_cast<QFrame*>(widget)->setFrameRect(QRect(0, 7, control.rect.width, control.rect.height - 7));
            if (!control.tooltip.empty()) widget->setToolTip(QString::fromStdString(control.tooltip));
            controls_[control.id] = widget;
        }
    }
    // A frame lies under the controls around it: a combo whose lower edge reaches into the frame's
    // box stays clickable.
    for (const ControlLayout& control : layout_.controls)
        if (control.kind == ControlKind::Frame) Control(control.id)->lower();
    for (std::size_t i = 1; i < layout_.tabOrder.size(); ++i)
        if (Control(layout_.tabOrder[i - 1]) && Control(layout_.tabOrder[i]))
            setTabOrder(Control(layout_.tabOrder[i - 1]), Control(layout_.tabOrder[i]));
    if (QWidget* focus = Control(layout_.focus)) focus->setFocus();
}

QtWindow::~QtWindow() = default;

QWidget* QtWindow::Make(const ControlLayout& control, QWidget* parent) {
    const int id = control.id;
    const QString caption = QString::fromStdString(control.caption);
    switch (control.kind) {
        case ControlKind::Toolbar: return MakeToolbar(control, parent);
        case ControlKind::DropDownList: {
            auto* combo = new DropDownCombo(parent);
            connect(combo, &DropDownCombo::droppingDown, this, [this, id] { events_.DroppedDown(id); });
            connect(combo, &QComboBox::activated, this, [this, id](int index) { events_.Chosen(id, index); });
            return combo;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(caption, parent);
            if (control.flags & kDefaultButton) button->setDefault(true);
            // In a window without a default button, Enter presses none: not even the first button
            // (Save All, in the main window), as a dialog would have it.
            button->setAutoDefault(layout_.DefaultButton() != 0);
            connect(button, &QPushButton::clicked, this, [this, id] { events_.Clicked(id); });
            return button;
        }
        case ControlKind::EntryList: {
            auto* list = new EntryListView(
                [this, id](int row) { return QString::fromStdString(events_.EntryText(id, row)); }, parent,
                [this, id](int row) { return QString::fromStdString(events_.EntryTooltip(id, row)); });
            connect(list, &EntryListView::chosen, this, [this, id](int row) { events_.Chosen(id, row); });
            return list;
        }
        case ControlKind::FolderList: {
            auto* list = new FolderListWidget(control.flags & kEnterOpens, parent);
            connect(list, &QListWidget::currentRowChanged, this, [this, id](int row) {
                if (row >= 0) events_.Chosen(id, row);
            });
            connect(list, &QListWidget::itemDoubleClicked, this,
                    [this, id, list](QListWidgetItem* item) { events_.Opened(id, list->row(item)); });
            connect(list, &FolderListWidget::opened, this, [this, id](int row) { events_.Opened(id, row); });
            return list;
        }
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::Frame: {
            auto* frame = new QFrame(parent);
            frame->setFrameShape(QFrame::Box);
            frame->setFrameShadow(QFrame::Sunken);
            return frame;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, parent);
            if (control.flags & kBold) {
                QFont bold = label->font();
                bold.setBold(true);
                label->setFont(bold);
            }
            return label;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(caption, parent);
            connect(box, &QCheckBox::clicked, this, [this, id] { events_.Clicked(id); });
            return box;
        }
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(caption, parent);
            connect(box, &QLineEdit::textEdited, this,
                    [this, id](const QString& text) { events_.TextChanged(id, text.toStdString()); });
            return box;
        }
        case ControlKind::Picture: {
            auto* picture = new QLabel(parent);
            picture->setScaledContents(true);
            return picture;
        }
        case ControlKind::Browser: return new QWebEngineView(parent);
        case ControlKind::EtchedLine: {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            QPalette etched = line->palette();
            etched.setColor(QPalette::Dark, QColor(0x80, 0x80, 0x80));
            etched.setColor(QPalette::Light, Qt::white);
            line->setPalette(etched);
            return line;
        }
    }
    return nullptr;
}

QWidget* QtWindow::MakeToolbar(const ControlLayout& control, QWidget* parent) {
    auto* toolbar = new QToolBar(parent);
    toolbar->setIconSize(QSize(layout_.toolbarPictureSize, layout_.toolbarPictureSize));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    for (std::size_t i = 0; i < layout_.toolbar.size(); ++i) {
        const ToolbarItem& button = layout_.toolbar[i];
        const int id = control.id + static_cast<int>(i) + 1;
        QAction* action;
        if (button.caption) {
            action = toolbar->addAction(ListIcon(ImageListId::ImageList1, button.picture), button.caption);
            if (auto* widget = qobject_cast<QToolButton*>(toolbar->widgetForAction(action)))
                widget->setFixedSize(layout_.toolbarButtonSize.width, layout_.toolbarButtonSize.height);
            connect(action, &QAction::triggered, this, [this, id] { events_.Clicked(id); });
        } else {
            action = toolbar->addSeparator();
        }
        actions_[id] = action;
    }
    return toolbar;
}

QWidget* QtWindow::Control(int control) const {
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : found->second;
}

QAction* QtWindow::ToolbarAction(int control) const {
    const auto found = actions_.find(control);
    return found == actions_.end() ? nullptr : found->second;
}

void QtWindow::Close() {
    closing_ = true;
    close();
}

Point QtWindow::Position() { return {pos().x(), pos().y()}; }

Size QtWindow::OuterSize() { return {frameGeometry().width(), frameGeometry().height()}; }

void QtWindow::SetText(int control, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (control == 0) return setWindowTitle(value);
    QWidget* widget = Control(control);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(value);
    if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(value);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) box->setText(value);
}

void QtWindow::SetEnabled(int control, bool enabled) {
    if (QAction* action = ToolbarAction(control)) action->setEnabled(enabled);
    if (QWidget* widget = Control(control)) widget->setEnabled(enabled);
}

void QtWindow::SetVisible(int control, bool visible) {
    if (QWidget* widget = Control(control)) widget->setVisible(visible);
}

void QtWindow::SetFocus(int control) {
    if (QWidget* widget = Control(control)) widget->setFocus();
}

void QtWindow::Place(int control, Rect rect) {
    if (QWidget* widget = Control(control)) widget->setGeometry(ToQt(rect));
}

void QtWindow::SetPicture(int control, ImageListId list, int index) {
    if (auto* picture = ControlAs<QLabel>(control)) picture->setPixmap(ListImage(list, index, devicePixelRatioF()));
}

void QtWindow::SetEntries(int control, const std::vector<std::string>& entries, int selected) {
    QStringList texts;
    for (const std::string& entry : entries) texts << QString::fromStdString(entry);
    if (auto* combo = ControlAs<QComboBox>(control)) {
        const QSignalBlocker quiet(combo);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        if (shown != texts) {
            combo->clear();
            combo->addItems(texts);
        }
        combo->setCurrentIndex(selected);
    } else if (auto* list = ControlAs<QListWidget>(control)) {
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItems(texts);
        list->setCurrentRow(selected);
    }
}

void QtWindow::SetEntryCount(int control, std::int64_t count) {
    if (auto* list = ControlAs<EntryListView>(control)) list->SetCount(static_cast<int>(std::min<std::int64_t>(count, INT_MAX)));
}

void QtWindow::SelectEntry(int control, std::int64_t row) {
    if (auto* list = ControlAs<EntryListView>(control)) list->Select(static_cast<int>(row));
}

void QtWindow::SetChecked(int control, bool checked) {
    if (auto* box = ControlAs<QCheckBox>(control)) box->setChecked(checked);
}

void QtWindow::SetProgress(int control, int maximum, int value) {
    if (auto* bar = ControlAs<QProgressBar>(control)) {
        if (bar->maximum() != maximum) bar->setRange(0, maximum);
        bar->setValue(value);
    }
}

void QtWindow::HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size picture) {
    auto* view = ControlAs<QWebEngineView>(browser);
    if (!view) return;
    auto* frame = new QFrame(this);
    frame->setObjectName("picBox");
    frame->setGeometry(ToQt(paneRect));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);
    auto* inside = new QWidget(frame);  // the pane's client area, inside its border
    inside->setGeometry(2, 2, paneRect.width - 4, paneRect.height - 4);
    view->setParent(inside);
    // This browser draws no frame of its own to push out of sight: the page starts at the
    // opening's corner, and is drawn just small enough that the whole picture shows in it.
    view->setGeometry(0, 0, browserInPane.width, browserInPane.height);
    if (picture.width > 0) view->setZoomFactor(qreal(inside->width()) / picture.width);
    view->show();
    frame->hide();
    controls_[pane] = frame;
    // The browser makes its drawing surface when its page first starts, and such a surface
    // changes how the whole window is drawn: made after the window is shown, it makes the
    // window system build the window anew, black for a moment. Started now, before the window
    // is first shown, the first preview only has to show it.
    view->page()->runJavaScript(QString());
}

void QtWindow::Navigate(int browser, const std::string& address) {
    auto* view = ControlAs<QWebEngineView>(browser);
    if (!view) return;
    const QUrl url = AddressUrl(address);
    // The preview's file names never change, so the same address is loaded again and again:
    // reload it past every cache, or the pane could show the photo before.
    if (view->url() == url)
        view->triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
    else
        view->load(url);
}

void QtWindow::ShowPictureFile(int browser, const std::string& path) { Navigate(browser, path); }

void QtWindow::ShowDocument(int browser, const HelpDocument& document) {
    auto* view = ControlAs<QWebEngineView>(browser);
    if (!view) return;
    QString html;
    for (const HelpBlock& block : document)
        html += "<p>" + QString::fromStdString(block.Text()).toHtmlEscaped() + "</p>";
    view->setHtml(html);
}

void QtWindow::closeEvent(QCloseEvent* event) {
    if (closing_ || events_.CloseAsked()) {
        closing_ = true;
        event->accept();
    } else {
        event->ignore();
    }
}

void QtWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    events_.Resized({width(), height()});
}

void QtWindow::reject() {
    if (const int cancel = layout_.CancelButton()) events_.Clicked(cancel);
}

}  // namespace kelvara::qt
