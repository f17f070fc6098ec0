#pragma once
// The desktop's disk service, udisks2, on the system bus: it lists the removable drives with
// their mount points, and hands a user a read-only descriptor of a device once polkit allows it
// (asking for a password where its policy says so). Where there is no system bus, no udisks2 on
// it, or no D-Bus client in this build, there is no Udisks and the kernel's view is used instead.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/removable_volumes.h"
#include "platform/posix/unique_fd.h"

namespace kelvara {

// False in a build without a D-Bus client.
extern const bool kUdisksBuiltIn;

class Udisks {
public:
    // nullptr when udisks2 cannot be asked here.
    static std::unique_ptr<Udisks> Connect();
    ~Udisks();

    // The partitions (or whole media without a table) of the drives that are removable or sit on
    // USB, SDIO or MMC, as the kernel's view gives them, with udisks2's mount points. nullopt
    // when the service does not answer.
    std::optional<std::vector<RemovableVolume>> RemovableVolumes();

    // A descriptor of the block device at `path`, or whose device number is `deviceNumber` when
    // that is not 0, opened read-only by udisks2. Invalid with `refusal` saying why when the
    // service does not know the device or will not open it.
    UniqueFd OpenReadOnly(const std::string& path, std::uint64_t deviceNumber, std::string& refusal);

private:
    struct Bus;
    explicit Udisks(std::unique_ptr<Bus> bus);

    std::mutex mutex_;  // a bus connection serves one caller at a time
    std::unique_ptr<Bus> bus_;
};

}  // namespace kelvara
