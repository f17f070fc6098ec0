#include "cli/cli_host.h"

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
    : drive_(std::move(drive)), sectorsCaption_(std::to_string(sectors)), meter_(meter) {}

void CliHost::SetProgressMax(std::int64_t maximum) {
    progressMax_ = maximum;
    meter_.Start("reading " + drive_, maximum);
}

bool CliHost::SetProgressValue(std::int64_t value) {
    if (value < 0 || value > progressMax_) return false;
    progressValue_ = value;
    return true;
}

void CliHost::Yield() {
    // The meter looks at the clock; a sector is tested in less time than that takes.
    if ((++yields_ & 0x3FF) == 0) meter_.Update(progressValue_);
}

}  // namespace kelvara::cli
