#pragma once
// What both scans do with a photo they find, and how every scan ends.

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/scan_report.h"

namespace kelvara {

class PhotoRecorder {
public:
    // Starts the table afresh for a scan of `total` sectors of `drive`.
    // Records past what memory keeps go to a file in the temporary folder, never on the card read.
    PhotoRecorder(Platform& platform, const std::string& drive, FoundPhotoTable& table, std::int64_t total);

    // Records a photo whose signature starts `sector`: its record, the end of the one before.
    // When there is no memory left for it, nothing is recorded, the scan is stopped there, and
    // false comes back.
    bool Record(FileKind kind, std::int64_t sector);

    // The drive could not be read from `sector` on; the scan stops there.
    void StopUnreadable(const std::string& drive, std::int64_t sector, const std::string& reason);
    // The user asked the scan to stop before `sector`.
    void StopRequested(std::int64_t sector);
    // The drive holds no sector from `sector` on, though its size went further: the scan goes
    // on over zeros, the photo before that sector ends there, and the summary is followed by a
    // word about it. Only the first such end counts.
    void VolumeEnded(const std::string& drive, std::int64_t sector);

    bool Stopped() const { return report_.end != ScanReport::End::Finished; }

    // Ends the scan after `tested` sectors: the last photo runs to `driveEnd` (or to where the
    // scan stopped).
    ScanReport Finish(std::int64_t tested, std::int64_t driveEnd);

private:
    void Stop(ScanReport::End end, std::int64_t sector);

    const std::string drive_;
    FoundPhotoTable& table_;
    ScanReport report_;
};

}  // namespace kelvara
