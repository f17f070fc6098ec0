#include "window_qt/qt_controls.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kelvara::qt {

void DropDownCombo::showPopup() {
    emit droppingDown();
    QComboBox::showPopup();
}

class EntryModel : public QAbstractListModel {
public:
    EntryModel(std::function<QString(int)> text, std::function<QString(int)> tooltip, QObject* parent)
        : QAbstractListModel(parent), text_(std::move(text)), tooltip_(std::move(tooltip)) {}

    void SetCount(int count) {
        if (count > rows_) {
            beginInsertRows({}, rows_, count - 1);
            rows_ = count;
            endInsertRows();
        } else if (count < rows_) {
            beginRemoveRows({}, count, rows_ - 1);
            rows_ = count;
            endRemoveRows();
        }
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rows_) return {};
        if (role == Qt::ToolTipRole && tooltip_) {
            const QString tip = tooltip_(index.row());
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        if (role != Qt::DisplayRole) return {};
        return Text(index.row());
    }
    QString Text(int row) const { return row >= 0 && row < rows_ ? text_(row) : QString(); }

private:
    std::function<QString(int)> text_;
    std::function<QString(int)> tooltip_;
    int rows_ = 0;
};

EntryListView::EntryListView(std::function<QString(int row)> text, QWidget* parent, std::function<QString(int row)> tooltip)
    : QListView(parent), model_(new EntryModel(std::move(text), std::move(tooltip), this)) {
    setModel(model_);
    setUniformItemSizes(true);  // entries all look alike: no entry is measured but the first
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& now) {
        movedSincePress_ = true;
        if (!quiet_ && now.isValid()) emit chosen(now.row());
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && !movedSincePress_) emit chosen(index.row());
    });
}

void EntryListView::SetCount(int count) {
    quiet_ = true;
    model_->SetCount(count);
    quiet_ = false;
}

void EntryListView::Select(int row) {
    quiet_ = true;
    setCurrentIndex(model_->index(row, 0));
    if (row >= 0) scrollTo(model_->index(row, 0));
    quiet_ = false;
}

int EntryListView::count() const { return model_->rowCount(); }

int EntryListView::currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

QString EntryListView::EntryText(int row) const { return model_->Text(row); }

QRect EntryListView::EntryRect(int row) const { return visualRect(model_->index(row, 0)); }

QItemSelectionModel::SelectionFlags EntryListView::selectionCommand(const QModelIndex& index, const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    return QListView::selectionCommand(index, event);
}

void EntryListView::mousePressEvent(QMouseEvent* event) {
    movedSincePress_ = false;
    QListView::mousePressEvent(event);
}

void FolderListWidget::keyPressEvent(QKeyEvent* event) {
    // Enter opens the folder here; it must not reach the dialog and press its default button.
    if (enterOpens_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (currentRow() >= 0) emit opened(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace kelvara::qt
