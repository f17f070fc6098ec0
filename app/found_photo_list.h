#pragma once
// The list of found photos: a view over the found-photo table that names an entry only when it
// is drawn. It holds no object per entry, so a card of a million photos costs the window no
// more than the table it shows.

#include <QListView>
#include <QString>
#include <string>

#include "scan/found_photo.h"

namespace kelvara {

class FoundPhotoModel;

class FoundPhotoList : public QListView {
    Q_OBJECT

public:
    // `table` must outlive the list; entry i is its record i.
    FoundPhotoList(const FoundPhotoTable& table, QWidget* parent);

    // Empties the list for a scan that starts the table afresh. The entries it adds are named
    // with `prefix`, whatever the prefix is later.
    void StartScan(const std::string& prefix);
    // Lists what the table gained (or lost) since the last call. The scan adds records faster
    // than anyone can read them, so the list follows whenever the window is seen.
    void Follow();

    int count() const;
    int currentRow() const;  // -1 when none
    void setCurrentRow(int row);
    QString EntryText(int row) const;
    // Where entry `row` is drawn, in the viewport's coordinates.
    QRect EntryRect(int row) const;

signals:
    // The user or the program chose an entry: the selection moved, or the entry already
    // selected was clicked again (the only way to show a lone photo, or to retry one).
    void entryChosen();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // A click below the last entry leaves the chosen entry chosen, as a list box does.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    FoundPhotoModel* model_;
    bool movedSincePress_ = false;  // this click moved the selection, which has chosen already
};

}  // namespace kelvara
