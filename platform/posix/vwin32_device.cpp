#include "platform/posix/vwin32_device.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/posix_errors.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kSectorBytes = 512;

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
    if (in.size() < DiocRegisters::kBytes || out.size() < DiocRegisters::kBytes) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    // Read whole before anything is written: in and out are often the same bytes.
    DiocRegisters r = DiocRegisters::FromBytes(in);
    const std::uint32_t dosError = AbsoluteDiskRead(r);
    if (dosError == 0) {
        r.reg_Flags &= ~kCarryFlag;
    } else {
        r.reg_Flags |= kCarryFlag;
        r.reg_EAX = dosError;
    }
    const auto bytes = r.Bytes();
    std::copy(bytes.begin(), bytes.end(), out.begin());
    bytesReturned = DiocRegisters::kBytes;
    return true;
}

std::uint32_t Vwin32Device::AbsoluteDiskRead(const DiocRegisters& r) const {
    if ((r.reg_EAX & 0xFFFF) != kAbsoluteDiskRead) return ERROR_INVALID_FUNCTION;
    if (r.reg_ECX != kDiskIoRequest) return ERROR_INVALID_PARAMETER;
    // This program never writes to the card, and neither does its disk service.
    if (r.reg_ESI & kWriteRequest) return ERROR_WRITE_PROTECT;

    const auto block = memory_.Resolve(r.reg_EBX, DiskIo::kBytes);
    if (block.empty()) return ERROR_INVALID_PARAMETER;
    const DiskIo diskIo = DiskIo::FromBytes(block);
    if (diskIo.sectorCount <= 0) return ERROR_INVALID_PARAMETER;
    const std::size_t bufferBytes = static_cast<std::size_t>(diskIo.sectorCount) * kSectorBytes;
    const auto buffer = memory_.Resolve(diskIo.bufferAddress, bufferBytes);
    if (buffer.empty()) return ERROR_INVALID_PARAMETER;

    const char letter = DosDriveLetter(static_cast<std::int32_t>(r.reg_EDX));
    if (letter == 0) return ERROR_INVALID_DRIVE;
    DWORD lookupError = ERROR_INVALID_DRIVE;
    const auto volume = volumes_(letter, lookupError);
    if (!volume) return lookupError;

    const std::uint64_t position = std::uint64_t{diskIo.startSector} * kSectorBytes;
    const ssize_t got = volume->ReadAt(position, buffer);
    const std::size_t read = got > 0 ? static_cast<std::size_t>(got) : 0;
    std::memset(buffer.data() + read, 0, buffer.size() - read);
    if (got < 0) return ERROR_READ_FAULT;
    if (read == buffer.size()) return 0;
    // Short: either past the end of the volume, or the medium stopped answering.
    return position + read >= volume->length() ? ERROR_SECTOR_NOT_FOUND : ERROR_READ_FAULT;
}

}  // namespace kelvara
