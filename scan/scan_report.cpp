#include "scan/scan_report.h"

#include <algorithm>

#include "diskio/disk_error.h"

namespace kelvara {

std::vector<ScanMessage> ScanMessages(const ScanReport& report) {
    const std::string at = std::to_string(report.stopSector);
    std::vector<ScanMessage> messages;
    if (report.end == ScanReport::End::Unreadable)
        messages.push_back({"Kelvara could not read drive " + report.drive + " from sector " + at +
                                " on, so the scan stopped there.\n" + report.reason});
    if (report.end == ScanReport::End::Stopped)
        messages.push_back(
            {"The scan was stopped at sector " + at + "; the photos found before it are listed."});
    messages.push_back({"Kelvara's found " + std::to_string(report.found) + " Files", true});
    // A drive that then could not be opened at all has already been told of.
    if (report.volumeEnd && report.end != ScanReport::End::Unreadable)
        messages.push_back({DriveEndedText(report.drive, *report.volumeEnd) +
                                ", though its size goes further: the card may have been taken out or changed."});
    if (report.end == ScanReport::End::RecordsNotKept)
        messages.push_back({"The list of found photos cannot grow any further: " + report.reason + ". It holds " +
                                std::to_string(report.found) + "; the drive was not examined from sector " + at + " on."});
    if (report.end == ScanReport::End::OutOfMemory)
        messages.push_back({"There is no memory left for more photos: the list holds " + std::to_string(report.found) +
                                ". The drive was not examined from sector " + at + " on."});
    return messages;
}

namespace {

// "A", "A and B", "A, B and C", or with `most` names "A, B and 5 more files".
std::string Names(const std::vector<std::string>& names, std::size_t most) {
    std::string text;
    const std::size_t shown = names.size() > most ? most : names.size();
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " more files";
    return text;
}

}  // namespace

std::vector<std::string> UnreadableLines(const SectorRanges& unreadable, const std::vector<ZeroFilledFile>& files,
                                         std::size_t most) {
    const std::vector<SectorRange>& ranges = unreadable.ranges();
    // Each file's zeros lie inside the ranges that could not be read: the files of each range.
    std::vector<std::vector<std::string>> holders(ranges.size());
    for (const ZeroFilledFile& file : files)
        for (const SectorRange& part : file.sectors.ranges()) {
            const auto at = std::upper_bound(ranges.begin(), ranges.end(), part.first,
                                             [](std::int64_t sector, const SectorRange& range) { return sector < range.end; });
            for (auto range = at; range != ranges.end() && range->first < part.end; ++range) {
                auto& names = holders[static_cast<std::size_t>(range - ranges.begin())];
                if (names.empty() || names.back() != file.name) names.push_back(file.name);
            }
        }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (lines.size() == most) {
            std::int64_t sectors = 0;
            for (std::size_t j = i; j < ranges.size(); ++j) sectors += ranges[j].end - ranges[j].first;
            lines.push_back("... and " + std::to_string(ranges.size() - i) + " more ranges, " + std::to_string(sectors) +
                            (sectors == 1 ? " sector." : " sectors."));
            break;
        }
        const bool one = ranges[i].end - ranges[i].first == 1;
        std::string line = RangeText(ranges[i]) + " could not be read";
        if (!holders[i].empty()) line += (one ? "; it is zeros in " : "; they are zeros in ") + Names(holders[i], most);
        lines.push_back(line + ".");
    }
    if (unreadable.Joined())
        lines.push_back("There were too many ranges to tell apart: later ones were joined, and hold sectors that were read.");
    return lines;
}

std::string UnreadableText(const SectorRanges& unreadable, const std::vector<ZeroFilledFile>& files) {
    std::string text;
    for (const std::string& line : UnreadableLines(unreadable, files, 6)) text += (text.empty() ? "" : "\n") + line;
    return text;
}

}  // namespace kelvara
