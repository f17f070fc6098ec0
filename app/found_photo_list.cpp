#include "app/found_photo_list.h"

#include <QAbstractListModel>
#include <QMouseEvent>
#include <algorithm>
#include <climits>

#include "scan/entry_name.h"

namespace kelvara {

// Entry i is record i of the table, named when it is asked for.
class FoundPhotoModel : public QAbstractListModel {
public:
    FoundPhotoModel(const FoundPhotoTable& table, QObject* parent) : QAbstractListModel(parent), table_(table) {}

    void StartScan(const std::string& prefix) {
        beginResetModel();
        rows_ = 0;
        prefix_ = prefix;
        endResetModel();
    }

    void Follow() {
        const int size = static_cast<int>(std::min<std::size_t>(table_.size(), INT_MAX));
        if (size > rows_) {
            beginInsertRows({}, rows_, size - 1);
            rows_ = size;
            endInsertRows();
        } else if (size < rows_) {
            beginRemoveRows({}, size, rows_ - 1);
            rows_ = size;
            endRemoveRows();
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return Text(index.row());
    }

    QString Text(int row) const {
        // The table may have lost its newest record since the list last followed it.
        if (row < 0 || row >= rows_ || static_cast<std::size_t>(row) >= table_.size()) return {};
        return QString::fromStdString(EntryName(prefix_, row, table_[static_cast<std::size_t>(row)].Kind));
    }

private:
    const FoundPhotoTable& table_;
    std::string prefix_;  // the prefix the scan began with
    int rows_ = 0;        // records listed so far
};

FoundPhotoList::FoundPhotoList(const FoundPhotoTable& table, QWidget* parent)
    : QListView(parent), model_(new FoundPhotoModel(table, this)) {
    setModel(model_);
    setUniformItemSizes(true);  // entries all look alike: no entry is measured but the first
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        movedSincePress_ = true;
        emit entryChosen();
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && !movedSincePress_) emit entryChosen();
    });
}

void FoundPhotoList::StartScan(const std::string& prefix) { model_->StartScan(prefix); }

void FoundPhotoList::Follow() { model_->Follow(); }

int FoundPhotoList::count() const { return model_->rowCount(); }

int FoundPhotoList::currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

void FoundPhotoList::setCurrentRow(int row) { setCurrentIndex(model_->index(row, 0)); }

QString FoundPhotoList::EntryText(int row) const { return model_->Text(row); }

QRect FoundPhotoList::EntryRect(int row) const { return visualRect(model_->index(row, 0)); }

QItemSelectionModel::SelectionFlags FoundPhotoList::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    return QListView::selectionCommand(index, event);
}

void FoundPhotoList::mousePressEvent(QMouseEvent* event) {
    movedSincePress_ = false;
    QListView::mousePressEvent(event);
}

}  // namespace kelvara
