#include "photos/piece_search.h"

#include <algorithm>
#include <array>

#include "diskio/sector.h"
#include "formats/byte_reader.h"
#include "formats/format_table.h"
#include "photos/jpeg_decode.h"
#include "photos/media_check.h"

namespace kelvara {
namespace {

constexpr std::size_t kMostPieces = 8;
constexpr std::size_t kEndsTried = 8;            // cluster starts before a break tried as a piece's end
constexpr std::uint64_t kNearTried = 4;          // clusters past the interrupting photos, tried first
constexpr std::uint64_t kFarthestTried = 4096;   // cluster starts across the card, then no further
constexpr std::size_t kMostTries = 512;          // decodes or walks for one photo
// Clusters looked at across the card, and whole photos walked, for all photos together, in card
// sizes: the searches of a card full of broken photos read it a few times, not once for each.
constexpr std::uint64_t kFarReads = 2;
constexpr auto kTimeForAPhoto = std::chrono::seconds(4);  // a safety net: the tries bound it first
constexpr std::uint64_t kLargestKept = 32 << 20;  // a photo's pieces so far are kept in memory, within the bound on memory
constexpr std::uint64_t kLargestContinuation = 256 << 20;
constexpr std::size_t kMostHops = 256;            // whole photos passed in a row
constexpr std::size_t kWalksKept = 4096;
constexpr std::size_t kEntriesLookedBack = 256;  // for a whole photo around a place
constexpr std::size_t kTakenKept = 65536;
constexpr std::uint64_t kDecoderSlack = 1024;

// The pieces found so far, kept in memory, then the drive from a candidate continuation on.
class Joined final : public ByteSource {
public:
    Joined(std::span<const std::uint8_t> kept, ByteSource& drive, std::uint64_t at, std::uint64_t driveBytes)
        : kept_(kept), drive_(drive), at_(at), driveBytes_(std::min(driveBytes, at + kLargestContinuation)) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        if (offset < kept_.size()) return kept_.subspan(static_cast<std::size_t>(offset));
        const std::uint64_t on = at_ + (offset - kept_.size());
        if (on >= driveBytes_) return {};
        const auto piece = drive_.From(on);
        return piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), driveBytes_ - on)));
    }

private:
    std::span<const std::uint8_t> kept_;
    ByteSource& drive_;
    std::uint64_t at_, driveBytes_;
};

std::optional<std::uint64_t> Sooner(std::optional<std::uint64_t> a, std::optional<std::uint64_t> b) {
    if (a && b) return std::min(*a, *b);
    return a ? a : b;
}

bool IsJpeg(const formats::Format& format) { return &format == &formats::jpeg::kFormat; }
// The formats whose structure can confirm a join: their walk checks what lies after it.
bool Joinable(const formats::Format& format) {
    return IsJpeg(format) || &format == &formats::iso_media::kFormat || &format == &formats::riff::kFormat ||
           &format == &formats::png::kFormat || &format == &formats::gif::kFormat || &format == &formats::tiff::kFormat;
}

}  // namespace

// One photo's search: its pieces so far, and what it may still spend.
struct PieceSearch::Search {
    std::size_t index;  // the photo being put back together
    const formats::Format& format;
    bool jpeg;
    std::vector<std::uint8_t> kept{};  // the closed pieces' bytes
    ByteExtents pieces{};              // the closed pieces
    std::size_t tries = 0;
    bool shortPieces = false;  // a continuation may be one cluster long
    // A HEIC's or a clip's boxes cannot tell a join in its media data: its pictures must then
    // decode clean, or its video samples hold, past the first join once the whole holds.
    std::optional<FileKind> checked{};
    std::vector<std::uint64_t> untold{};  // bytes kept at each join the structure could not tell
    std::optional<std::uint64_t> size{};        // the file's size, as the card's entry for it gives it
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kTimeForAPhoto;
    bool Spent() const { return tries >= kMostTries || std::chrono::steady_clock::now() > deadline; }
};

PieceSearch::PieceSearch(const FoundPhotoTable& table, ByteSource& bytes, const std::string& drive, ClusterGrid grid,
                         std::uint64_t driveBytes)
    : table_(table), bytes_(bytes), drive_(drive), grid_(grid), driveBytes_(driveBytes) {}

