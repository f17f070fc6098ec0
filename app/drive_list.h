#pragma once
#include <array>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kelvara {

inline constexpr int kDriveSlots = 21;

// Slots 0 upward hold the root strings of the removable drives ("E:\") in the system's order;
// the rest are empty. nullopt when the system cannot list its drives.
using DriveTable = std::array<std::string, kDriveSlots>;
std::optional<DriveTable> GetDriveList(Platform& platform);

}  // namespace kelvara
