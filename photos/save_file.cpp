#include "photos/save_file.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <new>

#include "destination/destination.h"
#include "destination/written_file.h"
#include "diskio/disk_error.h"
#include "photos/card_entry.h"
#include "photos/card_names.h"
#include "photos/drive_bytes.h"
#include "photos/photo_bytes.h"
#include "photos/photo_date.h"
#include "photos/photo_resolution.h"
#include "photos/reassembled_photo.h"
#include "scan/entry_name.h"

namespace kelvara {
namespace {

constexpr std::size_t kIncompleteNamed = 5;
// Entries saved after a photo put off, held back to be told of after it, at most: some tens of
// bytes each where they wrote nothing, as a card of chance signatures holds millions.
constexpr std::size_t kHeldMost = 1 << 18;

constexpr std::uint64_t kMaxProgress = std::numeric_limits<std::int64_t>::max();

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

// The pieces as they go out, counted in bytes. The walk may have read the whole photo already:
// its writing is counted too.
NextPiece CountedInBytes(NextPiece pieces, std::uint64_t length, SaveProgress& progress) {
    progress.Total(static_cast<std::int64_t>(std::min<std::uint64_t>(length, kMaxProgress)));
    return [pieces = std::move(pieces), &progress, done = std::uint64_t{0}]() mutable {
        const auto piece = pieces();
        done += piece.size();
        progress.Advance(static_cast<std::int64_t>(std::min<std::uint64_t>(done, kMaxProgress)));
        return piece;
    };
}

// A save going along behind the scan that fills the table (SaveAlongScan): where the drive ends,
// known before the scan gets there, and how an entry not recorded yet is waited for.
struct Along {
    std::int64_t driveEnd;
    PhotoResolution::EntryWait entry;
};

// One drive read from its first sector, and what is known of the entries on it. Made again after
// a read fails; a card put back in is read on where its source finds it the same card.
struct DriveReader {
    DriveReader(SectorSource& source, SaveProgress& progress, FoundPhotoTable& table, const std::string& drive,
                const CardUse& use, const Along* along)
        : drive(drive),
          table(table),
          end(along ? along->driveEnd : DriveEnd(table)),
          bytes(source, 0, end, end,
                [&progress] {
                    progress.Live();
                    if (progress.StopRequested()) throw SaveStopped{};
                }),
          resolution(table, bytes, drive, along ? along->entry : PhotoResolution::EntryWait{}),
          card(source, end, use) {
        // Going along behind the scan, pieces are looked for once it has found every entry.
        if (!along) pieces.emplace(table, bytes, drive, ChooseClusterGrid(InferClusterGrid(table, drive), card.Layout()), EndByte());
    }
    PieceSearch& Pieces() {
        if (!pieces)
            pieces.emplace(table, bytes, drive, ChooseClusterGrid(InferClusterGrid(table, drive, true), card.Layout()), EndByte());
        return *pieces;
    }
    std::uint64_t EndByte() const { return static_cast<std::uint64_t>(end) * kSectorSize; }
    std::string drive;
    FoundPhotoTable& table;
    std::int64_t end;
    DriveBytes bytes;
    PhotoResolution resolution;
    CardEntries card;
    std::optional<PieceSearch> pieces;
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

class Saver {
public:
    // With `showBytes`, the progress counts each photo's bytes as they are written. With `along`,
    // the table is still being filled by a scan going on ahead.
    Saver(Platform& platform, SaveProgress& progress, FoundPhotoTable& table, Destination& destination,
          const std::string& prefix, bool showBytes = false, const CardUse& card = {},
          std::optional<Along> along = std::nullopt)
        : platform_(platform), progress_(progress), table_(table), destination_(destination), prefix_(prefix),
          showBytes_(showBytes), card_(card), along_(std::move(along)), source_(platform, card.source),
          logTaken_(along_.has_value()) {}

