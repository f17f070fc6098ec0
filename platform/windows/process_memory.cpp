#include "platform/process_memory.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>

namespace kelvara {

std::optional<std::uint64_t> PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return std::nullopt;
    return static_cast<std::uint64_t>(counters.PeakWorkingSetSize);
}

}  // namespace kelvara
