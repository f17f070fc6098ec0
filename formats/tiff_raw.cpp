// TIFF and the RAW formats built on it. A TIFF file has no end marker and no total length: it
// ends at the furthest byte that one of its directories addresses. The walk visits every
// directory once (the chain, SubIFDs, the EXIF, GPS and interoperability directories, Sony's
// private one) and every strip and tile list once; a directory or list that overlaps one read
// before is a loop, and the file is refused.

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "formats/format.h"
#include "formats/maker_note.h"
#include "formats/tiff_directory.h"

namespace kelvara::formats::tiff {
namespace {

// More than any camera writes (a DNG has a handful); a file that asks for more is refused.
constexpr std::size_t kMaxDirectories = 64;

enum class Kind : std::uint8_t { Chain, Sub, Exif, Other, SonyPrivate };
struct Pending {
    std::uint32_t offset;
    Kind kind;
};

struct Summary {
    std::uint64_t end = 8;
    std::optional<ByteRange> preview;
    std::optional<PhotoTime> date;
};

bool BeginsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Whether the JPEG at `range` is one a browser shows: its first frame is baseline or
// progressive, not the lossless coding RAW data is kept in.
bool ShowableJpeg(ByteSource& bytes, const ByteRange& range) {
    if (!JpegStartsAt(bytes, range.offset)) return false;
    std::uint64_t at = range.offset + 2;
    for (int segments = 0; segments < 64 && at + 4 <= range.End(); ++segments) {
        std::array<std::uint8_t, 4> marker{};
        if (!ReadAt(bytes, at, marker) || marker[0] != 0xFF) return false;
        const std::uint8_t code = marker[1];
        if (code == 0xC0 || code == 0xC1 || code == 0xC2) return true;
        if ((code >= 0xC3 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) || code == 0xDA ||
            code == 0xD9)
            return false;
        at += 2 + LoadBe16(marker, 2);
    }
    return false;
}

// A strip, tile or embedded JPEG the walk met: where it lies in the file, and whether its
// data are JPEG-coded (and so start FF D8).
using PieceSeen = std::function<void(std::uint64_t at, bool jpeg)>;

class Walk {
public:
    Walk(ByteSource& bytes, bool wantPreview, PieceSeen seen = {})
        : bytes_(bytes), wantPreview_(wantPreview), seen_(std::move(seen)) {}

    std::optional<Summary> Run() {
        std::array<std::uint8_t, 8> first{};
        if (!ReadAt(bytes_, 0, first)) return std::nullopt;
        const auto header = ParseTiffHeader(first, 0);
        if (!header) return std::nullopt;
        header_ = *header;
        Push(static_cast<std::uint32_t>(header_.firstIfd), Kind::Chain);
        for (std::size_t directories = 0; pending_ > 0 && ok_; ++directories) {
            if (directories == kMaxDirectories) return std::nullopt;
            const Pending next = stack_[--pending_];
            Directory(next);
        }
        if (!ok_) return std::nullopt;
        if (note_) {
            if (const auto preview = MakerNotePreviewOf(bytes_, header_, Make(), note_->offset, note_->length)) {
                Reach(preview->End());
                Candidate(*preview);
            }
        }
        if (!ok_ || !Holds(bytes_, summary_.end)) return std::nullopt;
        if (!summary_.date) summary_.date = digitized_;
        return summary_;
    }

private:
    std::string_view Make() const { return {make_.data(), makeLength_}; }

    void Push(std::uint32_t offset, Kind kind) {
        if (offset < 8 || pending_ == stack_.size()) {
            ok_ = false;
            return;
        }
        stack_[pending_++] = {offset, kind};
    }
    void Reach(std::uint64_t end) { summary_.end = std::max(summary_.end, end); }
    // An out-of-line value, list or strip: it must fit in 64 bits before the source is asked.
    void Reach(std::uint64_t offset, std::uint64_t length) {
        const auto at = Add(header_.base, offset);
        const auto end = at ? Add(*at, length) : std::nullopt;
        if (!end) ok_ = false;
        else Reach(*end);
    }
    void Candidate(const ByteRange& range) {
        if (!wantPreview_ || (summary_.preview && summary_.preview->length >= range.length)) return;
        if (ShowableJpeg(bytes_, range)) summary_.preview = range;
    }

