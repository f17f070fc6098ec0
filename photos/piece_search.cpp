#include "photos/piece_search.h"

#include <algorithm>
#include <array>

#include "diskio/sector.h"
#include "formats/byte_reader.h"
#include "formats/format_table.h"
#include "photos/extent_bytes.h"
#include "photos/jpeg_decode.h"

namespace kelvara {
namespace {

constexpr std::size_t kMostPieces = 8;
constexpr std::size_t kEndsTried = 8;            // cluster starts before a break tried as a piece's end
constexpr std::uint64_t kNearTried = 4;          // clusters past the interrupting photos, tried first
constexpr std::uint64_t kFarthestTried = 32768;  // cluster starts across the card, then no further
constexpr std::size_t kMostTries = 512;          // decodes or walks for one photo
// Clusters looked at across the card, for all photos together, in card sizes: the searches of a
// card full of broken photos read it a few times, not once for each.
constexpr std::uint64_t kFarReads = 2;
constexpr auto kTimeForAPhoto = std::chrono::seconds(4);
constexpr std::uint64_t kLargestKept = 64 << 20;  // a photo's pieces so far are kept in memory
constexpr std::uint64_t kLargestContinuation = 256 << 20;
constexpr std::size_t kMostHops = 256;            // whole photos passed in a row
constexpr std::size_t kWalksKept = 4096;
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

// Another source, counting the bytes it hands out.
struct Counted final : public ByteSource {
    explicit Counted(ByteSource& source) : source(source) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        const auto piece = source.From(offset);
        handedOut += piece.size();
        return piece;
    }
    ByteSource& source;
    std::uint64_t handedOut = 0;
};

bool IsJpeg(const formats::Format& format) { return &format == &formats::jpeg::kFormat; }
// The formats whose structure can confirm a join: their walk checks what lies after it.
bool Joinable(const formats::Format& format) {
    return IsJpeg(format) || &format == &formats::iso_media::kFormat || &format == &formats::riff::kFormat ||
           &format == &formats::png::kFormat || &format == &formats::gif::kFormat;
}

}  // namespace

// One photo's search: its pieces so far, and what it may still spend.
struct PieceSearch::Search {
    const formats::Format& format;
    bool jpeg;
    std::vector<std::uint8_t> kept;  // the closed pieces' bytes
    ByteExtents pieces;              // the closed pieces
    std::size_t tries = 0;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kTimeForAPhoto;
    bool Spent() const { return tries >= kMostTries || std::chrono::steady_clock::now() > deadline; }
};

PieceSearch::PieceSearch(const FoundPhotoTable& table, ByteSource& bytes, const std::string& drive, ClusterGrid grid,
                         std::uint64_t driveBytes)
    : table_(table), bytes_(bytes), drive_(drive), grid_(grid), driveBytes_(driveBytes) {}