void PieceSearch::Taken(std::uint64_t start, std::uint64_t end) {
    if (end <= start) return;
    taken_[start] = std::max(taken_[start], end);
    // Saved in card order, and continuations lie further on: the earliest are let go first.
    if (taken_.size() > kTakenKept) taken_.erase(taken_.begin());
}

std::size_t PieceSearch::EntriesBefore(std::int64_t sector) const {
    std::size_t low = 0, high = table_.size();
    while (low < high) {  // the table lies in card order
        const std::size_t middle = low + (high - low) / 2;
        if (table_[middle].StartSector < sector) low = middle + 1;
        else high = middle;
    }
    return low;
}

bool PieceSearch::WholeEndKnowable(std::size_t index) const {
    return wholeEnds_.count(index) || walked_ < driveBytes_ * kFarReads;
}

std::uint64_t PieceSearch::FirstStart(std::uint64_t from, std::uint64_t to) const {
    const auto first = static_cast<std::int64_t>(from / kSectorSize) + 1;
    const auto last = static_cast<std::int64_t>((to + kSectorSize - 1) / kSectorSize);
    for (std::size_t i = EntriesBefore(first); i < table_.size() && table_[i].StartSector < last; ++i)
        if (table_[i].Drive == drive_ && table_[i].Status != PhotoStatus::Inside)
            return std::max(from, static_cast<std::uint64_t>(table_[i].StartSector) * kSectorSize);
    return to;
}

std::uint64_t PieceSearch::FirstTaken(std::uint64_t start, std::uint64_t end) const {
    std::uint64_t takenEnd = 0;
    if (IsTaken(start, &takenEnd)) return start;
    const auto next = taken_.lower_bound(start);
    return next != taken_.end() && next->first < end ? next->first : end;
}

bool PieceSearch::IsTaken(std::uint64_t at, std::uint64_t* takenEnd) const {
    auto after = taken_.upper_bound(at);
    if (after == taken_.begin()) return false;
    --after;
    if (after->second <= at) return false;
    *takenEnd = after->second;
    return true;
}

std::optional<std::size_t> PieceSearch::EntryAt(std::uint64_t at) const {
    if (at % kSectorSize != 0) return std::nullopt;
    const auto sector = static_cast<std::int64_t>(at / kSectorSize);
    if (const std::size_t low = EntriesBefore(sector); low < table_.size()) {
        const FoundPhoto photo = table_[low];
        if (photo.StartSector == sector && photo.Drive == drive_) return low;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> PieceSearch::WholeEnd(std::size_t index) {
    if (const auto known = wholeEnds_.find(index); known != wholeEnds_.end()) return known->second;
    const FoundPhoto photo = table_[index];
    const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
    if (!WholeEndKnowable(index)) return std::nullopt;
    SourceView bytes(bytes_, start, driveBytes_ - start);
    const Walk walk = formats::WalkStructure(photo.Kind, bytes);
    std::optional<std::uint64_t> end;
    if (walk.end) end = start + *walk.end;
    walked_ += walk.reached;
    if (wholeEnds_.size() >= kWalksKept) wholeEnds_.erase(wholeEnds_.begin());
    wholeEnds_[index] = end;
    return end;
}

std::uint64_t PieceSearch::PastWholePhotos(std::uint64_t at) {
    at = grid_.StartAtOrAfter(at);
    for (std::size_t hop = 0; hop < kMostHops && at < driveBytes_; ++hop) {
        std::uint64_t takenEnd = 0;
        if (IsTaken(at, &takenEnd)) {
            at = grid_.StartAtOrAfter(takenEnd);
            continue;
        }
        const auto entry = EntryAt(at);
        if (!entry) break;
        const auto end = WholeEnd(*entry);
        if (!end) break;
        at = grid_.StartAtOrAfter(*end);
    }
    return at;
}

bool PieceSearch::MayContinue(bool jpeg, std::uint64_t at) {
    if (at >= driveBytes_) return false;
    std::uint64_t takenEnd = 0;
    if (IsTaken(at, &takenEnd)) return false;
    // Another photo's start is not this one's continuation.
    if (const auto entry = EntryAt(at); entry && table_[*entry].Status != PhotoStatus::Inside) return false;
    std::array<std::uint8_t, 2048> head{};
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>({head.size(), grid_.clusterBytes, driveBytes_ - at}));
    std::size_t have = 0;
    while (have < want) {
        const auto piece = bytes_.From(at + have);
        if (piece.empty()) break;
        const std::size_t count = std::min(piece.size(), want - have);
        std::copy_n(piece.begin(), count, head.begin() + static_cast<long>(have));
        have += count;
    }
    if (have < want || have == 0) return false;
    // A cleared or formatted cluster holds one byte over and over (compressed data of a flat
    // picture may repeat a few).
    std::array<bool, 256> seen{};
    int different = 0;
    for (std::size_t i = 0; i < have; ++i)
        if (!seen[head[i]]) seen[head[i]] = true, ++different;
    if (different < 3) return false;
    if (!jpeg) return true;
    // A JPEG's entropy-coded data hold FF only before 00, a restart, or its end.
    for (std::size_t i = 0; i + 1 < have; ++i)
        if (head[i] == 0xFF) {
            const std::uint8_t next = head[i + 1];
            if (next == 0xD9) break;
            if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) return false;
        }
    return true;
}

