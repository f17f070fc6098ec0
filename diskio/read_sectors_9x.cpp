#include "diskio/read_sectors_9x.h"

#include <cstring>

#include "diskio/disk_error.h"
#include "diskio/read_sectors.h"
#include "platform/drive_string.h"
#include "platform/low_memory.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kAbsoluteDiskRead = 0x7305;  // interrupt 21h, function 73h, subfunction 05h
constexpr std::uint32_t kCarryFlag = 0x1;
constexpr std::size_t kBlockArea = 12;  // the DISKIO block is built in 12 bytes, packed into 10

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

// Runs the disk-read service for `sectors` sectors from `firstSector` into the staging bytes
// at `stagingOffset` of the block. True when the service reported success.
bool ServiceRead(Platform& platform, HANDLE device, LowMemory& block, std::int16_t driveNumber,
                 std::uint32_t firstSector, std::int16_t sectors, std::size_t stagingOffset) {
    const auto diskIo = PackDiskIo(firstSector, sectors, block.address(stagingOffset));
    std::memcpy(block.bytes().data(), diskIo.data(), diskIo.size());

    DiocRegisters registers;
    registers.reg_EBX = block.address(0);
    registers.reg_EDX = static_cast<std::uint32_t>(std::int32_t{driveNumber});
    registers.reg_ECX = 0xFFFFFFFF;
    registers.reg_EAX = kAbsoluteDiskRead;
    auto bytes = registers.Bytes();
    DWORD returned = 0;
    const bool called = platform.DeviceIoControl(device, VWIN32_DIOC_DOS_DRIVEINFO, bytes, bytes, returned);
    return called && (DiocRegisters::FromBytes(bytes.data()).reg_Flags & kCarryFlag) == 0;
}

}  // namespace

std::array<std::uint8_t, 28> DiocRegisters::Bytes() const {
    std::array<std::uint8_t, 28> out{};
    const std::uint32_t fields[7] = {reg_EBX, reg_EDX, reg_ECX, reg_EAX, reg_EDI, reg_ESI, reg_Flags};
    for (int i = 0; i < 7; ++i) Put32(out.data() + 4 * i, fields[i]);
    return out;
}

DiocRegisters DiocRegisters::FromBytes(const std::uint8_t* bytes) {
    DiocRegisters r;
    r.reg_EBX = Get32(bytes);
    r.reg_EDX = Get32(bytes + 4);
    r.reg_ECX = Get32(bytes + 8);
    r.reg_EAX = Get32(bytes + 12);
    r.reg_EDI = Get32(bytes + 16);
    r.reg_ESI = Get32(bytes + 20);
    r.reg_Flags = Get32(bytes + 24);
    return r;
}

std::int16_t DosDriveNumber(const std::string& drive) {
    return static_cast<std::int16_t>(DriveLetter(drive) - 'A' + 1);
}

std::array<std::uint8_t, 10> PackDiskIo(std::uint32_t startSector, std::int16_t sectorCount,
                                        std::uint32_t bufferAddress) {
    // Laid out naturally aligned first (address at 8), then the address moved down to 6.
    std::uint8_t area[kBlockArea] = {};
    Put32(area, startSector);
    area[4] = static_cast<std::uint8_t>(sectorCount);
    area[5] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(sectorCount) >> 8);
    Put32(area + 8, bufferAddress);
    std::memmove(area + 6, area + 8, 4);
    std::array<std::uint8_t, 10> packed;
    std::memcpy(packed.data(), area, packed.size());
    return packed;
}

bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into) {
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
        for (std::int32_t s = 0; sectors > 1 && s < sectors; ++s) {
            const std::size_t at = kBlockArea + static_cast<std::size_t>(s) * kSectorSize;
            if (!ServiceRead(platform, device, block, driveNumber, first + static_cast<std::uint32_t>(s), 1, at))
                std::memset(block.bytes().data() + at, 0, kSectorSize);
        }
    }
    platform.CloseHandle(device);

    const auto staging = block.bytes().subspan(kBlockArea);
    into.assign(staging.begin() + offset, staging.begin() + offset + count);
    return true;
}

}  // namespace kelvara
