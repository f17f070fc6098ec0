#include "diskio/read_sectors_9x.h"

#include <algorithm>
#include <cstring>

#include "diskio/disk_error.h"
#include "diskio/read_sectors.h"
#include "platform/low_memory.h"
#include "platform/vwin32_request.h"

namespace kelvara {
namespace {

constexpr std::size_t kBlockArea = 12;  // room for the DISKIO block before the staging bytes

// Runs the disk-read service for `sectors` sectors from `firstSector` into the staging bytes
// at `stagingOffset` of the block. True when the service reported success.
bool ServiceRead(Platform& platform, HANDLE device, LowMemory& block, std::int16_t driveNumber,
                 std::uint32_t firstSector, std::int16_t sectors, std::size_t stagingOffset) {
    const auto diskIo = DiskIo{firstSector, sectors, block.address(stagingOffset)}.Bytes();
    std::memcpy(block.bytes().data(), diskIo.data(), diskIo.size());

    DiocRegisters registers;
    registers.reg_EBX = block.address(0);
    registers.reg_EDX = static_cast<std::uint32_t>(std::int32_t{driveNumber});
    registers.reg_ECX = kDiskIoRequest;
    registers.reg_EAX = kAbsoluteDiskRead;
    auto bytes = registers.Bytes();
    DWORD returned = 0;
    const bool called = platform.DeviceIoControl(device, VWIN32_DIOC_DOS_DRIVEINFO, bytes, bytes, returned);
    return called && (DiocRegisters::FromBytes(bytes).reg_Flags & kCarryFlag) == 0;
}

}  // namespace

namespace {

// Reads the run into low memory and hands the `count` bytes from `offset` to `deliver`.
template <typename Deliver>
bool Read9x(Platform& platform, const std::string& drive, std::int64_t firstSector, std::int32_t offset,
            std::int32_t count, SectorRanges* unreadable, Deliver deliver) {
    const std::string text = drive;
    const std::int32_t sectors = SectorsToRead(text, firstSector, offset, count);
    if (sectors > INT16_MAX)
        throw DiskError(DiskError::Kind::Overflow,
                        "Overflow: the 9x disk service reads at most 32,767 sectors at a time");
    if (firstSector + sectors - 1 > UINT32_MAX)
        throw DiskError(DiskError::Kind::Overflow,
                        "Overflow: the 9x disk service cannot reach sector " + std::to_string(firstSector) +
                            " (it names sectors in 32 bits)");
    const std::int16_t driveNumber = DosDriveNumber(text);

    // The control block and the staging buffer, where a 32-bit address can reach them.
    LowMemory block(platform, kBlockArea + static_cast<std::size_t>(sectors) * kSectorSize);
    if (!block.ok())
        throw DiskError(DiskError::Kind::NoMemory, "No memory for the 9x disk service to read into");

    const HANDLE device = platform.CreateFileA("\\\\.\\VWIN32", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               OPEN_EXISTING, 0);
    if (device == INVALID_HANDLE_VALUE) return false;

    const auto first = static_cast<std::uint32_t>(firstSector);
    if (!ServiceRead(platform, device, block, driveNumber, first, static_cast<std::int16_t>(sectors), kBlockArea)) {
        // What a failed service left is not data. One bad sector must not blank the run:
        // ask again a sector at a time.
        std::memset(block.bytes().data() + kBlockArea, 0, static_cast<std::size_t>(sectors) * kSectorSize);
        for (std::int32_t s = 0; s < sectors; ++s) {
            const std::size_t at = kBlockArea + static_cast<std::size_t>(s) * kSectorSize;
            if (sectors > 1 &&
                ServiceRead(platform, device, block, driveNumber, first + static_cast<std::uint32_t>(s), 1, at))
                continue;
            std::memset(block.bytes().data() + at, 0, kSectorSize);
            if (unreadable) unreadable->Add(firstSector + s, 1);
        }
    }
    platform.CloseHandle(device);

    deliver(block.bytes().subspan(kBlockArea + static_cast<std::size_t>(offset), static_cast<std::size_t>(count)));
    return true;
}

}  // namespace

bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                   std::int32_t count, SectorBuffer& into, SectorRanges* unreadable) {
    return Read9x(platform, drive, firstSector, offset, count, unreadable,
                  [&](std::span<const std::uint8_t> bytes) { into.assign(bytes.begin(), bytes.end()); });
}

bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                   std::int32_t count, std::span<std::uint8_t> into, SectorRanges* unreadable) {
    return Read9x(platform, drive, firstSector, offset, count, unreadable,
                  [&](std::span<const std::uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), into.begin()); });
}

}  // namespace kelvara
