#pragma once
// Progress on standard error: a bar redrawn in place on a terminal, a plain line now and then
// otherwise, nothing when quiet.

#include <chrono>
#include <cstdint>
#include <string>

namespace kelvara::cli {

class ProgressMeter {
public:
    enum class Style { Bar, Lines, Quiet };
    // What the task counts: sectors of the card, photos saved, or the bytes of one photo.
    enum class Unit { Sectors, Photos, Bytes };
    explicit ProgressMeter(Style style);
    static Style StyleFor(bool quiet);

    // A new task of `total` units.
    void Start(const std::string& task, std::int64_t total, Unit unit = Unit::Sectors);
    // Redraws when enough time has passed since the last drawing.
    void Update(std::int64_t done);
    // Draws the last state and ends the line.
    void Finish();

private:
    void Draw(bool final);

    Style style_;
    std::string task_;
    Unit unit_ = Unit::Sectors;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    bool started_ = false;
    std::chrono::steady_clock::time_point begun_, lastDrawn_;
};

}  // namespace kelvara::cli