    // Saves one entry; throws SaveError when it cannot, SaveStopped when the user asks to stop.
    // With `putOff`, a photo that broke off with no chain of the card holding it is only judged,
    // and handed out there instead.
    SavedEntry Save(std::int64_t index, std::optional<PutOff>* putOff = nullptr) {
        progress_.Live();
        if (index < 0 || index >= static_cast<std::int64_t>(table_.size()))
            throw SaveError("Photo number " + std::to_string(index + 1) + " is not in the list of found photos.");
        const FoundPhoto photo = table_[static_cast<std::size_t>(index)];
        SavedEntry entry;
        entry.index = index;
        entry.name = EntryName(prefix_, index, photo.Kind);
        // (The window never passes the dialog's cancel marker; the command line has no dialog, so
        // there "No" is a folder's name.)
        if (const auto& refusal = destination_.refusal()) throw SaveError(entry.name + " was not saved: " + *refusal);
        if (photo.StartSector < 0 || photo.EndSector <= photo.StartSector)
            throw SaveError(entry.name + " could not be read: The photo's place on the drive is not known.");
        Guarded(entry, [&] {
            if (const auto verdict = Judge(photo, entry)) {
                if (putOff && verdict->cut.status == PhotoStatus::Incomplete && !verdict->pieces)
                    *putOff = PutOff{index, verdict->cut, taken_.size(), verdict->file};
                else
                    Write(photo, entry, *verdict);
            }
        });
        progress_.Live();
        return entry;
    }

    // Saves a photo put off, once the scan has found every entry: as Save would have, with what
    // the photos saved whole before it took.
    SavedEntry Save(PutOff& putOff) {
        logTaken_ = false;
        const FoundPhoto photo = table_[static_cast<std::size_t>(putOff.index)];
        SavedEntry entry;
        entry.index = putOff.index;
        entry.name = EntryName(prefix_, putOff.index, photo.Kind);
        entry.status = putOff.cut.status;
        // A reader made anew after a failure knows of none taken before it, as in a save scanning first.
        if (!reader_ || reader_->drive != photo.Drive.str())
            reader_ = std::make_unique<DriveReader>(source_.For(photo.Drive), progress_, table_, photo.Drive, card_,
                                                    along_ ? &*along_ : nullptr);
        for (; replayed_ < putOff.takenBefore; ++replayed_) {
            const Taken& taken = taken_[replayed_];
            if (taken.start == kReaderMadeAnew) reader_->pieces.reset();
            else reader_->Pieces().Taken(taken.start, taken.end);
        }
        Guarded(entry, [&] { Write(photo, entry, CardVerdict{putOff.cut, putOff.file, std::nullopt}); });
        progress_.Live();
        return entry;
    }

private:
    // Runs `work` on `entry`, turning what the card and memory throw into the entry's SaveError.
    template <class Work>
    void Guarded(SavedEntry& entry, Work&& work) {
        try {
            work();
        } catch (const DiskError& error) {
            ForgetReader();
            throw SaveError(entry.name + " could not be read: " + error.what());
        } catch (const std::bad_alloc&) {
            ForgetReader();
            throw SaveError(entry.name + " could not be read: there is not enough memory to read it.");
        } catch (const SaveStopped&) {
            ForgetReader();
            throw;
        }
    }

    void ForgetReader() {
        reader_.reset();
        if (logTaken_) taken_.push_back({kReaderMadeAnew, 0});
    }

    // Bytes a photo saved whole took: no piece of another is looked for there. Going along behind
    // the scan they are logged, for the photos put off to find as they would have.
    void Take(std::uint64_t start, std::uint64_t end) {
        if (logTaken_) taken_.push_back({start, end});
        else reader_->Pieces().Taken(start, end);
    }

    // What entry is to be saved as: its cut as its structure and the card's entry say. nullopt
    // when nothing of it is written (it lies inside another photo, or is none).
    std::optional<CardVerdict> Judge(const FoundPhoto& photo, SavedEntry& entry) {
        if (!reader_ || reader_->drive != photo.Drive.str())
            reader_ = std::make_unique<DriveReader>(source_.For(photo.Drive), progress_, table_, photo.Drive, card_,
                                                    along_ ? &*along_ : nullptr);
        const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
        // The card's entry for the photo checks where its structure ends, and may name it.
        CardVerdict verdict =
            reader_->card.Of(start, reader_->resolution.Resolve(static_cast<std::size_t>(entry.index)), photo.Kind);
        const PhotoCut& cut = verdict.cut;
        entry.status = cut.status;
        if (cut.status == PhotoStatus::Inside) {
            if (container_ && start < container_->end) entry.container = container_->index;
            return std::nullopt;
        }
        // What broke off where the drive ended is not told apart from a photo cut short: no file
        // rather than one that looks whole.
        const std::uint64_t run = static_cast<std::uint64_t>(photo.EndSector - photo.StartSector) * kSectorSize;
        if (cut.status != PhotoStatus::Whole && reader_->bytes.From(start + run - 1).empty())
            DriveEnded(reader_->bytes, reader_->bytes.VolumeEnd().value_or(start + run));
        if (cut.status == PhotoStatus::NotAPhoto) return std::nullopt;
        return verdict;
    }

