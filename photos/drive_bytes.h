#pragma once
// A found photo's bytes as they lie on its drive, read in bounded pieces as they are asked for,
// however long its run: memory stays small whatever lies after the photo. The pieces read last
// are kept (32 MiB by default), whatever order they were asked for in, so a photo is read once
// for finding its end (forwards, backwards, jumping over its media data), for judging its
// pieces and for writing it out. The buffers go from one photo to the next, so saving thousands
// of photos does not ask the system for fresh memory each time.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "diskio/sector_source.h"
#include "formats/byte_source.h"
#include "photos/overflow.h"
#include "platform/platform.h"

namespace kelvara {

class DriveBytes final : public ByteSource {
public:
    static constexpr std::uint64_t kKeptBytes = 32 << 20;
    // Reads are pieces of this many sectors (1 MiB, which the 9x disk service takes in one call),
    // on a grid from the first sector.
    static constexpr std::int64_t kPieceSectors = 2048;

    // Bytes of `drive` from the start of `firstSector` up to `endSector` (exclusive) or where
    // the volume ends before it. The photo's run ends at `runEnd`: no read reaches past it from
    // inside it, so a small photo costs a small read. `afterRead` runs after every read of the
    // drive: the window yields there, and may throw to give the work up. Up to `keptBytes` of the
    // latest pieces are kept.
    DriveBytes(SectorSource& source, std::int64_t firstSector, std::int64_t runEnd, std::int64_t endSector,
               std::function<void()> afterRead = {}, std::uint64_t keptBytes = kKeptBytes);
    ~DriveBytes() override;
    DriveBytes(const DriveBytes&) = delete;
    DriveBytes& operator=(const DriveBytes&) = delete;

    // At most the rest of one piece (1 MiB), good until the next call reads the drive. Throws
    // DiskError when the drive cannot be read.
    std::span<const std::uint8_t> From(std::uint64_t offset) override;

    // Pieces from the one holding byte `offset` on that give way are kept in `overflow` and read
    // back from there, so a photo longer than what is kept here is read from the drive once.
    void KeepFrom(std::uint64_t offset, Overflow& overflow) {
        overflow_ = &overflow;
        keepFrom_ = PieceStart(offset);
    }

    // The sectors, by their number on the drive, that the reads so far could not read: they are
    // zeros here.
    const SectorRanges& Unreadable() const { return unreadable_; }

    // How many bytes the volume holds from the first sector on, once a read has met its end.
    std::optional<std::uint64_t> VolumeEnd() const { return volumeEnd_; }
    const std::string& drive() const { return source_->drive(); }
    std::int64_t firstSector() const { return firstSector_; }

private:
    // Reads are pieces of at most 1 MiB, on a grid of whole mebibytes and the run's end.
    std::uint64_t PieceStart(std::uint64_t offset) const;
    std::uint64_t PieceEnd(std::uint64_t pieceStart) const;
    struct Piece {
        std::uint64_t start = 0, length = 0;
        std::uint64_t used = 0;  // when it was last asked for
        SectorBuffer bytes;
    };
    Piece& Read(std::uint64_t pieceStart);
    void GiveWay(const Piece& piece);

    SectorSource* source_;
    std::int64_t firstSector_;
    std::uint64_t run_;    // bytes from the first sector to the run's end
    std::uint64_t limit_;  // bytes from the first sector to the end sector
    std::function<void()> afterRead_;
    std::size_t mostPieces_;
    std::vector<Piece> pieces_;  // kept, in no order
    Piece* last_ = nullptr;       // the one asked for last
    std::uint64_t clock_ = 0;
    Overflow* overflow_ = nullptr;
    std::uint64_t keepFrom_ = 0;
    std::optional<std::uint64_t> volumeEnd_;
    SectorRanges unreadable_;
};

}  // namespace kelvara
