#pragma once
// Saving one entry at a time, the work both saves share: the save after a scan (SaveAllPhotos)
// and the save going along behind it (SaveAlongScan). Judges each entry over the card in the
// table's order, writes what is a photo under a temporary name and its own once whole, and
// tells what became of it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "photos/card_entry.h"
#include "photos/photo_resolution.h"
#include "photos/save_file.h"
#include "platform/platform.h"
#include "scan/command_progress.h"
#include "scan/found_photo.h"

namespace kelvara {

// The save's progress: the count it is at, told again where the save only lets the front end live
// (as it reads, and between photos).
class SaveProgress {
public:
    explicit SaveProgress(CommandProgress& progress) : progress_(progress) {}
    void Total(std::int64_t total) {
        done_ = 0;
        progress_.Total(total);
    }
    void Advance(std::int64_t done) {
        done_ = done;
        progress_.Advance(done);
    }
    void Live() { progress_.Advance(done_); }
    bool StopRequested() { return progress_.StopRequested(); }

private:
    CommandProgress& progress_;
    std::int64_t done_ = 0;
};

// A save going along behind the scan that fills the table (SaveAlongScan): where the drive ends,
// known before the scan gets there, and how an entry not recorded yet is waited for.
struct Along {
    std::int64_t driveEnd;
    PhotoResolution::EntryWait entry;
    std::function<bool()> releaseOverflow;  // what the scan's side keeps of a long photo goes (Overflow::Release)
};

// A photo that broke off with no chain of the card holding it, judged while the scan went on and
// put off until it has found every entry: its pieces are looked for across the whole card. Kept
// small, as a card may hold many: the rest is the table's.
struct PutOff {
    std::int64_t index;
    PhotoCut cut;
    std::size_t takenBefore;             // the photos saved whole before it, as Saver::Take logged them
    std::optional<CardFile> file;        // the card's entry for it: its size bounds the pieces, and it may name it
};

struct DriveReader;

class Saver {
public:
    // With `showBytes`, the progress counts each photo's bytes as they are written. With `along`,
    // the table is still being filled by a scan going on ahead.
    Saver(Platform& platform, SaveProgress& progress, FoundPhotoTable& table, Destination& destination,
          const std::string& prefix, bool showBytes = false, const CardUse& card = {},
          std::optional<Along> along = std::nullopt);
    ~Saver();

    // Saves one entry; throws SaveError when it cannot, SaveStopped when the user asks to stop.
    // With `putOff`, a photo that broke off with no chain of the card holding it is only judged,
    // and handed out there instead.
    SavedEntry Save(std::int64_t index, std::optional<PutOff>* putOff = nullptr);

    // Saves a photo put off, once the scan has found every entry: as Save would have, with what
    // the photos saved whole before it took.
    SavedEntry Save(PutOff& putOff);

private:
    // Runs `work` on `entry`, turning what the card and memory throw into the entry's SaveError.
    template <class Work>
    void Guarded(SavedEntry& entry, Work&& work);

    // The reader goes after a failure: the next photo is read anew.
    void ForgetReader();

    // Bytes a photo saved whole took: no piece of another is looked for there. Going along behind
    // the scan they are logged, for the photos put off to find as they would have.
    void Take(std::uint64_t start, std::uint64_t end);

    // What entry is to be saved as: its cut as its structure and the card's entry say. nullopt
    // when nothing of it is written (it lies inside another photo, or is none).
    std::optional<CardVerdict> Judge(const FoundPhoto& photo, SavedEntry& entry);

    // What is kept of long photos in the folder saved into goes for good; false when none was kept.
    bool ReleaseOverflow();

    // Writes the photo as judged: from its pieces where they hold it together.
    void Write(const FoundPhoto& photo, SavedEntry& entry, const CardVerdict& verdict);

    struct Container {
        std::int64_t index;
        std::uint64_t end;
    };
    struct Taken {
        std::uint64_t start, end;
    };
    static constexpr std::uint64_t kReaderMadeAnew = UINT64_MAX;  // in the log: what was taken before is forgotten
    Platform& platform_;
    SaveProgress& progress_;
    FoundPhotoTable& table_;
    Destination& destination_;
    const std::string& prefix_;
    const bool showBytes_;
    const CardUse card_;
    const std::optional<Along> along_;
    DriveSource source_;  // held for the whole save: a card swapped meanwhile is not read on
    std::unique_ptr<DriveReader> reader_;
    std::optional<Container> container_;  // the last whole photo written: what lies inside it was saved with it
    bool logTaken_;
    std::vector<Taken> taken_;  // going along behind the scan: what photos saved whole took, in order
    std::size_t replayed_ = 0;
};

// What a save tells of every entry once it is done with it, in the table's order: into the report
// and to `each`.
void Tally(SaveReport& report, const SavedEntry& entry, const SaveListener& each);

}  // namespace kelvara