    void Directory(const Pending& directory) {
        std::optional<TiffEntry> stripOffsets, stripCounts, tileOffsets, tileCounts, subIfds;
        std::optional<std::uint32_t> jpegAt, jpegLength, compression, sonyAt, sonyLength;
        const auto visit = [&](const TiffEntry& entry) {
            if (!entry.Inline()) Reach(entry.Offset(), entry.valueBytes);
            const auto keep = [&](std::optional<TiffEntry>& slot) {
                if (!slot) slot = entry;
            };
            switch (entry.tag) {
                case kStripOffsets: keep(stripOffsets); break;
                case kStripByteCounts: keep(stripCounts); break;
                case kTileOffsets: keep(tileOffsets); break;
                case kTileByteCounts: keep(tileCounts); break;
                case kSubIfds: keep(subIfds); break;
                case kJpegInterchange: jpegAt = entry.Number(); break;
                case kJpegInterchangeLength: jpegLength = entry.Number(); break;
                case kCompression: compression = entry.Number(); break;
                case kExifIfd:
                    if (const auto at = entry.Number()) Push(*at, Kind::Exif);
                    break;
                case kGpsIfd:
                case kInteropIfd:
                    if (const auto at = entry.Number()) Push(*at, Kind::Other);
                    break;
                case kMake:
                    if (makeLength_ == 0) makeLength_ = EntryText(bytes_, header_, entry, make_);
                    break;
                case kMakerNote:
                    if (directory.kind == Kind::Exif && !entry.Inline() && !note_)
                        note_ = ByteRange{header_.base + entry.Offset(), entry.valueBytes};
                    break;
                case kDateTimeOriginal:
                case kDateTimeDigitized:
                    if (directory.kind == Kind::Exif) {
                        std::array<char, 20> text{};
                        const auto date = ParseExifDate(std::span(text).first(EntryText(bytes_, header_, entry, text)));
                        (entry.tag == kDateTimeOriginal ? summary_.date : digitized_) = date;
                    }
                    break;
                case kDngPrivateData:  // Sony's SR2 private directory, where it is one
                    if ((entry.type == 4 || entry.type == 13) && entry.count == 1 && BeginsWith(Make(), "SONY"))
                        if (const auto at = entry.Number()) Push(*at, Kind::SonyPrivate);
                    break;
                case 0x7200:
                    if (directory.kind == Kind::SonyPrivate) sonyAt = entry.Number();
                    break;
                case 0x7201:
                    if (directory.kind == Kind::SonyPrivate) sonyLength = entry.Number();
                    break;
                default: break;
            }
        };
        const auto read = ReadDirectory(bytes_, header_, directory.offset, claimed_, visit);
        if (!read) {
            ok_ = false;
            return;
        }
        Reach(read->end);
        if (read->next != 0 && (directory.kind == Kind::Chain || directory.kind == Kind::Sub)) Push(read->next, directory.kind);
        if (subIfds) Pointers(*subIfds);
        if (stripOffsets) Pieces(*stripOffsets, stripCounts, compression, false);
        if (tileOffsets) Pieces(*tileOffsets, tileCounts, compression, true);
        if (jpegAt && jpegLength && *jpegLength > 0) {
            if (seen_) seen_(header_.base + *jpegAt, true);
            Reach(*jpegAt, *jpegLength);
            Candidate({header_.base + *jpegAt, *jpegLength});
        }
        if (sonyAt && sonyLength) Reach(*sonyAt, *sonyLength);
    }

