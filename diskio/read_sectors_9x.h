#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "diskio/sector.h"
#include "platform/platform.h"

namespace kelvara {

// The 9x family's read: interrupt 21h function 7305h run by the VWIN32 virtual device.
// Returns false, leaving `into` alone, when the device cannot be opened. The service names a
// sector in 32 bits: sectors from 2^32 on (past 2 TiB) are out of its reach.
bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into);

// 1 for A, 2 for B, 3 for C... from the upper-cased first character of the drive text.
std::int16_t DosDriveNumber(const std::string& drive);

// The packed 10-byte DISKIO block: start sector, sector count, buffer address.
std::array<std::uint8_t, 10> PackDiskIo(std::uint32_t startSector, std::int16_t sectorCount,
                                        std::uint32_t bufferAddress);

// DIOC_REGISTERS: seven little-endian 32-bit fields.
struct DiocRegisters {
    std::uint32_t reg_EBX = 0, reg_EDX = 0, reg_ECX = 0, reg_EAX = 0, reg_EDI = 0, reg_ESI = 0,
                  reg_Flags = 0;
    std::array<std::uint8_t, 28> Bytes() const;
    static DiocRegisters FromBytes(const std::uint8_t* bytes);
};

}  // namespace kelvara
