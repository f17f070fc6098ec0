#include "window/yield_pace.h"

#include <algorithm>

namespace kelvara {
namespace {
constexpr std::int64_t kEventInterval = 15'000'000;  // nanoseconds between two runs of the event loop
constexpr std::int64_t kFastCalls = 1'000'000;       // calls closer than this may skip the clock
constexpr int kLongestStride = 4096;
}  // namespace

YieldPace::YieldPace() : start_(Clock::now()) {}

std::int64_t YieldPace::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count();
}

bool YieldPace::Due() {
    // Reading the clock costs as much as testing a sector, so it is read every `stride_` calls:
    // the stride doubles while calls come fast and drops back to 1 when they slow down.
    if (++calls_ < stride_) return false;
    calls_ = 0;
    const std::int64_t now = Now();
    const std::int64_t sinceCheck = now - lastClockCheck_;
    lastClockCheck_ = now;
    if (sinceCheck < kFastCalls)
        stride_ = std::min(stride_ * 2, kLongestStride);
    else if (sinceCheck > 4 * kFastCalls)
        stride_ = 1;
    return now - lastEvents_ >= kEventInterval;
}

void YieldPace::Ran() { lastEvents_ = Now(); }

void YieldPace::Restart() {
    stride_ = 1;
    calls_ = 0;
    lastClockCheck_ = Now();
}

}  // namespace kelvara
