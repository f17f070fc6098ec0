#include "scan/photo_recorder.h"

#include <new>

#include "destination/spill_file.h"
#include "scan/entry_name.h"

namespace kelvara {

PhotoRecorder::PhotoRecorder(Platform& platform, Host& host, FoundPhotoTable& table, const std::string& prefix,
                             std::int64_t total)
    : host_(host), table_(table), prefix_(prefix) {
    table_.clear();
    table_.SetSpill([&platform, drive = host.DriveString()](std::string& why) { return OpenSpillFile(platform, drive, why); });
    report_.total = total;
}

bool PhotoRecorder::Record(FileKind kind, std::int64_t sector) {
    try {
        // The one before ends here; were there no room for this one, the scan would stop here too.
        if (!table_.empty()) table_.SetEndSector(table_.size() - 1, sector);
        table_.push_back({sector, 0, kind, formats::EndMarkerOf(kind), host_.DriveString()});
        try {
            host_.AddFoundEntry(EntryName(prefix_, static_cast<std::int64_t>(table_.size()) - 1, kind));
        } catch (const std::bad_alloc&) {
            table_.pop_back();
            throw;
        }
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
    for (const ScanMessage& message : ScanMessages(report_)) {
        if (message.summary)
            host_.ShowMessage(message.text, message.title);
        else
            host_.ShowFailure(message.text, message.title);
    }
    host_.ShowGuidePicture(3);
    host_.SetBusy(false);
    host_.SetStatus("Ready");
    host_.SetProgressValue(0);
    return report_;
}

}  // namespace kelvara
