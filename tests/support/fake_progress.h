#pragma once
// A long command's progress as plain values, for testing the algorithms without a window.

#include <cstdint>
#include <functional>

#include "scan/command_progress.h"

namespace kelvara::testing {

class FakeProgress : public CommandProgress {
public:
    std::int64_t total = -1;  // -1 until a count began
    std::int64_t done = 0;
    std::int64_t sector = -1;  // the sector a scan said it tests last
    long advances = 0;
    std::function<void()> onAdvance;  // runs inside each step: the user acting meanwhile
    bool stopRequested = false;

    void Total(std::int64_t count) override {
        total = count;
        done = 0;
    }
    void Advance(std::int64_t value) override {
        done = value;
        ++advances;
        if (onAdvance) onAdvance();
    }
    void AtSector(std::int64_t at) override { sector = at; }
    bool StopRequested() override { return stopRequested; }
};

}  // namespace kelvara::testing
