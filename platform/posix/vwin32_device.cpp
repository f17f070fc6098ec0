#include "platform/posix/vwin32_device.h"

#include <cstring>

#include "platform/posix/byte_order.h"
#include "platform/posix/posix_errors.h"

namespace kelvara {
namespace {

constexpr std::size_t kRegisterBytes = 28;
constexpr std::size_t kDiskIoBytes = 10;
constexpr std::uint32_t kSectorBytes = 512;
constexpr std::uint32_t kCarryFlag = 0x1;
constexpr std::uint32_t kAbsoluteDiskReadWrite = 0x7305;  // AH 73h, AL 05h
constexpr std::uint32_t kWriteBit = 0x1;                  // SI bit 0: write

}  // namespace

Vwin32Device::Vwin32Device(const LowMemoryArena& memory, VolumeLookup volumes)
    : memory_(memory), volumes_(std::move(volumes)) {}

bool Vwin32Device::Control(DWORD ioControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                           DWORD& bytesReturned, DWORD& error) const {
    bytesReturned = 0;
    if (ioControlCode != VWIN32_DIOC_DOS_DRIVEINFO) {
        error = ERROR_NOT_SUPPORTED;
        return false;
    }
    if (in.size() < kRegisterBytes || out.size() < kRegisterBytes) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    Registers r;  // read whole before anything is written: in and out are often the same bytes
    r.ebx = LoadLe32(in, 0);
    r.edx = LoadLe32(in, 4);
    r.ecx = LoadLe32(in, 8);
    r.eax = LoadLe32(in, 12);
    r.edi = LoadLe32(in, 16);
    r.esi = LoadLe32(in, 20);
    r.flags = LoadLe32(in, 24);

    const std::uint32_t dosError = AbsoluteDiskRead(r);
    if (dosError == 0) {
        r.flags &= ~kCarryFlag;
    } else {
        r.flags |= kCarryFlag;
        r.eax = dosError;
    }
    const std::uint32_t fields[7] = {r.ebx, r.edx, r.ecx, r.eax, r.edi, r.esi, r.flags};
    for (std::size_t i = 0; i < 7; ++i) StoreLe32(out, 4 * i, fields[i]);
    bytesReturned = kRegisterBytes;
    return true;
}

std::uint32_t Vwin32Device::AbsoluteDiskRead(const Registers& r) const {
    if ((r.eax & 0xFFFF) != kAbsoluteDiskReadWrite) return ERROR_INVALID_FUNCTION;
    if (r.ecx != 0xFFFFFFFF) return ERROR_INVALID_PARAMETER;
    // This program never writes to the card, and neither does its disk service.
    if (r.esi & kWriteBit) return ERROR_WRITE_PROTECT;

    const auto diskIo = memory_.Resolve(r.ebx, kDiskIoBytes);
    if (diskIo.empty()) return ERROR_INVALID_PARAMETER;
    const std::uint32_t startSector = LoadLe32(diskIo, 0);
    const auto sectorCount = static_cast<std::int16_t>(LoadLe16(diskIo, 4));
    const std::uint32_t bufferAddress = LoadLe32(diskIo, 6);
    if (sectorCount <= 0) return ERROR_INVALID_PARAMETER;
    const std::size_t bufferBytes = static_cast<std::size_t>(sectorCount) * kSectorBytes;
    const auto buffer = memory_.Resolve(bufferAddress, bufferBytes);
    if (buffer.empty()) return ERROR_INVALID_PARAMETER;

    const auto driveNumber = static_cast<std::int32_t>(r.edx);
    if (driveNumber < 1 || driveNumber > 26) return ERROR_INVALID_DRIVE;
    DWORD lookupError = ERROR_INVALID_DRIVE;
    const auto volume = volumes_(static_cast<char>('A' + driveNumber - 1), lookupError);
    if (!volume) return lookupError;

    const std::uint64_t position = std::uint64_t{startSector} * kSectorBytes;
    const ssize_t got = volume->ReadAt(position, buffer);
    const std::size_t read = got > 0 ? static_cast<std::size_t>(got) : 0;
    std::memset(buffer.data() + read, 0, buffer.size() - read);
    if (got < 0) return ERROR_READ_FAULT;
    if (read == buffer.size()) return 0;
    // Short: either past the end of the volume, or the medium stopped answering.
    return position + read >= volume->length() ? ERROR_SECTOR_NOT_FOUND : ERROR_READ_FAULT;
}

}  // namespace kelvara
