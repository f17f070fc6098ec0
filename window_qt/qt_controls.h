#pragma once
// The Qt controls that tell the core more than Qt's own do: a combo that says when its list
// drops down, a list that names its entries only when drawn, a folder list that Enter opens.
// Each reports acts of the user only, never a change the core made.

#include <QComboBox>
#include <QListView>
#include <QListWidget>
#include <QString>
#include <cstdint>
#include <functional>

namespace kelvara::qt {

class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void droppingDown();
};

class EntryModel;

// A list over entries that live elsewhere: it holds a count, and asks `text` for an entry when
// it draws it (and `tooltip` when the pointer rests on one). It holds no object per entry, so a
// million entries cost it nothing.
class EntryListView : public QListView {
    Q_OBJECT
public:
    EntryListView(std::function<QString(int row)> text, QWidget* parent, std::function<QString(int row)> tooltip = {});

    void SetCount(int count);
    // Selects `row` (-1: none) and scrolls it into sight, without reporting a choice.
    void Select(int row);
    int count() const;
    int currentRow() const;  // -1 when none
    QString EntryText(int row) const;
    QRect EntryRect(int row) const;  // in the viewport's coordinates

signals:
    // The user chose an entry: the selection moved, or the entry already selected was clicked
    // again (the only way to show a lone photo, or to retry one).
    void chosen(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // A click below the last entry leaves the chosen entry chosen, as a list box does.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    EntryModel* model_;
    bool quiet_ = false;            // the program is selecting: no choice is reported
    bool movedSincePress_ = false;  // this click moved the selection, which has reported already
};

// A short list given whole; Enter opens the highlighted entry when `enterOpens`.
class FolderListWidget : public QListWidget {
    Q_OBJECT
public:
    FolderListWidget(bool enterOpens, QWidget* parent) : QListWidget(parent), enterOpens_(enterOpens) {}

signals:
    void opened(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool enterOpens_;
};

}  // namespace kelvara::qt
