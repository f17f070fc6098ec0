#include "photos/photo_resolution.h"

#include <algorithm>

#include "diskio/sector.h"
#include "photos/media_check.h"
#include "photos/photo_bytes.h"

namespace kelvara {
namespace {

// Walks within walks: a RAW's preview JPEG and that preview's thumbnail are three; the fourth
// walk sees the drive end at the next entry.
constexpr std::size_t kDeepest = 4;
// Kept of where inner entries reach, for each level; past it neighbours are merged, which can
// only make a structure count as broken, never let it swallow a photo.
constexpr std::size_t kReachesKept = 4096;
constexpr std::size_t kCutsKept = 256;

}  // namespace

// An entry's bytes as its walk sees them: from its start, each piece ending at the next entry
// not yet walked. A walk that jumps to or past that entry's start waits while it is walked; one
// that reads on into it byte after byte passes it by (its structure may end there, as a file
// whose end is found by looking at what follows, and if not the entry is walked once this walk
// ends). The deepest walk sees the bytes end at the next entry instead.
class PhotoResolution::EntryBytes final : public ByteSource {
public:
    EntryBytes(PhotoResolution& owner, std::uint64_t start) : owner_(owner), start_(start), served_(start) {}

    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        const std::uint64_t at = start_ + offset;
        if (at < start_) return {};  // past what a drive can hold
        for (;;) {
            const std::size_t fence = std::max(owner_.next_, passed_);
            const auto next = owner_.StartOnDrive(fence);
            if (!next || at < *next) {
                std::span<const std::uint8_t> piece = owner_.bytes_.From(at);
                if (next) piece = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), *next - at)));
                served_ = at + piece.size();
                return piece;
            }
            if (owner_.levels_.size() >= kDeepest) {
                if (!cutAt_) cutAt_ = *next;
                return {};
            }
            if (at == served_ && at == *next) {
                passed_ = fence + 1;
                continue;
            }
            while (const auto waiting = owner_.StartOnDrive(owner_.next_)) {
                if (*waiting > at) break;
                owner_.WalkEntry(owner_.next_);
            }
        }
    }

    // Where the deepest walk was stopped, when it was.
    std::optional<std::uint64_t> CutAt() const { return cutAt_; }

private:
    PhotoResolution& owner_;
    std::uint64_t start_;
    std::uint64_t served_;           // where the last piece handed out ended
    std::size_t passed_ = 0;         // entries below this one were read on into, not waited for
    std::optional<std::uint64_t> cutAt_;
};

void PhotoResolution::Reaches::Add(std::uint64_t start, std::uint64_t end) {
    auto at = std::lower_bound(reaches_.begin(), reaches_.end(), start,
                               [](const Reach& reach, std::uint64_t value) { return reach.start < value; });
    // One that starts no later and ends no sooner says all this one would.
    if (at != reaches_.begin() && std::prev(at)->end >= end) return;
    if (at != reaches_.end() && at->start == start && at->end >= end) return;
    auto past = at;
    while (past != reaches_.end() && past->end <= end) ++past;
    at = reaches_.erase(at, past);
    reaches_.insert(at, Reach{start, end});
    if (reaches_.size() > kReachesKept) {
        Reach& last = reaches_[reaches_.size() - 2];
        last.end = reaches_.back().end;
        reaches_.pop_back();
    }
}

std::optional<std::uint64_t> PhotoResolution::Reaches::PastEnd(std::uint64_t end) const {
    const auto first = std::upper_bound(reaches_.begin(), reaches_.end(), end,
                                        [](std::uint64_t value, const Reach& reach) { return value < reach.end; });
    if (first == reaches_.end() || first->start >= end) return std::nullopt;
    return first->start;
}

PhotoResolution::PhotoResolution(FoundPhotoTable& table, ByteSource& bytes, const std::string& drive, EntryWait wait)
    : table_(table), bytes_(bytes), drive_(drive), wait_(std::move(wait)) {}

std::uint64_t PhotoResolution::StartOf(std::size_t index) const {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(0, table_[index].StartSector)) * kSectorSize;
}

std::optional<std::uint64_t> PhotoResolution::StartOnDrive(std::size_t index) const {
    if (index >= table_.size() && !(wait_ && wait_(index))) return std::nullopt;
    const FoundPhoto photo = table_[index];
    if (!(photo.Drive == drive_) || photo.StartSector < 0) return std::nullopt;
    return static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
}

PhotoCut PhotoResolution::Resolve(std::size_t index) {
    if (index < first_ || index >= next_) {
        first_ = next_ = index;
        levels_.clear();
        try {
            WalkEntry(index);
        } catch (...) {
            first_ = next_ = 0;  // what was not finished is walked again when asked for
            throw;
        }
    }
    const PhotoStatus status = table_[index].Status;
    if (status != PhotoStatus::Whole && status != PhotoStatus::Incomplete) return {status, 0};
    for (const Remembered& remembered : cuts_)
        if (remembered.index == index) return remembered.cut;
    return CutAgain(index, status);
}

