#include "photos/save_file.h"

#include <algorithm>
#include <new>

#include "destination/destination_check.h"
#include "destination/destination_lock.h"
#include "destination/written_file.h"
#include "diskio/disk_error.h"
#include "photos/drive_bytes.h"
#include "photos/photo_bytes.h"
#include "scan/entry_name.h"

namespace kelvara {

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

std::string SaveFile(Platform& platform, Host& host, const FoundPhotoTable& table, std::int64_t FileNum,
                     const std::string& Folder, const std::string& Prefix, SectorRanges* zeros) {
    host.Yield();
    if (FileNum < 0 || FileNum >= static_cast<std::int64_t>(table.size()))
        throw SaveError("Photo number " + std::to_string(FileNum + 1) + " is not in the list of found photos.");
    const FoundPhoto photo = table[static_cast<std::size_t>(FileNum)];
    const std::string name = EntryName(Prefix, FileNum, photo.Kind);
    // "" would become the root of whatever drive the program runs on. (The window never passes the
    // dialog's cancel marker; the command line has no dialog, so there "No" is a folder's name.)
    if (Folder.empty()) throw SaveError(name + " was not saved: no destination folder was chosen.");

    const auto stopAsked = [&host] {
        if (host.StopRequested()) throw SaveStopped{};
    };
    DriveBytes bytes(platform, photo.Drive, photo.StartSector, photo.EndSector, DriveEnd(table), [&host, stopAsked] {
        host.Yield();
        stopAsked();
    });
    const std::string path = Folder + "\\" + name;
    try {
        const std::uint64_t length = PhotoLength(bytes, photo);
        const NextPiece pieces = PhotoPieces(bytes, length);
        const NextPiece stoppable = [&] {
            stopAsked();
            return pieces();
        };
        if (const auto failure = WriteWholeFile(platform, path, stoppable, photo.Drive))
            throw SaveError(name + " could not be written: " + *failure);
        if (zeros) {
            const auto sectors = static_cast<std::int64_t>((length + kSectorSize - 1) / kSectorSize);
            *zeros = bytes.Unreadable().Within(photo.StartSector, photo.StartSector + sectors);
        }
    } catch (const DiskError& error) {
        throw SaveError(name + " could not be read: " + error.what());
    } catch (const std::bad_alloc&) {
        throw SaveError(name + " could not be read: there is not enough memory to read it.");
    }
    host.Yield();
    return path;
}

SaveReport SavePhotos(Platform& platform, Host& host, const FoundPhotoTable& table,
                      const std::vector<std::int64_t>& indexes, const std::string& Folder,
                      const std::string& Prefix) {
    SaveReport report;
    const DestinationLock lock(platform, Folder);
    if (auto refusal = SourceDriveRefusal(platform, Folder, PhotoDrives(table, indexes))) report.refused = *refusal;
    else if (lock.refusal()) report.refused = *lock.refusal();
    if (!report.refused.empty()) {
        host.ShowFailure(report.refused, "Kelvara");
        return report;
    }

    RemoveLeftovers(platform, Folder);
    host.SetStatus("Saveing");
    for (const std::int64_t index : indexes) {
        if (host.StopRequested()) {
            report.stopped = true;
            break;
        }
        SectorRanges zeros;
        try {
            report.written.push_back(SaveFile(platform, host, table, index, Folder, Prefix, &zeros));
        } catch (const SaveError& error) {
            if (report.failed++ == 0) report.firstFailure = error.what();
        } catch (const SaveStopped&) {
            report.stopped = true;
            break;
        }
        if (!zeros.empty()) {
            const std::string& path = report.written.back();
            report.zeroFilled.push_back({path.substr(path.find_last_of('\\') + 1), zeros});
            report.unreadable.Add(zeros);
        }
    }
    host.SetStatus("Ready");
    if (const auto shortfall = SaveShortfall(report)) host.ShowFailure(*shortfall, "Kelvara");
    if (!report.unreadable.empty()) host.ShowFailure(UnreadableText(report.unreadable, report.zeroFilled), "Kelvara");
    return report;
}

std::optional<std::string> SaveShortfall(const SaveReport& report) {
    if (!report.refused.empty()) return report.refused;
    if (report.failed == 0) return std::nullopt;
    const auto asked = report.written.size() + static_cast<std::size_t>(report.failed);
    return "Saved " + std::to_string(report.written.size()) + " of " + std::to_string(asked) +
           (asked == 1 ? " photo; " : " photos; ") + std::to_string(report.failed) + " could not be saved.\n\n" +
           report.firstFailure;
}

}  // namespace kelvara
