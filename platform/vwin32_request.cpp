#include "platform/vwin32_request.h"

#include "platform/byte_order.h"
#include "platform/drive_string.h"

namespace kelvara {

std::array<std::uint8_t, DiocRegisters::kBytes> DiocRegisters::Bytes() const {
    std::array<std::uint8_t, kBytes> out{};
    const std::uint32_t fields[7] = {reg_EBX, reg_EDX, reg_ECX, reg_EAX, reg_EDI, reg_ESI, reg_Flags};
    for (std::size_t i = 0; i < 7; ++i) StoreLe32(out, 4 * i, fields[i]);
    return out;
}

DiocRegisters DiocRegisters::FromBytes(std::span<const std::uint8_t> bytes) {
    DiocRegisters r;
    r.reg_EBX = LoadLe32(bytes, 0);
    r.reg_EDX = LoadLe32(bytes, 4);
    r.reg_ECX = LoadLe32(bytes, 8);
    r.reg_EAX = LoadLe32(bytes, 12);
    r.reg_EDI = LoadLe32(bytes, 16);
    r.reg_ESI = LoadLe32(bytes, 20);
    r.reg_Flags = LoadLe32(bytes, 24);
    return r;
}

std::array<std::uint8_t, DiskIo::kBytes> DiskIo::Bytes() const {
    std::array<std::uint8_t, kBytes> out{};
    StoreLe32(out, 0, startSector);
    StoreLe16(out, 4, static_cast<std::uint16_t>(sectorCount));
    StoreLe32(out, 6, bufferAddress);
    return out;
}

DiskIo DiskIo::FromBytes(std::span<const std::uint8_t> bytes) {
    return {LoadLe32(bytes, 0), static_cast<std::int16_t>(LoadLe16(bytes, 4)), LoadLe32(bytes, 6)};
}

std::int16_t DosDriveNumber(const std::string& drive) { return static_cast<std::int16_t>(DriveLetter(drive) - 'A' + 1); }

char DosDriveLetter(std::int32_t number) { return number >= 1 && number <= 26 ? static_cast<char>('A' + number - 1) : 0; }

}  // namespace kelvara