    void Write(const FoundPhoto& photo, SavedEntry& entry, const CardVerdict& verdict) {
        const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
        const PhotoCut& cut = verdict.cut;
        // A photo in pieces its chain holds is read through them; one that broke off may be whole
        // from its pieces found elsewhere on the card.
        ReassembledPhoto photoBytes(reader_->bytes, start, cut.length);
        if (verdict.pieces) {
            photoBytes.Join(Leading(*verdict.pieces, cut.length));
        } else if (cut.status == PhotoStatus::Incomplete) {
            const auto size = verdict.file ? std::optional(verdict.file->size) : std::nullopt;
            if (auto extents = reader_->Pieces().Join(static_cast<std::size_t>(entry.index), cut.length, size)) {
                photoBytes.Join(std::move(*extents));
                entry.status = PhotoStatus::Whole;
                table_.SetStatus(static_cast<std::size_t>(entry.index), PhotoStatus::Whole);
            }
        }
        if (entry.status == PhotoStatus::Whole) entry.pieces = photoBytes.Extents().size();
        // What is saved of a broken photo stops where a photo put back together took the bytes:
        // they are that photo's, and written once.
        if (entry.status == PhotoStatus::Incomplete)
            if (const auto free = reader_->Pieces().FirstTaken(start, start + cut.length); free > start && free < start + cut.length)
                photoBytes.Join({{start, free - start}});
        const std::uint64_t length = photoBytes.Length();
        entry.bytes = length;
        // A stop asked for while the photo is written takes effect within a piece.
        NextPiece pieces = [this, all = photoBytes.Pieces()] {
            if (progress_.StopRequested()) throw SaveStopped{};
            return all();
        };
        if (showBytes_) pieces = CountedInBytes(std::move(pieces), length, progress_);
        // The time it was taken, from what is saved of it, read where the writing starts anyway.
        auto taken = PhotoFileTime(platform_, photo.Kind, photoBytes.Bytes());
        // Under the card's folders and name where asked for and known, with its time where the photo has none.
        std::string name = entry.name;
        if (card_.names && verdict.file) {
            if (const auto relative = CardRelativePath(*verdict.file)) name = *relative, entry.card = verdict.file;
            if (!taken && verdict.file->modified) taken = CardFileTime(platform_, *verdict.file->modified);
        }
        Committed committed;
        if (const auto failure = WriteWholeFile(destination_, name, pieces, taken, &committed))
            throw SaveError(entry.name + " could not be written: " + *failure);
        entry.path = destination_.PathOf(committed.name);
        entry.otherName = committed.otherName;
        entry.alreadyThere = committed.alreadyThere;
        entry.zeros = photoBytes.Unreadable();
        if (entry.status == PhotoStatus::Whole) {
            for (const ByteExtent& extent : photoBytes.Extents()) Take(extent.start, extent.start + extent.length);
            if (entry.pieces == 1) container_ = Container{entry.index, start + length};
        }
    }

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
void Tally(SaveReport& report, const SavedEntry& entry, const SaveListener& each) {
    if (!entry.failure.empty() && report.failed++ == 0) report.firstFailure = entry.failure;
    switch (entry.status) {
        case PhotoStatus::Incomplete:
            if (report.firstIncomplete.size() < kIncompleteNamed) report.firstIncomplete.push_back(entry.name);
            ++report.incomplete;
            [[fallthrough]];
        case PhotoStatus::Whole:
            if (entry.pieces > 1) ++report.reassembled;
            ++report.saved;
            if (entry.otherName) ++report.otherNames;
            if (entry.alreadyThere) ++report.alreadyThere;
            break;
        case PhotoStatus::Inside: ++report.inside; break;
        case PhotoStatus::NotAPhoto: ++report.notPhotos; break;
        case PhotoStatus::Unknown: break;
    }
    if (!entry.zeros.empty()) {
        if (report.zeroFilled.size() < SectorRanges::kMostRanges) report.zeroFilled.push_back({entry.name, entry.zeros});
        report.unreadable.Add(entry.zeros);
    }
    if (each) each(entry);
}

// Saves `count` entries, the i-th being `indexAt(i)`.
SaveReport SaveEach(Platform& platform, CommandProgress& frontEnd, FoundPhotoTable& table, std::size_t count,
                    const std::function<std::int64_t(std::size_t)>& indexAt, Destination& destination,
                    const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    SaveReport report;
    SaveProgress progress(frontEnd);
    if (destination.refusal()) {
        report.refused = *destination.refusal();
        return report;
    }
    // Save All counts its photos; Save of one photo, which may be long, its bytes.
    const bool countPhotos = count != 1;
    if (countPhotos) progress.Total(static_cast<std::int64_t>(count));
    Saver saver(platform, progress, table, destination, Prefix, !countPhotos, card);
    for (std::size_t i = 0; i < count; ++i) {
        if (progress.StopRequested()) {
            report.stopped = true;
            break;
        }
        SavedEntry entry;
        entry.index = indexAt(i);
        try {
            entry = saver.Save(entry.index);
        } catch (const SaveError& error) {
            entry.failure = error.what();
        } catch (const SaveStopped&) {
            report.stopped = true;
            break;
        }
        Tally(report, entry, each);
        if (countPhotos) progress.Advance(static_cast<std::int64_t>(i + 1));
    }
    return report;
}

}  // namespace

// An entry done with, or a photo put off, waiting for the ones before it to be told of.
struct SaveAlongScan::State {
    State(Platform& platform, CommandProgress& frontEnd, FoundPhotoTable& table, Destination& destination,
          const std::string& prefix, const SaveListener& each, const CardUse& card, Along along)
        : progress(frontEnd), destination(destination), table(table), prefix(prefix), each(each),
          saver(platform, progress, table, destination, prefix, false, card, std::move(along)) {}
    // One entry held back: a photo put off, an entry of nothing written (inside another, or none)
    // in a few numbers, or the whole of what became of it.
    struct Held {
        std::int64_t index;
        PhotoStatus status;
        std::int64_t container;
        std::unique_ptr<SavedEntry> entry;
        std::unique_ptr<PutOff> putOff;
    };
    void Hold(SavedEntry&& entry, std::optional<PutOff>&& putOff) {
        Held held{entry.index, entry.status, entry.container, nullptr, nullptr};
        if (putOff) held.putOff = std::make_unique<PutOff>(std::move(*putOff));
        else if (!Plain(entry)) held.entry = std::make_unique<SavedEntry>(std::move(entry));
        this->held.push_back(std::move(held));
    }
    // What is told of an entry that wrote nothing is all in the table and these numbers.
    static bool Plain(const SavedEntry& entry) {
        return (entry.status == PhotoStatus::Inside || entry.status == PhotoStatus::NotAPhoto) && entry.path.empty() &&
               entry.failure.empty() && entry.zeros.empty() && !entry.card;
    }
    void Tell(Held& held) {
        if (held.entry) return Tally(report, *held.entry, each);
        SavedEntry entry;
        entry.index = held.index;
        entry.name = EntryName(prefix, held.index, table[static_cast<std::size_t>(held.index)].Kind);
        entry.status = held.status;
        entry.container = held.container;
        Tally(report, entry, each);
    }
    SaveProgress progress;
    Destination& destination;
    const FoundPhotoTable& table;
    const std::string& prefix;
    const SaveListener& each;
    Saver saver;
    SaveReport report;
    std::deque<Held> held;  // from the first photo put off on, in the table's order
    bool begun = false;
    bool inOrder = true;  // entries are told of in the table's order (see kHeldMost)
};

SaveAlongScan::SaveAlongScan(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                             const std::string& prefix, const SaveListener& each, const CardUse& card, std::int64_t driveEnd,
                             std::function<bool(std::size_t)> awaitEntry)
    : state_(std::make_unique<State>(platform, progress, table, destination, prefix, each, card,
                                     Along{driveEnd, std::move(awaitEntry)})) {}

SaveAlongScan::~SaveAlongScan() = default;

bool SaveAlongScan::Save(std::int64_t index) {
    State& state = *state_;
    if (!state.begun) {
        state.begun = true;
        if (state.destination.refusal()) state.report.refused = *state.destination.refusal();
    }
    if (!state.report.refused.empty() || state.report.stopped) return false;
    if (state.progress.StopRequested()) {
        state.report.stopped = true;
        return false;
    }
    SavedEntry entry;
    entry.index = index;
    std::optional<PutOff> putOff;
    try {
        entry = state.saver.Save(index, &putOff);
    } catch (const SaveError& error) {
        entry.failure = error.what();
    } catch (const SaveStopped&) {
        state.report.stopped = true;
        return false;
    }
    if (putOff || (state.inOrder && !state.held.empty()))
        state.Hold(std::move(entry), std::move(putOff));
    else
        Tally(state.report, entry, state.each);
    // Past so many held back, memory counts more than their order: the entries saved are told of
    // now, the photos put off after them.
    if (state.inOrder && state.held.size() > kHeldMost) {
        state.inOrder = false;
        std::deque<State::Held> putOffs;
        for (State::Held& held : state.held)
            if (held.putOff) putOffs.push_back(std::move(held));
            else state.Tell(held);
        state.held = std::move(putOffs);
    }
    return true;
}

SaveReport SaveAlongScan::Finish() {
    State& state = *state_;
    if (!state.report.refused.empty()) return state.report;
    for (State::Held& held : state.held) {
        if (held.putOff) {
            // Stopped, what was put off is not saved; what was saved meanwhile is still told of.
            if (state.report.stopped) continue;
            if (state.progress.StopRequested()) {
                state.report.stopped = true;
                continue;
            }
            held.entry = std::make_unique<SavedEntry>();
            try {
                *held.entry = state.saver.Save(*held.putOff);
            } catch (const SaveError& error) {
                *held.entry = SavedEntry{};  // as Save All tells of a photo that failed
                held.entry->index = held.index;
                held.entry->failure = error.what();
            } catch (const SaveStopped&) {
                state.report.stopped = true;
                continue;
            }
        }
        state.Tell(held);
    }
    state.held.clear();
    return state.report;
}

std::int64_t DriveEnd(const FoundPhotoTable& table) { return table.empty() ? 0 : table.back().EndSector; }

std::vector<std::string> PhotoDrives(const FoundPhotoTable& table, const std::vector<std::int64_t>& indexes) {
    std::vector<std::string> drives;
    for (const std::int64_t index : indexes)
        if (index >= 0 && index < static_cast<std::int64_t>(table.size())) {
            const std::string drive = table[static_cast<std::size_t>(index)].Drive;
            if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
        }
    return drives;
}

std::vector<std::string> PhotoDrives(const FoundPhotoTable& table) {
    std::vector<std::string> drives;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string drive = table[i].Drive;
        if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
    }
    return drives;
}

std::string SaveFile(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, std::int64_t FileNum,
                     const std::string& Folder, const std::string& Prefix) {
    Destination destination(platform, Folder, PhotoDrives(table, {FileNum}));
    SaveProgress counted(progress);
    Saver saver(platform, counted, table, destination, Prefix);
    SavedEntry entry;
    try {
        entry = saver.Save(FileNum);
    } catch (const SaveStopped&) {
        throw SaveError(EntryName(Prefix, FileNum, table[static_cast<std::size_t>(FileNum)].Kind) +
                        " was not saved: saving was stopped.");
    }
    if (entry.status == PhotoStatus::NotAPhoto)
        throw SaveError(entry.name + " was not saved: it is not a photo, nothing of a picture follows its signature.");
    return entry.path;
}

SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, const std::string& Folder, const std::string& Prefix,
                      const SaveListener& each, const CardUse& card) {
    Destination destination(platform, Folder, PhotoDrives(table, indexes));
    return SavePhotos(platform, progress, table, indexes, destination, Prefix, each, card);
}

SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, Destination& destination, const std::string& Prefix,
                      const SaveListener& each, const CardUse& card) {
    return SaveEach(platform, progress, table, indexes.size(), [&](std::size_t i) { return indexes[i]; }, destination, Prefix,
                    each, card);
}

SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, const std::string& Folder,
                         const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    Destination destination(platform, Folder, PhotoDrives(table));
    return SaveAllPhotos(platform, progress, table, destination, Prefix, each, card);
}

SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                         const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    return SaveEach(platform, progress, table, table.size(), [](std::size_t i) { return static_cast<std::int64_t>(i); },
                    destination, Prefix, each, card);
}

std::optional<std::string> SaveShortfall(const SaveReport& report) {
    if (!report.refused.empty()) return report.refused;
    if (report.failed == 0) return std::nullopt;
    const auto asked = report.saved + report.failed;
    return "Saved " + std::to_string(report.saved) + " of " + std::to_string(asked) +
           (asked == 1 ? " photo; " : " photos; ") + std::to_string(report.failed) + " could not be saved.\n\n" +
           report.firstFailure;
}


}  // namespace kelvara
