#include "window/found_photo_list.h"

#include "scan/entry_name.h"

namespace kelvara {

void FoundPhotoList::StartScan(const std::string& prefix) {
    rows_ = 0;
    current_ = -1;
    prefix_ = prefix;
}

bool FoundPhotoList::Follow() {
    const auto size = static_cast<std::int64_t>(table_.size());
    if (size == rows_) return false;
    rows_ = size;
    if (current_ >= rows_) current_ = rows_ - 1;
    return true;
}

std::string FoundPhotoList::EntryText(std::int64_t row) const {
    // The table may have lost its newest record since the list last followed it.
    if (row < 0 || row >= rows_ || static_cast<std::size_t>(row) >= table_.size()) return {};
    return EntryName(prefix_, row, table_[static_cast<std::size_t>(row)].Kind);
}

}  // namespace kelvara
