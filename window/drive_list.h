#pragma once
// The removable drives the drive combo offers.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

inline constexpr int kDriveSlots = 21;
inline constexpr const char* kSelectDrive = "Select Drive";

// Slots 0 upward hold the root strings of the removable drives ("E:\") in the system's order;
// the rest are empty. nullopt when the system cannot list its drives.
using DriveTable = std::array<std::string, kDriveSlots>;
std::optional<DriveTable> GetDriveList(Platform& platform);

// The combo's entries: "Select Drive", then the drives of `table`. The entry `chosen` of
// `shown` stays chosen, and stays listed in its letter's place even when its drive has gone: a
// running command reads its drive string from there and must not find another drive under it.
struct DriveEntries {
    std::vector<std::string> entries;
    int chosen = 0;
};
DriveEntries RefreshDriveEntries(const std::vector<std::string>& shown, int chosen, const DriveTable& table);

}  // namespace kelvara
