#include "scan/photo_recorder.h"

#include <new>

#include "destination/spill_file.h"

namespace kelvara {

PhotoRecorder::PhotoRecorder(Platform& platform, const std::string& drive, FoundPhotoTable& table, std::int64_t total)
    : drive_(drive), table_(table) {
    table_.clear();
    table_.SetSpill([&platform, drive](std::string& why) { return OpenSpillFile(platform, drive, why); });
    report_.total = total;
}

bool PhotoRecorder::Record(FileKind kind, std::int64_t sector) {
    try {
        // The one before ends here; were there no room for this one, the scan would stop here too.
        if (!table_.empty()) table_.SetEndSector(table_.size() - 1, sector);
        table_.push_back({sector, 0, kind, formats::EndMarkerOf(kind), drive_});
    } catch (const std::bad_alloc&) {
        Stop(ScanReport::End::OutOfMemory, sector);
        return false;
    } catch (const RecordsNotKept& why) {
        Stop(ScanReport::End::RecordsNotKept, sector);
        report_.reason = why.what();
        return false;
    }
    return true;
}

void PhotoRecorder::Stop(ScanReport::End end, std::int64_t sector) {
    report_.end = end;
    report_.stopSector = sector;
}

void PhotoRecorder::StopUnreadable(const std::string& drive, std::int64_t sector, const std::string& reason) {
    Stop(ScanReport::End::Unreadable, sector);
    report_.drive = drive;
    report_.reason = reason;
}

void PhotoRecorder::StopRequested(std::int64_t sector) { Stop(ScanReport::End::Stopped, sector); }

void PhotoRecorder::VolumeEnded(const std::string& drive, std::int64_t sector) {
    if (report_.volumeEnd) return;
    report_.volumeEnd = sector;
    report_.drive = drive;
}

ScanReport PhotoRecorder::Finish(std::int64_t tested, std::int64_t driveEnd) {
    report_.found = static_cast<std::int64_t>(table_.size());
    report_.tested = tested;
    if (!table_.empty()) {
        const std::int64_t start = table_.back().StartSector;
        std::int64_t last = Stopped() ? report_.stopSector : driveEnd;
        // A photo cut off by the end of the volume ends there, so it can still be saved.
        const auto& end = report_.volumeEnd;
        if (end && start < *end && *end < last) last = *end;
        table_.SetEndSector(table_.size() - 1, last);
    }
    return report_;
}

}  // namespace kelvara
