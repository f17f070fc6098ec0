#pragma once
// A long command's progress at the command line: drawn by the meter, stopped by Ctrl-C.

#include <cstdint>
#include <string>

#include "cli/progress_meter.h"
#include "scan/command_progress.h"

namespace kelvara::cli {

// Set by Ctrl-C, and by SIGTERM and SIGHUP (a closed SSH session); long commands stop at their
// next read of the card: within a mebibyte of the photo or image being written, whose file is then
// not left under its name.
void WatchForInterrupt();
bool Interrupted();

class CliProgress : public CommandProgress {
public:
    CliProgress(std::string task, ProgressMeter& meter, ProgressMeter::Unit unit = ProgressMeter::Unit::Sectors);

    // The furthest the count went since it began: the commands end the meter there.
    std::int64_t Peak() const { return peak_; }

    void Total(std::int64_t total) override;
    void Advance(std::int64_t done) override;
    bool StopRequested() override { return Interrupted(); }

private:
    ProgressMeter& meter_;
    std::string task_;
    ProgressMeter::Unit unit_;
    std::int64_t done_ = 0;
    std::int64_t peak_ = 0;
    unsigned steps_ = 0;
};

}  // namespace kelvara::cli
