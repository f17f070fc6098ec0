#include "cli/progress_meter.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"

namespace kelvara::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::string Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace

ProgressMeter::ProgressMeter(Style style) : style_(style) {}

ProgressMeter::Style ProgressMeter::StyleFor(bool quiet) {
    if (quiet) return Style::Quiet;
    return StandardErrorIsTerminal() ? Style::Bar : Style::Lines;
}

void ProgressMeter::Start(const std::string& task, std::int64_t total, Unit unit) {
    if (started_) Finish();
    task_ = task;
    unit_ = unit;
    total_ = std::max<std::int64_t>(0, total);
    done_ = 0;
    started_ = true;
    begun_ = lastDrawn_ = Clock::now();
}

void ProgressMeter::Update(std::int64_t done) {
    done_ = done;
    if (!started_ || style_ == Style::Quiet) return;
    const auto now = Clock::now();
    const auto interval = style_ == Style::Bar ? std::chrono::milliseconds(200) : std::chrono::seconds(5);
    if (now - lastDrawn_ < interval) return;
    lastDrawn_ = now;
    Draw(false);
}

void ProgressMeter::Finish() {
    if (!started_) return;
    started_ = false;
    if (style_ != Style::Quiet) Draw(true);
}

void ProgressMeter::Draw(bool final) {
    const double seconds = std::chrono::duration<double>(Clock::now() - begun_).count();
    // Photos go by count; sectors and bytes by megabytes.
    const double perUnit = unit_ == Unit::Sectors ? 512.0 / 1e6 : unit_ == Unit::Bytes ? 1.0 / 1e6 : 1.0;
    const double done = static_cast<double>(done_) * perUnit, total = static_cast<double>(total_) * perUnit;
    const double rate = seconds > 0 ? done / seconds : 0.0;
    const double left = rate > 0 ? (total - done) / rate : 0.0;
    const int percent = total_ > 0 ? static_cast<int>(100 * done_ / total_) : 100;
    const std::string time = (final ? Duration(seconds) : Duration(left)) + (final ? " taken" : " left");

    char figures[160];
    switch (unit_) {
        case Unit::Sectors:
            std::snprintf(figures, sizeof figures, "%lld/%lld sectors  %.1f MB/s  %s", static_cast<long long>(done_),
                          static_cast<long long>(total_), rate, time.c_str());
            break;
        case Unit::Photos:
            std::snprintf(figures, sizeof figures, "%lld/%lld photos  %s", static_cast<long long>(done_),
                          static_cast<long long>(total_), time.c_str());
            break;
        case Unit::Bytes:
            std::snprintf(figures, sizeof figures, "%.1f/%.1f MB  %.1f MB/s  %s", done, total, rate, time.c_str());
            break;
    }
    if (style_ == Style::Lines) {
        std::fprintf(stderr, "%s: %d%%  %s\n", task_.c_str(), percent, figures);
        return;
    }
    const int columns = TerminalColumns();
    const int width = std::clamp(columns - static_cast<int>(task_.size() + std::string(figures).size()) - 10, 10, 50);
    const int filled = total_ > 0 ? static_cast<int>(width * done_ / total_) : width;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(static_cast<std::size_t>(width), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%  %s\x1b[K%s", task_.c_str(), bar.c_str(), percent, figures, final ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace kelvara::cli
