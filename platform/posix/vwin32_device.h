#pragma once
// The 9x family's VWIN32 virtual device, emulated: interrupt 21h function 7305h (absolute disk
// read) against the mapped volumes. The request carries 32-bit addresses of a DISKIO block and a
// buffer; they are looked up in the low-memory registry and never taken as pointers.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/posix/low_memory_arena.h"
#include "platform/posix/raw_volume.h"
#include "platform/vwin32_request.h"
#include "platform/win32_types.h"

namespace kelvara {

class Vwin32Device {
public:
    // Gives the open volume of a drive letter, or null with a DOS error code (which for these
    // errors has the Win32 number).
    using VolumeLookup = std::function<std::shared_ptr<const RawVolume>(char letter, DWORD& dosError)>;

    Vwin32Device(const LowMemoryArena& memory, VolumeLookup volumes);

    // One DeviceIoControl on the device. False, with a Win32 error, only when the call itself is
    // malformed (unknown control code, register blocks too small); a disk request that fails
    // comes back as true with the carry flag set and the error in EAX, as on 9x.
    bool Control(DWORD ioControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                 DWORD& bytesReturned, DWORD& error) const;

private:
    // Runs the request; returns 0 on success or a DOS error code.
    std::uint32_t AbsoluteDiskRead(const DiocRegisters& registers) const;

    const LowMemoryArena& memory_;
    VolumeLookup volumes_;
};

}  // namespace kelvara
