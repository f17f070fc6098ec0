#include "cli/cli_progress.h"

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

CliProgress::CliProgress(std::string task, ProgressMeter& meter, ProgressMeter::Unit unit)
    : meter_(meter), task_(std::move(task)), unit_(unit) {}

void CliProgress::Total(std::int64_t total) {
    done_ = 0;
    peak_ = 0;
    meter_.Start(task_, total, unit_);
}

void CliProgress::Advance(std::int64_t done) {
    done_ = done;
    peak_ = std::max(peak_, done);
    // The meter looks at the clock; a sector is tested in less time than that takes.
    if ((++steps_ & 0x3FF) == 0) meter_.Update(done_);
}

}  // namespace kelvara::cli
