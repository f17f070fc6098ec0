#pragma once
// The list of found photos: a view over the found-photo table that names an entry only when it
// is drawn. It holds no text per entry, so a card of a million photos costs the window no more
// than the table it shows.

#include <cstdint>
#include <string>

#include "scan/found_photo.h"

namespace kelvara {

class FoundPhotoList {
public:
    // `table` must outlive the list; entry i is its record i.
    explicit FoundPhotoList(const FoundPhotoTable& table) : table_(table) {}

    // Empties the list for a scan that starts the table afresh. The entries it adds are named
    // with `prefix`, until Rename.
    void StartScan(const std::string& prefix);
    // Names every entry with a new prefix: the one Save will write them under.
    void Rename(const std::string& prefix) { prefix_ = prefix; }
    // Lists what the table gained (or lost) since the last call; true when the count changed.
    // The scan adds records faster than anyone can read them, so the list follows whenever the
    // window is seen.
    bool Follow();

    std::int64_t count() const { return rows_; }
    std::int64_t currentRow() const { return current_; }  // -1 when none
    void setCurrentRow(std::int64_t row) { current_ = row >= -1 && row < rows_ ? row : current_; }
    std::string EntryText(std::int64_t row) const;

private:
    const FoundPhotoTable& table_;
    std::string prefix_;  // the prefix the scan began with
    std::int64_t rows_ = 0;
    std::int64_t current_ = -1;
};

}  // namespace kelvara
