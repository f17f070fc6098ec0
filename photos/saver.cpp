#include "photos/saver.h"

#include <algorithm>
#include <limits>
#include <new>

#include "destination/written_file.h"
#include "diskio/disk_error.h"
#include "photos/card_names.h"
#include "photos/drive_bytes.h"
#include "photos/photo_bytes.h"
#include "photos/photo_date.h"
#include "photos/reassembled_photo.h"
#include "scan/entry_name.h"

namespace kelvara {
namespace {

constexpr std::size_t kIncompleteNamed = 5;

constexpr std::uint64_t kMaxProgress = std::numeric_limits<std::int64_t>::max();

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

}  // namespace

// One drive read from its first sector, and what is known of the entries on it. Made again after
// a read fails; a card put back in is read on where its source finds it the same card.
struct DriveReader {
    DriveReader(SectorSource& source, SaveProgress& progress, FoundPhotoTable& table, const std::string& drive,
                const CardUse& use, const Along* along, Destination& destination)
        : overflow(OverflowFileIn(destination)),
          drive(drive),
          table(table),
          end(along ? along->driveEnd : DriveEnd(table)),
          bytes(source, 0, end, end,
                [&progress] {
                    progress.Live();
                    if (progress.StopRequested()) throw SaveStopped{};
                },
                // Behind the scan, the bytes it read last are kept already (CardWindow).
                along ? DriveBytes::kKeptBytes / 2 : DriveBytes::kKeptBytes),
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
    // After the scan, what gives way of a long photo here (behind it, the scan's window keeps that).
    Overflow overflow;
    std::string drive;
    FoundPhotoTable& table;
    std::int64_t end;
    DriveBytes bytes;
    PhotoResolution resolution;
    CardEntries card;
    std::optional<PieceSearch> pieces;
};

Saver::Saver(Platform& platform, SaveProgress& progress, FoundPhotoTable& table, Destination& destination,
             const std::string& prefix, bool showBytes, const CardUse& card, std::optional<Along> along)
    : platform_(platform), progress_(progress), table_(table), destination_(destination), prefix_(prefix),
      showBytes_(showBytes), card_(card), along_(std::move(along)), source_(platform, card.source),
      logTaken_(along_.has_value()) {}

Saver::~Saver() = default;

bool Saver::ReleaseOverflow() {
    bool released = reader_ && reader_->overflow.Release();
    if (along_ && along_->releaseOverflow) released = along_->releaseOverflow() || released;
    return released;
}

// Saves one entry; throws SaveError when it cannot, SaveStopped when the user asks to stop.
// With `putOff`, a photo that broke off with no chain of the card holding it is only judged,
// and handed out there instead.
SavedEntry Saver::Save(std::int64_t index, std::optional<PutOff>* putOff) {
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
SavedEntry Saver::Save(PutOff& putOff) {
    logTaken_ = false;
    const FoundPhoto photo = table_[static_cast<std::size_t>(putOff.index)];
    SavedEntry entry;
    entry.index = putOff.index;
    entry.name = EntryName(prefix_, putOff.index, photo.Kind);
    entry.status = putOff.cut.status;
    // A reader made anew after a failure knows of none taken before it, as in a save scanning first.
    if (!reader_ || reader_->drive != photo.Drive.str())
        reader_ = std::make_unique<DriveReader>(source_.For(photo.Drive), progress_, table_, photo.Drive, card_,
                                                along_ ? &*along_ : nullptr, destination_);
    for (; replayed_ < putOff.takenBefore; ++replayed_) {
        const Taken& taken = taken_[replayed_];
        if (taken.start == kReaderMadeAnew) reader_->pieces.reset();
        else reader_->Pieces().Taken(taken.start, taken.end);
    }
    Guarded(entry, [&] { Write(photo, entry, CardVerdict{putOff.cut, putOff.file, std::nullopt}); });
    progress_.Live();
    return entry;
}

// Runs `work` on `entry`, turning what the card and memory throw into the entry's SaveError.
template <class Work>
void Saver::Guarded(SavedEntry& entry, Work&& work) {
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

void Saver::ForgetReader() {
    reader_.reset();
    if (logTaken_) taken_.push_back({kReaderMadeAnew, 0});
}

// Bytes a photo saved whole took: no piece of another is looked for there. Going along behind
// the scan they are logged, for the photos put off to find as they would have.
void Saver::Take(std::uint64_t start, std::uint64_t end) {
    if (logTaken_) taken_.push_back({start, end});
    else reader_->Pieces().Taken(start, end);
}

// What entry is to be saved as: its cut as its structure and the card's entry say. nullopt
// when nothing of it is written (it lies inside another photo, or is none).
std::optional<CardVerdict> Saver::Judge(const FoundPhoto& photo, SavedEntry& entry) {
    if (!reader_ || reader_->drive != photo.Drive.str())
        reader_ = std::make_unique<DriveReader>(source_.For(photo.Drive), progress_, table_, photo.Drive, card_,
                                                along_ ? &*along_ : nullptr, destination_);
    const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
    if (!along_) reader_->bytes.KeepFrom(start, reader_->overflow);
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

void Saver::Write(const FoundPhoto& photo, SavedEntry& entry, const CardVerdict& verdict) {
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
    const auto pieces = [&] {
        NextPiece next = [this, all = photoBytes.Pieces()] {
            if (progress_.StopRequested()) throw SaveStopped{};
            return all();
        };
        return showBytes_ ? CountedInBytes(std::move(next), length, progress_) : next;
    };
    // The time it was taken, from what is saved of it, read where the writing starts anyway.
    auto taken = PhotoFileTime(platform_, photo.Kind, photoBytes.Bytes());
    // Under the card's folders and name where asked for and known, with its time where the photo has none.
    std::string name = entry.name;
    if (card_.names && verdict.file) {
        if (const auto relative = CardRelativePath(*verdict.file)) name = *relative, entry.card = verdict.file;
        if (!taken && verdict.file->modified) taken = CardFileTime(platform_, *verdict.file->modified);
    }
    Committed committed;
    auto failure = WriteWholeFile(destination_, name, pieces(), taken, &committed);
    // What was kept of long photos in the folder may have taken the room this one needed: it goes,
    // and the photo is read from the card again.
    if (failure && ReleaseOverflow()) failure = WriteWholeFile(destination_, name, pieces(), taken, &committed);
    if (failure) throw SaveError(entry.name + " could not be written: " + *failure);
    entry.path = destination_.PathOf(committed.name);
    entry.otherName = committed.otherName;
    entry.alreadyThere = committed.alreadyThere;
    entry.zeros = photoBytes.Unreadable();
    if (entry.status == PhotoStatus::Whole) {
        for (const ByteExtent& extent : photoBytes.Extents()) Take(extent.start, extent.start + extent.length);
        if (entry.pieces == 1) container_ = Container{entry.index, start + length};
    }
}

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

}  // namespace kelvara
