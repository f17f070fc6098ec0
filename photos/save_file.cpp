#include "photos/save_file.h"

#include <algorithm>

#include "destination/destination.h"
#include "photos/saver.h"
#include "scan/entry_name.h"

namespace kelvara {
namespace {

// Saves `count` entries, the i-th being `indexAt(i)`.
SaveReport SaveEach(Platform& platform, CommandProgress& frontEnd, FoundPhotoTable& table, std::size_t count,
                    const std::function<std::int64_t(std::size_t)>& indexAt, Destination& destination,
                    const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    SaveReport report;
    SaveProgress progress(frontEnd);
    if (destination.refusal()) {
        report.refused = *destination.refusal();
        return report;
    }
    // Save All counts its photos; Save of one photo, which may be long, its bytes.
    const bool countPhotos = count != 1;
    if (countPhotos) progress.Total(static_cast<std::int64_t>(count));
    Saver saver(platform, progress, table, destination, Prefix, !countPhotos, card);
    for (std::size_t i = 0; i < count; ++i) {
        if (progress.StopRequested()) {
            report.stopped = true;
            break;
        }
        SavedEntry entry;
        entry.index = indexAt(i);
        try {
            entry = saver.Save(entry.index);
        } catch (const SaveError& error) {
            entry.failure = error.what();
        } catch (const SaveStopped&) {
            report.stopped = true;
            break;
        }
        Tally(report, entry, each);
        if (countPhotos) progress.Advance(static_cast<std::int64_t>(i + 1));
    }
    return report;
}

}  // namespace

std::int64_t DriveEnd(const FoundPhotoTable& table) { return table.empty() ? 0 : table.back().EndSector; }

std::vector<std::string> PhotoDrives(const FoundPhotoTable& table, const std::vector<std::int64_t>& indexes) {
    std::vector<std::string> drives;
    for (const std::int64_t index : indexes)
        if (index >= 0 && index < static_cast<std::int64_t>(table.size())) {
            const std::string drive = table[static_cast<std::size_t>(index)].Drive;
            if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
        }
    return drives;
}

std::vector<std::string> PhotoDrives(const FoundPhotoTable& table) {
    std::vector<std::string> drives;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string drive = table[i].Drive;
        if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
    }
    return drives;
}

std::string SaveFile(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, std::int64_t FileNum,
                     const std::string& Folder, const std::string& Prefix) {
    Destination destination(platform, Folder, PhotoDrives(table, {FileNum}));
    SaveProgress counted(progress);
    Saver saver(platform, counted, table, destination, Prefix);
    SavedEntry entry;
    try {
        entry = saver.Save(FileNum);
    } catch (const SaveStopped&) {
        throw SaveError(EntryName(Prefix, FileNum, table[static_cast<std::size_t>(FileNum)].Kind) +
                        " was not saved: saving was stopped.");
    }
    if (entry.status == PhotoStatus::NotAPhoto)
        throw SaveError(entry.name + " was not saved: it is not a photo, nothing of a picture follows its signature.");
    return entry.path;
}

SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, const std::string& Folder, const std::string& Prefix,
                      const SaveListener& each, const CardUse& card) {
    Destination destination(platform, Folder, PhotoDrives(table, indexes));
    return SavePhotos(platform, progress, table, indexes, destination, Prefix, each, card);
}

SaveReport SavePhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, Destination& destination, const std::string& Prefix,
                      const SaveListener& each, const CardUse& card) {
    return SaveEach(platform, progress, table, indexes.size(), [&](std::size_t i) { return indexes[i]; }, destination, Prefix,
                    each, card);
}

SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, const std::string& Folder,
                         const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    Destination destination(platform, Folder, PhotoDrives(table));
    return SaveAllPhotos(platform, progress, table, destination, Prefix, each, card);
}

SaveReport SaveAllPhotos(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                         const std::string& Prefix, const SaveListener& each, const CardUse& card) {
    return SaveEach(platform, progress, table, table.size(), [](std::size_t i) { return static_cast<std::int64_t>(i); },
                    destination, Prefix, each, card);
}

std::optional<std::string> SaveShortfall(const SaveReport& report) {
    if (!report.refused.empty()) return report.refused;
    if (report.failed == 0) return std::nullopt;
    const auto asked = report.saved + report.failed;
    return "Saved " + std::to_string(report.saved) + " of " + std::to_string(asked) +
           (asked == 1 ? " photo; " : " photos; ") + std::to_string(report.failed) + " could not be saved.\n\n" +
           report.firstFailure;
}


}  // namespace kelvara
