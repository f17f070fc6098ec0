#include "photos/save_file.h"

#include <new>

#include "diskio/checked_math.h"
#include "diskio/read_sectors.h"
#include "photos/end_marker.h"
#include "photos/written_file.h"
#include "scan/entry_name.h"

namespace kelvara {

std::string SaveFile(Platform& platform, Host& host, const FoundPhotoTable& table, std::int32_t FileNum,
                     const std::string& Folder, const std::string& Prefix) {
    host.Yield();
    if (FileNum < 0 || FileNum >= kFoundPhotoSlots)
        throw SaveError("Photo number " + std::to_string(std::int64_t{FileNum} + 1) + " is not in the list of found photos.");
    const FoundPhoto& photo = table[static_cast<std::size_t>(FileNum)];
    const std::string name = EntryName(Prefix, FileNum, photo.Kind);
    // "No" is the dialog's cancel marker; neither it nor "" may become a folder to write into.
    if (Folder.empty() || Folder == "No") throw SaveError(name + " was not saved: no destination folder was chosen.");

    std::int32_t count = 0;
    try {
        count = CheckedMul(CheckedSub(photo.EndSector, photo.StartSector, "the photo's sector count"), kSectorSize,
                           "the photo's byte count");
    } catch (const DiskError&) {
        throw SaveError(name + " could not be read: its run of " +
                        std::to_string(std::int64_t{photo.EndSector} - photo.StartSector) +
                        " sectors is too long to read at once (4194303 sectors at most).");
    }
    SectorBuffer buffer;
    std::int32_t held = 0;
    try {
        held = ReadSectorRun(platform, photo.Drive, photo.StartSector, count, buffer);
    } catch (const DiskError& error) {
        throw SaveError(name + " could not be read: " + error.what());
    } catch (const std::bad_alloc&) {
        throw SaveError(name + " could not be read: there is not enough memory for its run of sectors.");
    }
    // Zeros where the drive has ended are not the photo: no file rather than one that looks whole.
    if (held < count / kSectorSize)
        throw SaveError(name + " could not be read whole: drive " + photo.Drive + " holds nothing from sector " +
                        std::to_string(std::int64_t{photo.StartSector} + held) +
                        " on, inside the photo. The card may have been taken out or changed.");
    if (photo.EndMarker.size() >= 2) CutAfterLastEndMarker(buffer, photo.EndMarker[0], photo.EndMarker[1]);

    const std::string path = Folder + "\\" + name;
    if (const auto failure = WriteWholeFile(platform, path, buffer, CREATE_ALWAYS))
        throw SaveError(name + " could not be written: " + *failure);
    host.Yield();
    return path;
}

SaveReport SavePhotos(Platform& platform, Host& host, const FoundPhotoTable& table,
                      const std::vector<std::int32_t>& indexes, const std::string& Folder,
                      const std::string& Prefix) {
    SaveReport report;
    host.SetStatus("Saveing");
    for (const std::int32_t index : indexes) {
        if (host.StopRequested()) {
            report.stopped = true;
            break;
        }
        try {
            report.written.push_back(SaveFile(platform, host, table, index, Folder, Prefix));
        } catch (const SaveError& error) {
            if (report.failed++ == 0) report.firstFailure = error.what();
        }
    }
    host.SetStatus("Ready");
    if (report.failed > 0) {
        const auto asked = report.written.size() + static_cast<std::size_t>(report.failed);
        std::string text = "Saved " + std::to_string(report.written.size()) + " of " + std::to_string(asked) +
                           (asked == 1 ? " photo; " : " photos; ") + std::to_string(report.failed) +
                           " could not be saved.\n\n" + report.firstFailure;
        host.ShowMessage(text, "Kelvara");
    }
    return report;
}

}  // namespace kelvara