std::optional<ByteExtents> PieceSearch::Join(std::size_t index, std::uint64_t kept, std::optional<std::uint64_t> size) {
    if (!grid_.Known() || index >= table_.size()) return std::nullopt;
    const FoundPhoto photo = table_[index];
    const formats::Format& format = formats::FormatOf(photo.Kind);
    if (!(photo.Drive == drive_) || photo.StartSector < 0 || !Joinable(format)) return std::nullopt;
    const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
    if (start >= driveBytes_ || kept == 0) return std::nullopt;
    Search search{.index = index, .format = format, .jpeg = IsJpeg(format)};
    search.size = size;

    // Where what was kept of it breaks: its walk's break, or for a JPEG its decode's first fault
    // where that comes sooner. Nothing past what was kept is read for it.
    SourceView run(bytes_, start, std::min(kept, driveBytes_ - start));
    const Walk walk = format.WalkStructure(run);
    if (walk.end) return std::nullopt;
    if (MediaCheckablePast(photo.Kind, run, kept)) search.checked = photo.Kind;
    // A TIFF's directories say where its strips lie, not what lies between: without JPEG-coded
    // strips past the break no join of it can be told.
    else if (&format == &formats::tiff::kFormat) return std::nullopt;
    // A structure of boxes or chunks may hold its break a long way back (inside a clip's media
    // data): its piece may end anywhere up to where what was kept ends, at the photo that cut it.
    std::uint64_t brokeAt = start + std::min(kept, driveBytes_ - start);
    if (search.jpeg) {
        const JpegDecode decode = DecodeJpeg(run);
        if (!decode.judged) return std::nullopt;
        // The decoder reads a little ahead, and tells a fault a little before or after it; what was
        // kept may end at a chance end marker just before the cluster's end.
        const std::uint64_t at = std::min(walk.reached, Sooner(decode.fault, decode.jump).value_or(UINT64_MAX));
        brokeAt = std::min(start + std::min(at, kept) + kDecoderSlack, driveBytes_);
    }
    return Extend(search, start, brokeAt);
}

