#pragma once
// A found photo's bytes as they lie on its drive, read in bounded pieces as they are asked for,
// however long its run: memory stays small whatever lies after the photo.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "diskio/sector.h"
#include "photos/byte_source.h"
#include "platform/platform.h"

namespace kelvara {

class DriveBytes final : public ByteSource {
public:
    // Bytes of `drive` from the start of `firstSector` up to `endSector` (exclusive) or where
    // the volume ends before it. The photo's run ends at `runEnd`: no read reaches past it from
    // inside it, so a small photo costs a small read. `afterRead` runs after every read of the
    // drive: the window yields there, and may throw to give the work up.
    DriveBytes(Platform& platform, std::string drive, std::int64_t firstSector, std::int64_t runEnd,
               std::int64_t endSector, std::function<void()> afterRead = {});

    // Throws DiskError when the drive cannot be read.
    std::span<const std::uint8_t> From(std::uint64_t offset) override;

    // How many bytes the volume holds from the first sector on, once a read has met its end.
    std::optional<std::uint64_t> VolumeEnd() const { return volumeEnd_; }
    const std::string& drive() const { return drive_; }
    std::int64_t firstSector() const { return firstSector_; }

private:
    // Reads are pieces of at most 1 MiB, on a grid of whole mebibytes and the run's end.
    std::uint64_t PieceStart(std::uint64_t offset) const;
    std::uint64_t PieceEnd(std::uint64_t pieceStart) const;
    void Read(std::uint64_t pieceStart);

    Platform& platform_;
    std::string drive_;
    std::int64_t firstSector_;
    std::uint64_t run_;    // bytes from the first sector to the run's end
    std::uint64_t limit_;  // bytes from the first sector to the end sector
    std::function<void()> afterRead_;
    SectorBuffer cache_;       // bytes [cacheStart_, cacheStart_ + cache_.size())
    std::uint64_t cacheStart_ = 0;
    SectorBuffer piece_;
    std::optional<std::uint64_t> volumeEnd_;
};

}  // namespace kelvara
