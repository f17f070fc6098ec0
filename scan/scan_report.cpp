#include "scan/scan_report.h"

#include "diskio/disk_error.h"

namespace kelvara {

std::vector<ScanMessage> ScanMessages(const ScanReport& report) {
    const std::string at = std::to_string(report.stopSector);
    std::vector<ScanMessage> messages;
    if (report.end == ScanReport::End::Unreadable)
        messages.push_back({"Kelvara could not read drive " + report.drive + " from sector " + at +
                                " on, so the scan stopped there.\n" + report.reason,
                            "Kelvara"});
    if (report.end == ScanReport::End::Stopped)
        messages.push_back(
            {"The scan was stopped at sector " + at + "; the photos found before it are listed.", "Kelvara"});
    messages.push_back({"Kelvara's found " + std::to_string(report.found) + " Files", "Scan Complete", true});
    // A drive that then could not be opened at all has already been told of.
    if (report.volumeEnd && report.end != ScanReport::End::Unreadable)
        messages.push_back({DriveEndedText(report.drive, *report.volumeEnd) +
                                ", though its size goes further: the card may have been taken out or changed.",
                            "Kelvara"});
    if (report.end == ScanReport::End::OutOfMemory)
        messages.push_back({"There is no memory left for more photos: the list holds " + std::to_string(report.found) +
                                ". The drive was not examined from sector " + at + " on.",
                            "Kelvara"});
    return messages;
}

}  // namespace kelvara
