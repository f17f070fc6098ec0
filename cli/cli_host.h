#pragma once
// The window's controls as plain values for the command line: the drive and its sector count
// are fixed, progress goes to the meter, and the messages are left out: each command prints
// what its report says.

#include <cstdint>
#include <string>

#include "cli/progress_meter.h"
#include "scan/host.h"

namespace kelvara::cli {

// Set by Ctrl-C, and by SIGTERM and SIGHUP (a closed SSH session); long commands stop at their
// next read of the card: within a mebibyte of the photo or image being written, whose file is then
// not left under its name.
void WatchForInterrupt();
bool Interrupted();

class CliHost : public Host {
public:
    CliHost(std::string drive, std::int64_t sectors, ProgressMeter& meter);

    // What the progress bar counts from its next maximum on: reading the drive's sectors unless
    // told otherwise.
    void SetTask(std::string label, ProgressMeter::Unit unit);
    // The furthest the bar went since its maximum was set: the commands end the meter there,
    // though the bar itself goes back to 0.
    std::int64_t ProgressPeak() const { return progressPeak_; }

    std::string DriveString() override { return drive_; }
    std::string SectorsCaption() override { return sectorsCaption_; }
    void SetProgressMax(std::int64_t maximum) override;
    std::int64_t ProgressMax() override { return progressMax_; }
    bool SetProgressValue(std::int64_t value) override;
    void SetCurrentSector(std::int64_t) override {}
    void SetStatus(const std::string&) override {}
    void SetBusy(bool) override {}
    void ShowGuidePicture(int) override {}
    void AddFoundEntry(const std::string&) override {}  // the names are printed from the table
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    void Yield() override;
    bool StopRequested() override { return Interrupted(); }

private:
    std::string drive_;
    std::string sectorsCaption_;
    ProgressMeter& meter_;
    std::string task_;
    ProgressMeter::Unit unit_ = ProgressMeter::Unit::Sectors;
    std::int64_t progressMax_ = 100;
    std::int64_t progressValue_ = 0;
    std::int64_t progressPeak_ = 0;
    unsigned yields_ = 0;
};

}  // namespace kelvara::cli