void PieceSearch::Taken(std::uint64_t start, std::uint64_t end) {
    if (end > start) taken_[start] = std::max(taken_[start], end);
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
    std::size_t low = 0, high = table_.size();
    while (low < high) {  // the table lies in card order
        const std::size_t middle = low + (high - low) / 2;
        if (table_[middle].StartSector < sector) low = middle + 1;
        else high = middle;
    }
    if (low < table_.size()) {
        const FoundPhoto photo = table_[low];
        if (photo.StartSector == sector && photo.Drive == drive_) return low;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> PieceSearch::WholeEnd(std::size_t index) {
    if (const auto known = wholeEnds_.find(index); known != wholeEnds_.end()) return known->second;
    const FoundPhoto photo = table_[index];
    const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
    if (farLooked_ >= driveBytes_ * kFarReads) return std::nullopt;
    SourceView view(bytes_, start, driveBytes_ - start);
    Counted bytes(view);
    std::optional<std::uint64_t> end;
    if (const auto length = formats::WalkStructure(photo.Kind, bytes).end) end = start + *length;
    farLooked_ += bytes.handedOut;
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
    // Compressed data: many different bytes; a cleared or formatted cluster holds few.
    std::array<bool, 256> seen{};
    int different = 0;
    for (std::size_t i = 0; i < have; ++i)
        if (!seen[head[i]]) seen[head[i]] = true, ++different;
    if (different < 32) return false;
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

std::optional<ByteExtents> PieceSearch::Join(std::size_t index, std::uint64_t kept) {
    if (!grid_.Known() || index >= table_.size()) return std::nullopt;
    const FoundPhoto photo = table_[index];
    const formats::Format& format = formats::FormatOf(photo.Kind);
    if (!(photo.Drive == drive_) || photo.StartSector < 0 || !Joinable(format)) return std::nullopt;
    const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
    if (start >= driveBytes_ || kept == 0) return std::nullopt;
    Search search{format, IsJpeg(format), {}, {}};

    // Where what was kept of it breaks: its walk's break, or for a JPEG its decode's first fault
    // where that comes sooner. Nothing past what was kept is read for it.
    std::uint64_t open = start;  // where the piece being followed starts on the drive
    std::uint64_t brokeAt;       // the break, on the drive
    {
        SourceView run(bytes_, start, std::min(kept, driveBytes_ - start));
        const Walk walk = format.WalkStructure(run);
        if (walk.end) return std::nullopt;
        brokeAt = start + walk.reached;
        if (search.jpeg) {
            const JpegDecode decode = DecodeJpeg(run, std::nullopt, true);
            if (!decode.judged) return std::nullopt;
            // The decoder reads a little ahead, and tells a fault a little before or after it.
            if (decode.fault) brokeAt = std::min(brokeAt, start + *decode.fault + kDecoderSlack);
        }
    }

    while (search.pieces.size() + 1 < kMostPieces && !search.Spent()) {
        // The open piece's possible ends: cluster starts at or before the break, latest first.
        std::vector<std::uint64_t> ends;
        for (std::uint64_t end = grid_.StartAtOrBefore(brokeAt); end > open && ends.size() < kEndsTried;
             end = end >= grid_.clusterBytes ? end - grid_.clusterBytes : 0)
            ends.push_back(end);
        if (ends.empty()) return std::nullopt;
        if (search.kept.size() + (ends.front() - open) > kLargestKept) return std::nullopt;
        const std::size_t closed = search.kept.size();
        search.kept.resize(closed + static_cast<std::size_t>(ends.front() - open));
        {
            SourceView piece(bytes_, open, ends.front() - open);
            if (!formats::ReadAt(piece, 0, std::span(search.kept).subspan(closed))) return std::nullopt;
        }

        // Whether the open piece ending at `end` goes on at `at`.
        std::optional<std::uint64_t> found;
        std::uint64_t foundEnd = 0;
        const auto tryAt = [&](std::uint64_t at) {
            if (!MayContinue(search.jpeg, at)) return false;
            for (const std::uint64_t end : ends) {
                if (at >= open && at <= end) continue;  // no gap: the run that broke
                if (search.Spent()) return false;
                ++search.tries;
                const std::span<const std::uint8_t> before(search.kept.data(), closed + static_cast<std::size_t>(end - open));
                Joined joined(before, bytes_, at, driveBytes_);
                bool confirmed;
                if (search.jpeg) {
                    const JpegDecode decode = DecodeJpeg(joined, before.size(), false);
                    confirmed = decode.judged && !decode.fault && decode.alike;
                } else {
                    const Walk walk = format.WalkStructure(joined);
                    confirmed = walk.end && *walk.end > before.size();
                    if (confirmed) {
                        // The structure must tell this continuation from the next cluster's.
                        Joined other(before, bytes_, at + grid_.clusterBytes, driveBytes_);
                        confirmed = !format.WalkStructure(other).end;
                    }
                }
                if (confirmed) {
                    found = at;
                    foundEnd = end;
                    return true;
                }
            }
            return false;
        };

        const std::uint64_t past = PastWholePhotos(brokeAt);
        bool joined = false;
        for (std::uint64_t i = 0; i < kNearTried && !joined; ++i) joined = tryAt(past + i * grid_.clusterBytes);
        for (std::uint64_t at = grid_.StartAtOrAfter(ends.back()), n = 0;
             !joined && n < kFarthestTried && at < driveBytes_ && !search.Spent() && farLooked_ < driveBytes_ * kFarReads;
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
            if (at < past || at >= past + kNearTried * grid_.clusterBytes) joined = tryAt(at);
            at += grid_.clusterBytes;
        }
        if (!joined) return std::nullopt;

        search.kept.resize(closed + static_cast<std::size_t>(foundEnd - open));
        search.pieces.push_back({open, foundEnd - open});
        open = *found;

        // Does the whole now hold, or break again further on?
        Joined whole(search.kept, bytes_, open, driveBytes_);
        const Walk walk = format.WalkStructure(whole);
        std::optional<std::uint64_t> fault;
        if (search.jpeg) fault = DecodeJpeg(whole, std::nullopt, true).fault;
        if (walk.end && !fault && *walk.end > search.kept.size()) {
            search.pieces.push_back({open, *walk.end - search.kept.size()});
            return search.pieces;
        }
        std::uint64_t broke = walk.end ? UINT64_MAX : walk.reached;
        if (fault) broke = std::min(broke, *fault + kDecoderSlack);
        if (broke == UINT64_MAX || broke <= search.kept.size()) return std::nullopt;
        brokeAt = std::min(open + (broke - search.kept.size()), driveBytes_);
    }
    return std::nullopt;
}

}  // namespace kelvara
