#pragma once
// What a DeviceIoControl on the 9x family's VWIN32 device carries for interrupt 21h function
// 7305h, the absolute disk read: the register block, and the DISKIO block its EBX points at.
// Both hold 32-bit addresses (see Platform::AllocateLowMemory). The sector reader that asks and
// every platform that answers read and write them here, so the layout is written once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kelvara {

inline constexpr std::uint32_t kAbsoluteDiskRead = 0x7305;  // EAX: function 73h, subfunction 05h
inline constexpr std::uint32_t kDiskIoRequest = 0xFFFFFFFF;  // ECX: the request is in the DISKIO block
inline constexpr std::uint32_t kWriteRequest = 0x1;          // ESI bit 0: a write, not a read
inline constexpr std::uint32_t kCarryFlag = 0x1;             // set in the flags when the service failed

// DIOC_REGISTERS: seven little-endian 32-bit fields.
struct DiocRegisters {
    static constexpr std::size_t kBytes = 28;
    std::uint32_t reg_EBX = 0, reg_EDX = 0, reg_ECX = 0, reg_EAX = 0, reg_EDI = 0, reg_ESI = 0,
                  reg_Flags = 0;
    std::array<std::uint8_t, kBytes> Bytes() const;
    static DiocRegisters FromBytes(std::span<const std::uint8_t> bytes);  // at least kBytes of them
};

// The packed DISKIO block: start sector, sector count, buffer address, without gaps.
struct DiskIo {
    static constexpr std::size_t kBytes = 10;
    std::uint32_t startSector = 0;
    std::int16_t sectorCount = 0;
    std::uint32_t bufferAddress = 0;
    std::array<std::uint8_t, kBytes> Bytes() const;
    static DiskIo FromBytes(std::span<const std::uint8_t> bytes);  // at least kBytes of them
};

// 1 for A, 2 for B, 3 for C... from the drive text's first character, in either case.
std::int16_t DosDriveNumber(const std::string& drive);
// The letter a drive number stands for: 'A' for 1; 0 for a number no drive has.
char DosDriveLetter(std::int32_t number);

}  // namespace kelvara