    void Pointers(const TiffEntry& list) {
        if (!ClaimNumbers(header_, list, claimed_) || list.count > stack_.size()) {
            ok_ = false;
            return;
        }
        std::array<std::uint32_t, kMaxDirectories> offsets{};
        const auto used = std::span(offsets).first(list.count);
        if (!ReadNumberBlock(bytes_, header_, list, 0, used)) ok_ = false;
        for (const std::uint32_t at : used) Push(at, Kind::Sub);
    }

    // Strips or tiles: each piece's offset and byte count, read a block of each at a time.
    void Pieces(const TiffEntry& offsets, const std::optional<TiffEntry>& counts, std::optional<std::uint32_t> compression,
                bool tiles) {
        // JPEG (lossless in RAW files) and lossy DNG start each strip or tile FF D8; the old JPEG
        // of compression 6 need not.
        const bool jpeg = compression == 7 || compression == 34892;
        if (!counts || counts->count != offsets.count || !ClaimNumbers(header_, offsets, claimed_) ||
            !ClaimNumbers(header_, *counts, claimed_)) {
            ok_ = false;
            return;
        }
        constexpr std::size_t kBlock = 1024;
        std::array<std::uint32_t, kBlock> at{}, length{};
        for (std::uint64_t first = 0; first < offsets.count && ok_; first += kBlock) {
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, offsets.count - first));
            if (!ReadNumberBlock(bytes_, header_, offsets, first, std::span(at).first(take)) ||
                !ReadNumberBlock(bytes_, header_, *counts, first, std::span(length).first(take))) {
                ok_ = false;
                return;
            }
            // A piece of no stated length could end anywhere: no end can be told.
            for (std::size_t i = 0; i < take; ++i) {
                if (length[i] == 0) ok_ = false;
                else Reach(at[i], length[i]);
                if (seen_ && length[i] > 0) seen_(header_.base + at[i], jpeg);
            }
        }
        // One strip of JPEG data is an embedded JPEG (a DNG's or CR2's preview, or lossless RAW data).
        if (!tiles && offsets.count == 1 && (compression == 6 || compression == 7) && length[0] > 0)
            Candidate({header_.base + at[0], length[0]});
    }

    ByteSource& bytes_;
    bool wantPreview_;
    PieceSeen seen_;
    TiffHeader header_;
    ReadRanges claimed_;
    std::array<Pending, kMaxDirectories> stack_{};
    std::size_t pending_ = 0;
    bool ok_ = true;
    Summary summary_;
    std::optional<PhotoTime> digitized_;
    std::array<char, 64> make_{};
    std::size_t makeLength_ = 0;
    std::optional<ByteRange> note_;
};

}  // namespace

Extension Identify(Head head) {
    if (head.size() < 8 || (head[0] != 'I' && head[0] != 'M') || head[1] != head[0]) return std::nullopt;
    const auto header = ParseTiffHeader(head, 0);
    if (!header) return std::nullopt;
    const std::uint16_t magic = Load16(head, 2, header->little);
    if (magic == 0x4F52 || magic == 0x5352) return ".ORF";
    if (magic == 0x0055) return ".RW2";
    if (head.size() >= 10 && head[8] == 'C' && head[9] == 'R') return ".CR2";

    // The first directory, where the head holds it, names the camera.
    MemoryBytes inHead(head);
    if (header->firstIfd + 2 <= head.size() && Load16(head, static_cast<std::size_t>(header->firstIfd), header->little) == 0)
        return std::nullopt;  // an empty first directory: no TIFF
    ReadRanges claimed;
    bool dng = false;
    std::array<char, 32> make{}, model{};
    std::size_t makeLength = 0, modelLength = 0;
    const auto visit = [&](const TiffEntry& entry) {
        if (entry.tag == kDngVersion) dng = true;
        if (entry.tag == kMake) makeLength = EntryText(inHead, *header, entry, make);
        if (entry.tag == kModel) modelLength = EntryText(inHead, *header, entry, model);
    };
    if (!ReadDirectory(inHead, *header, header->firstIfd, claimed, visit)) return ".TIF";
    if (dng) return ".DNG";
    const std::string_view maker(make.data(), makeLength), camera(model.data(), modelLength);
    if (BeginsWith(maker, "NIKON")) return BeginsWith(camera, "COOLPIX") ? ".NRW" : ".NEF";
    if (BeginsWith(maker, "SONY")) return BeginsWith(camera, "DSC-R1") ? ".SR2" : ".ARW";
    if (BeginsWith(maker, "PENTAX") || (BeginsWith(maker, "RICOH") && BeginsWith(camera, "PENTAX"))) return ".PEF";
    if (BeginsWith(maker, "SAMSUNG")) return ".SRW";
    return ".TIF";
}

