#pragma once
// How often a long command's yields really run the event loop. A scan yields after every
// sector; running the event loop (and repainting) that often would make a scan of a card take
// hours. So the loop runs at most about every 15 ms, and a yield in between returns at once.

#include <chrono>
#include <cstdint>

namespace kelvara {

class YieldPace {
public:
    YieldPace();
    // True when this yield should run the event loop; call Ran() once it has.
    bool Due();
    void Ran();
    // A new command finds its own pace.
    void Restart();

private:
    using Clock = std::chrono::steady_clock;
    std::int64_t Now() const;  // nanoseconds since the pace began

    Clock::time_point start_;
    std::int64_t lastClockCheck_ = 0;
    std::int64_t lastEvents_ = 0;
    int stride_ = 1;
    int calls_ = 0;
};

}  // namespace kelvara
