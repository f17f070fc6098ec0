#pragma once
// The four commands of kelvara-cli. Each returns the exit status: 0 when everything asked for
// was done, 1 when something failed (after saying what on standard error).

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/progress_meter.h"
#include "cli/source.h"
#include "platform/platform.h"

namespace kelvara::cli {

// Also says which of the images given could not be given a drive letter.
int ListDrives(Platform& platform, const std::vector<Source>& images);
int ScanDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter);
int SaveDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter);
int ImageDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter);

}  // namespace kelvara::cli
