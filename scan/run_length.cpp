#include "scan/run_length.h"

namespace kelvara {

std::int64_t RunLength(std::int64_t total) {
    const std::int64_t whole = total / kScanRuns;
    const std::int64_t rest = total % kScanRuns;
    if (rest * 2 > kScanRuns) return whole + 1;
    if (rest * 2 == kScanRuns) return whole % 2 == 0 ? whole : whole + 1;
    return whole;
}

}  // namespace kelvara
