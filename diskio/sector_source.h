#pragma once
// The card one command reads. The system's family (NT or 9x) is asked once, at the first read;
// on NT the raw volume opened then is held to the command's end, so a card swapped in the reader
// meanwhile is never read as if it were the same. A volume that came short (the card taken out,
// or ended) is opened again when next asked for, and read on only while it is still the card
// the command began with: the first sector it read that held anything holds the same bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "platform/platform.h"

namespace kelvara {

// What may stand between a command's reads and the card: bytes one reader brought in, kept for
// another that follows it (a save going along behind the scan). Given each read of whole sectors,
// it serves it or reads the card through `card`, and returns what a read of the card returns.
class SectorTap {
public:
    using CardRead = std::function<std::int32_t(std::int64_t, std::span<std::uint8_t>, SectorRanges*)>;
    virtual ~SectorTap() = default;
    virtual std::int32_t Read(std::int64_t firstSector, std::span<std::uint8_t> into, SectorRanges* unreadable,
                              const CardRead& card) = 0;
};

class SectorSource {
public:
    SectorSource(Platform& platform, std::string drive);
    ~SectorSource();
    SectorSource(const SectorSource&) = delete;
    SectorSource& operator=(const SectorSource&) = delete;

    // As ReadSectors (read_sectors.h): `count` bytes from `offset` into sector `firstSector`, or
    // whole sectors straight into `into`. Returns how many of the run's sectors the drive holds.
    // Throws DiskError when the drive cannot be opened, now holds another card, or an argument is
    // out of bounds.
    std::int32_t Read(std::int64_t firstSector, std::int32_t offset, std::int32_t count, SectorBuffer& into,
                      SectorRanges* unreadable = nullptr);
    std::int32_t Read(std::int64_t firstSector, std::span<std::uint8_t> into, SectorRanges* unreadable = nullptr);

    // Lets the volume go between reads far apart (the window idle): the next read opens it
    // again, and reads on only where it holds the same card.
    void Release() { Close(); }

    // Every read of the NT family goes through `tap` from now on (none: straight to the card).
    void SetTap(SectorTap* tap) { tap_ = tap; }

    Platform& platform() const { return platform_; }
    const std::string& drive() const { return drive_; }

private:
    bool Nt();
    void Open();
    void Close();
    std::int32_t ReadVolume(std::int64_t firstSector, std::span<std::uint8_t> run, SectorRanges* unreadable);
    std::int32_t ReadCard(std::int64_t firstSector, std::span<std::uint8_t> run, SectorRanges* unreadable);
    [[noreturn]] void CannotOpen() const;

    Platform& platform_;
    std::string drive_;
    std::optional<bool> nt_;
    HANDLE volume_ = INVALID_HANDLE_VALUE;
    // The first sector read that held anything, and its bytes: what tells this card from another.
    std::int64_t markSector_ = -1;
    std::vector<std::uint8_t> mark_;
    SectorTap* tap_ = nullptr;
};

// The source a command reads a drive through: the one it was given where that reads the same
// drive, else one of its own, made anew when the drive named changes.
class DriveSource {
public:
    DriveSource(Platform& platform, SectorSource* given) : platform_(platform), given_(given) {}
    SectorSource& For(const std::string& drive);

private:
    Platform& platform_;
    SectorSource* given_;
    std::optional<SectorSource> own_;
};

}  // namespace kelvara
