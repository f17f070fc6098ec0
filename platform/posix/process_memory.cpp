#include "platform/process_memory.h"

#include <sys/resource.h>

namespace kelvara {

std::optional<std::uint64_t> PeakResidentBytes() {
    struct rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss <= 0) return std::nullopt;
#if defined(__APPLE__)
    return static_cast<std::uint64_t>(usage.ru_maxrss);  // bytes there
#else
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux and the BSDs
#endif
}

}  // namespace kelvara