void PhotoResolution::WalkEntry(std::size_t index) {
    StartOnDrive(index + 1);  // a table still growing holds the next entry then: this one's run is known
    next_ = index + 1;
    const FoundPhoto photo = table_[index];
    const std::uint64_t start = StartOf(index);
    const std::uint64_t run = photo.EndSector > photo.StartSector
                                  ? static_cast<std::uint64_t>(photo.EndSector - photo.StartSector) * kSectorSize
                                  : 0;
    levels_.push_back({index, {}});
    struct Pop {
        std::vector<Level>& levels;
        ~Pop() { levels.pop_back(); }
    } pop{levels_};

    EntryBytes entry(*this, start);
    const formats::Format& format = formats::FormatOf(photo.Kind);
    Walk walk = format.WalkStructure(entry);
    std::optional<std::uint64_t> cutAt = entry.CutAt();
    if (walk.end && !cutAt) {
        // Entries under its end that its walk did not reach over (a directory may only say where
        // its parts lie): each is walked now, as one inside it.
        while (const auto inner = StartOnDrive(next_)) {
            if (*inner >= start + *walk.end) break;
            if (levels_.size() >= kDeepest) {
                cutAt = *inner;
                break;
            }
            WalkEntry(next_);
        }
        // A still image of boxes (HEIC, AVIF) whole by its own sizes never lies inside another
        // file of boxes: where one does, the outer's sizes took in clusters not its own (it lies
        // in pieces over the photos between, as a phone writes into the holes of deleted ones),
        // and it breaks where that photo starts. The photo inside is then saved on its own.
        for (std::size_t inner = index + 1; inner < next_ && !cutAt; ++inner)
            if (&formats::FormatOf(table_[inner].Kind) == &format && formats::VariantOf(table_[inner].Kind).group == "heif" &&
                table_[inner].Status == PhotoStatus::Whole)
                cutAt = StartOnDrive(inner);
        // Nor does another photo lie whole inside a HEIC, a clip or a TIFF whose media data do not
        // hold past that photo's start: the same pieces over a photo between, told by the coded data.
        if (!cutAt && MediaCheckable(photo.Kind))
            for (std::size_t inner = index + 1; inner < next_; ++inner) {
                if (table_[inner].Status != PhotoStatus::Whole) continue;
                const auto at = StartOnDrive(inner);
                if (!at) break;
                SourceView outer(bytes_, start, *walk.end);
                const std::uint64_t inside[] = {*at - start};
                if (CheckMediaData(photo.Kind, outer, inside) == MediaCheck::Fails) cutAt = at;
                break;
            }
    }

    PhotoCut cut;
    std::optional<std::uint64_t> reach;  // where what is kept of it ends, from the drive's start
    if (walk.end && !cutAt) {
        const std::uint64_t end = start + *walk.end;
        if (const auto met = levels_.back().inner.PastEnd(end)) {
            walk = Walk{std::nullopt, *met - start, true};
        } else {
            cut = {PhotoStatus::Whole, *walk.end};
            reach = end;
            for (std::size_t inside = index + 1; inside < next_; ++inside) {
                const auto at = StartOnDrive(inside);
                if (!at || *at >= end) break;
                table_.SetStatus(inside, PhotoStatus::Inside);
            }
        }
    }
    if (cut.status != PhotoStatus::Whole) {
        if (cutAt) {
            walk.end.reset();
            walk.reached = std::min(walk.reached, *cutAt - start);
        }
        SourceView bytes(bytes_, start);
        const std::uint64_t length = BrokenLength(bytes, run, walk, format.endMarker);
        if (!walk.image && !format.HoldsImage(bytes, length)) {
            cut = {PhotoStatus::NotAPhoto, 0};
        } else {
            cut = {PhotoStatus::Incomplete, length};
            reach = start + length;
        }
    }
    table_.SetStatus(index, cut.status);
    Remember(index, cut);
    // Only a whole structure may cut one around it: a broken one (a chance FF D8 in a clip's data
    // walked on into what follows) says nothing certain of where it ends, and a structure whole
    // by its own sizes keeps it inside.
    if (reach && cut.status == PhotoStatus::Whole)
        for (std::size_t level = 0; level + 1 < levels_.size(); ++level) levels_[level].inner.Add(start, *reach);
}

PhotoCut PhotoResolution::CutAgain(std::size_t index, PhotoStatus status) {
    // The same walk again, now alone: a whole photo ends where it ended; a broken one breaks off
    // at the same place within its run, and its run holds all that was kept of it.
    const FoundPhoto photo = table_[index];
    const std::uint64_t start = StartOf(index);
    const std::uint64_t run = photo.EndSector > photo.StartSector
                                  ? static_cast<std::uint64_t>(photo.EndSector - photo.StartSector) * kSectorSize
                                  : 0;
    const formats::Format& format = formats::FormatOf(photo.Kind);
    SourceView bytes(bytes_, start);
    if (status == PhotoStatus::Whole) {
        if (const auto end = format.WalkStructure(bytes).end) return {status, *end};
    }
    SourceView within(bytes_, start, run);
    const Walk walk = format.WalkStructure(within);
    return {PhotoStatus::Incomplete, BrokenLength(bytes, run, walk, format.endMarker)};
}

void PhotoResolution::Remember(std::size_t index, const PhotoCut& cut) {
    if (cut.status != PhotoStatus::Whole && cut.status != PhotoStatus::Incomplete) return;
    if (cuts_.size() < kCutsKept) {
        cuts_.push_back({index, cut});
        return;
    }
    cuts_[cutsAt_] = {index, cut};
    cutsAt_ = (cutsAt_ + 1) % kCutsKept;
}

}  // namespace kelvara