std::optional<ByteExtents> PieceSearch::Extend(Search& search, std::uint64_t open, std::uint64_t brokeAt) {
    if (search.pieces.size() + 1 >= kMostPieces || search.Spent()) return std::nullopt;
    // The open piece's possible ends: cluster starts at or before the break, latest first.
    // A piece never runs into bytes a photo saved whole took, nor over another photo's start
    // (where the decoder's slack would carry it past one on small clusters).
    brokeAt = std::min({brokeAt, FirstTaken(open, brokeAt), FirstStart(open, brokeAt)});
    std::vector<std::uint64_t> ends;
    for (std::uint64_t end = grid_.StartAtOrBefore(brokeAt); end > open && ends.size() < kEndsTried;
         end = end >= grid_.clusterBytes ? end - grid_.clusterBytes : 0)
        ends.push_back(end);
    if (ends.empty()) return std::nullopt;
    const std::size_t closed = search.kept.size();
    if (closed + (ends.front() - open) > kLargestKept) return std::nullopt;
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(ends.front() - open));
    {
        SourceView bytes(bytes_, open, piece.size());
        if (!formats::ReadAt(bytes, 0, piece)) return std::nullopt;
    }

    // Whether the open piece, ending at one of its ends, goes on at `at`; and if so, whether the
    // photo then holds to its end, or breaks again and goes on further.
    const auto keep = [&](std::uint64_t end) {
        search.kept.resize(closed);
        search.kept.insert(search.kept.end(), piece.begin(), piece.begin() + static_cast<long>(end - open));
    };
    // A structure that does not look into its data (a clip's media data) holds as well with any
    // other join that keeps the bytes before its next header as many: where the open piece could
    // end a cluster sooner and go on a cluster sooner, or later and later, the join is not known.
    const auto ambiguous = [&](std::uint64_t end, std::uint64_t at) {
        const std::uint64_t cluster = grid_.clusterBytes;
        const std::pair<std::uint64_t, std::uint64_t> others[] = {{end - cluster, at - cluster}, {end + cluster, at + cluster}};
        for (const auto& [otherEnd, otherAt] : others) {
            if (otherEnd <= open || otherEnd > ends.front() || (otherAt >= open && otherAt <= otherEnd)) continue;
            if (!MayContinue(false, otherAt) || InWholePhoto(otherAt, search.index)) continue;
            keep(otherEnd);
            Joined joined(search.kept, bytes_, otherAt, driveBytes_);
            const bool holds = search.format.WalkStructure(joined).end.has_value();
            keep(end);
            if (holds) return true;
        }
        return false;
    };
    const auto tryAt = [&](std::uint64_t at) -> std::optional<ByteExtents> {
        // Nor inside a photo whole by its own structure: those bytes are its own.
        if (!MayContinue(search.jpeg, at) || InWholePhoto(at, search.index)) return std::nullopt;
        for (const std::uint64_t end : ends) {
            if (at >= open && at <= end) continue;  // no gap: the run that broke
            if (search.Spent()) return std::nullopt;
            ++search.tries;
            keep(end);
            // A piece after the first never runs over another photo's start either.
            if (!search.pieces.empty() && FirstStart(open, end) < end) continue;
            const Told told = Confirms(search, at);
            if (told == Told::No) continue;
            const bool untold = !search.jpeg && (told == Told::Untold || ambiguous(end, at));
            // Nothing tells where an untold piece ends but the photo that cut it: ending sooner is
            // only more ways to be wrong.
            if (untold && (!search.checked || end != ends.front())) continue;
            const std::size_t untoldBefore = search.untold.size();
            if (untold) search.untold.push_back(search.kept.size());
            search.pieces.push_back({open, end - open});
            Joined whole(search.kept, bytes_, at, driveBytes_);
            const Walk walk = search.format.WalkStructure(whole);
            std::optional<std::uint64_t> fault;
            if (search.jpeg) {
                const JpegDecode decode = DecodeJpeg(whole);
                fault = Sooner(decode.fault, decode.jump);
            }
            const std::uint64_t last = walk.end ? *walk.end - search.kept.size() : 0;
            std::uint64_t broke = walk.end ? UINT64_MAX : walk.reached;
            if (walk.end && !fault && *walk.end > search.kept.size()) {
                // Its last piece ends where a photo saved whole took the bytes, or another starts:
                // for a structure of boxes that is where it breaks again (a JPEG's decode shows its own).
                const std::uint64_t stop = std::min(FirstTaken(at, at + last), FirstStart(at, at + last));
                if (stop == at + last) {
                    // Whole here or nowhere: past its structure's end no piece is looked for.
                    if ((!search.size || *walk.end <= *search.size) &&
                        (search.untold.empty() || CheckMediaData(*search.checked, whole, search.untold) == MediaCheck::Holds)) {
                        ByteExtents pieces = search.pieces;
                        pieces.push_back({at, last});
                        return pieces;
                    }
                } else if (!search.jpeg) {
                    broke = search.kept.size() + (stop - at);
                }
            }
            if (fault) broke = std::min(broke, *fault + kDecoderSlack);
            if (broke != UINT64_MAX && broke > search.kept.size()) {
                const std::uint64_t next = std::min(at + (broke - search.kept.size()), driveBytes_);
                if (auto pieces = Extend(search, at, next)) return pieces;
            }
            search.pieces.pop_back();
            search.untold.resize(untoldBefore);
        }
        search.kept.resize(closed);
        return std::nullopt;
    };

    // First past the whole photos that interrupt it: a continuation that decodes on, then one
    // only a cluster long (one that decodes through a cluster and then breaks is more often
    // wrong, so it comes second); then across the card. The photos passed over begin at its
    // latest end, not where the break showed: a decoder tells a fault only some bytes on, inside
    // the photo that cut it.
    const std::uint64_t past = PastWholePhotos(ends.front());
    const auto near = [&]() -> std::optional<ByteExtents> {
        for (std::uint64_t i = 0; i < kNearTried; ++i)
            if (auto pieces = tryAt(past + i * grid_.clusterBytes)) return pieces;
        return std::nullopt;
    };
    if (auto pieces = near()) return pieces;
    if (search.jpeg && !search.shortPieces) {
        search.shortPieces = true;
        auto pieces = near();
        search.shortPieces = false;
        if (pieces) return pieces;
    }
    // Across the card only for the first join: each further choice made there would multiply the
    // chance of a wrong whole that happens to decode.
    for (std::uint64_t at = grid_.StartAtOrAfter(ends.back()), n = 0;
         search.pieces.empty() && n < kFarthestTried && at < driveBytes_ && !search.Spent() && farLooked_ < driveBytes_ * kFarReads;
         ++n, farLooked_ += grid_.clusterBytes) {
        std::uint64_t takenEnd = 0;
        if (IsTaken(at, &takenEnd)) {
            at = grid_.StartAtOrAfter(takenEnd);
            continue;
        }
        if (const auto entry = EntryAt(at)) {
            if (const auto end = WholeEnd(*entry)) {
                at = grid_.StartAtOrAfter(std::max(*end, at + 1));
                continue;
            }
        }
        if (at < past || at >= past + kNearTried * grid_.clusterBytes)
            if (auto pieces = tryAt(at)) return pieces;
        at += grid_.clusterBytes;
    }
    search.kept.resize(closed);
    return std::nullopt;
}

