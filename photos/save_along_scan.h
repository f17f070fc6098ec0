#pragma once
// Save All going along behind the scan that fills the table: the save's side of reading the card
// once (photos/scan_and_save.h).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "destination/destination.h"
#include "photos/card_entry.h"
#include "photos/save_file.h"
#include "platform/platform.h"
#include "scan/command_progress.h"
#include "scan/found_photo.h"

namespace kelvara {

// Save All going along behind the scan that is filling the table (photos/scan_and_save.h), so
// the card is read once: each entry is saved as soon as the scan has recorded the one after it
// (or ended), its bytes read as the scan passes over them, with the files, names, statuses and
// report of SaveAllPhotos on the whole table. Walks that look past the entries recorded so far
// wait through `awaitEntry` (true once the table holds that entry; false when the scan ended
// without it). A photo that broke off with no chain of the card holding it is put off: its
// pieces are looked for across the whole card in Finish, and the entries after it are told of
// (to `each`, into the report) after it, so both come in the table's order; past a few thousand
// held back, the entries saved are told of at once and the photos put off at the end.
// `releaseOverflow` lets go of what the scan's side keeps of a long photo in the folder, when a
// photo's file needs the room.
class SaveAlongScan {
public:
    SaveAlongScan(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                  const std::string& prefix, const SaveListener& each, const CardUse& card, std::int64_t driveEnd,
                  std::function<bool(std::size_t)> awaitEntry, std::function<bool()> releaseOverflow = {});
    ~SaveAlongScan();
    // Saves entry `index`, the next in the table's order; false once saving has stopped or was refused.
    bool Save(std::int64_t index);
    // Once the scan has ended: the photos put off, then the report as SaveAllPhotos gives it.
    SaveReport Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kelvara
