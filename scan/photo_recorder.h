#pragma once
// What both scans do with a photo they find, and how every scan ends.

#include <cstdint>
#include <optional>
#include <string>

#include "scan/found_photo.h"
#include "scan/host.h"

namespace kelvara {

class PhotoRecorder {
public:
    PhotoRecorder(Host& host, FoundPhotoTable& table, const std::string& prefix);

    // Records a photo whose signature starts `sector`: a list entry, its record, the end of
    // the one before. When all records are used, nothing is recorded, the scan is stopped
    // there, and false comes back.
    bool Record(const char* kind, std::int32_t sector);

    // The drive could not be read from `sector` on; the scan stops there.
    void StopUnreadable(const std::string& drive, std::int32_t sector, const std::string& reason);
    // The user asked the scan to stop before `sector`.
    void StopRequested(std::int32_t sector);
    // The drive holds no sector from `sector` on, though its size went further: the scan goes
    // on over zeros, the photo before that sector ends there, and the summary is followed by a
    // word about it. Only the first such end counts.
    void VolumeEnded(const std::string& drive, std::int32_t sector);

    bool Stopped() const { return stop_ != Stop::None; }
    int Count() const { return count_; }

    // Ends the scan: the last photo runs to `driveEnd` (or to where the scan stopped), the
    // summary, then the window back at rest.
    void Finish(std::int32_t driveEnd);

private:
    enum class Stop { None, Unreadable, TableFull, Requested };

    Host& host_;
    FoundPhotoTable& table_;
    const std::string& prefix_;  // the current prefix, read as each entry is added
    int count_ = 0;
    Stop stop_ = Stop::None;
    std::int32_t stopSector_ = 0;
    std::string stopMessage_;
    std::optional<std::int32_t> volumeEnd_;
    std::string volumeEndMessage_;
};

}  // namespace kelvara