std::optional<std::uint64_t> Length(ByteSource& bytes) {
    const auto summary = Walk(bytes, false).Run();
    if (!summary) return std::nullopt;
    return summary->end;
}

std::optional<ByteRange> LargestPreview(ByteSource& bytes) {
    const auto summary = Walk(bytes, true).Run();
    if (!summary) return std::nullopt;
    return summary->preview;
}

std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes) {
    const auto summary = Walk(bytes, false).Run();
    if (!summary) return std::nullopt;
    return summary->date;
}

std::size_t JpegPiecesFrom(ByteSource& bytes, std::uint64_t from) {
    std::size_t count = 0;
    Walk(bytes, false, [&](std::uint64_t at, bool jpeg) { count += jpeg && at >= from; }).Run();
    return count;
}

std::optional<bool> JpegPiecesHold(ByteSource& bytes, std::span<const std::uint64_t> joins) {
    if (joins.empty() || !std::is_sorted(joins.begin(), joins.end())) return std::nullopt;
    constexpr std::size_t kMostStarts = 1 << 20;
    std::vector<std::uint64_t> starts;
    const auto summary = Walk(bytes, false, [&](std::uint64_t at, bool jpeg) {
                             if (jpeg && at >= joins.front() && starts.size() < kMostStarts) starts.push_back(at);
                         }).Run();
    if (!summary) return std::nullopt;
    std::vector<bool> started(joins.size());
    for (const std::uint64_t at : starts) {
        std::array<std::uint8_t, 2> head{};
        if (!ReadAt(bytes, at, head) || head[0] != 0xFF || head[1] != 0xD8) return false;
        started[static_cast<std::size_t>(std::upper_bound(joins.begin(), joins.end(), at) - joins.begin() - 1)] = true;
    }
    // A piece in which no JPEG data start could be a cluster off, made up by the next join.
    if (starts.empty() || std::find(started.begin(), started.end(), false) != started.end()) return std::nullopt;
    return true;
}

namespace {

kelvara::Walk Structure(ByteSource& bytes) { return WalkOfLength(Length(bytes)); }

using namespace std::string_view_literals;
constexpr Signature kSignatures[] = {{0, "II*\0"sv}, {0, "IIRO"}, {0, "IIRS"}, {0, "IIU\0"sv}, {0, "MM\0*"sv}, {0, "MMOR"}};
// A plain TIFF shows the JPEG it carries, where it carries one, as the RAW files do.
constexpr Variant kVariants[] = {{".TIF", "tiff", Shown::Embedded}, {".DNG", "raw", Shown::Embedded},
                                 {".CR2", "raw", Shown::Embedded},  {".NEF", "raw", Shown::Embedded},
                                 {".NRW", "raw", Shown::Embedded},  {".ARW", "raw", Shown::Embedded},
                                 {".SR2", "raw", Shown::Embedded},  {".ORF", "raw", Shown::Embedded},
                                 {".PEF", "raw", Shown::Embedded},  {".RW2", "raw", Shown::Embedded},
                                 {".SRW", "raw", Shown::Embedded}};

}  // namespace

const Format kFormat = {"TIFF and camera RAW", kSignatures, true, Identify, kVariants, Structure, HeadShowsImage,
                        std::nullopt, LargestPreview, nullptr, DateTimeOriginal};

}  // namespace kelvara::formats::tiff