bool PieceSearch::InWholePhoto(std::uint64_t at, std::size_t after) {
    const std::size_t low = EntriesBefore(static_cast<std::int64_t>(at / kSectorSize) + 1);
    // The entries just before it may be chance signatures inside such a photo: it is looked for
    // back over a few hundred of them. Past what may be walked, a place is not taken to be free.
    for (std::size_t i = low, looked = 0; i-- > after + 1 && looked < kEntriesLookedBack; ++looked) {
        if (!(table_[i].Drive == drive_)) continue;
        if (!WholeEndKnowable(i)) return true;
        if (const auto end = WholeEnd(i); end && *end > at) return true;
    }
    return false;
}

PieceSearch::Told PieceSearch::Confirms(Search& search, std::uint64_t at) {
    Joined joined(search.kept, bytes_, at, driveBytes_);
    if (search.jpeg) {
        // Through the continuation's first cluster and a few block rows on, or to the picture's end
        // where that comes first; where short pieces are looked for, a fault at that cluster's end is
        // the next break.
        const std::uint64_t through = search.kept.size() + grid_.clusterBytes;
        const JpegDecode decode = DecodeJpeg(joined, through);
        const auto wrong = Sooner(decode.fault, decode.jump);
        if (!decode.judged) return Told::No;
        if (!wrong) return Told::Yes;
        return search.shortPieces && *wrong + std::min(grid_.clusterBytes / 2, kDecoderSlack) >= through ? Told::Yes
                                                                                                          : Told::No;
    }
    const Walk walk = search.format.WalkStructure(joined);
    if (!walk.end || *walk.end <= search.kept.size()) return Told::No;
    // The structure must tell this continuation from the next cluster's.
    Joined other(search.kept, bytes_, at + grid_.clusterBytes, driveBytes_);
    return search.format.WalkStructure(other).end ? Told::Untold : Told::Yes;
}

}  // namespace kelvara
