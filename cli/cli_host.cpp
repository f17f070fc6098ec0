#include "cli/cli_host.h"

#include <algorithm>
#include <csignal>

namespace kelvara::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

void WatchForInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, OnInterrupt);  // the terminal or the SSH session went away
#endif
}

bool Interrupted() { return interrupted != 0; }

CliHost::CliHost(std::string drive, std::int64_t sectors, ProgressMeter& meter)
    : drive_(std::move(drive)), sectorsCaption_(std::to_string(sectors)), meter_(meter), task_("reading " + drive_) {}

void CliHost::SetTask(std::string label, ProgressMeter::Unit unit) {
    task_ = std::move(label);
    unit_ = unit;
}

void CliHost::SetProgressMax(std::int64_t maximum) {
    progressMax_ = maximum;
    progressPeak_ = 0;
    meter_.Start(task_, maximum, unit_);
}

bool CliHost::SetProgressValue(std::int64_t value) {
    if (value < 0 || value > progressMax_) return false;
    progressValue_ = value;
    progressPeak_ = std::max(progressPeak_, value);
    return true;
}

void CliHost::Yield() {
    // The meter looks at the clock; a sector is tested in less time than that takes.
    if ((++yields_ & 0x3FF) == 0) meter_.Update(progressValue_);
}

}  // namespace kelvara::cli
