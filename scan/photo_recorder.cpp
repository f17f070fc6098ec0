#include "scan/photo_recorder.h"

#include "scan/entry_name.h"
#include "scan/signature.h"

namespace kelvara {

PhotoRecorder::PhotoRecorder(Host& host, FoundPhotoTable& table, const std::string& prefix)
    : host_(host), table_(table), prefix_(prefix) {}

bool PhotoRecorder::Record(const char* kind, std::int32_t sector) {
    if (count_ == kFoundPhotoSlots) {
        stop_ = Stop::TableFull;
        stopSector_ = sector;
        return false;
    }
    host_.AddFoundEntry(EntryName(prefix_, count_, kind));
    FoundPhoto& photo = table_[count_];
    photo.StartSector = sector;
    photo.Kind = kind;
    photo.EndMarker = EndMarkerFor(kind);
    if (count_ > 0) table_[count_ - 1].EndSector = sector;
    photo.Drive = host_.DriveString();
    ++count_;
    return true;
}

void PhotoRecorder::StopUnreadable(const std::string& drive, std::int32_t sector, const std::string& reason) {
    stop_ = Stop::Unreadable;
    stopSector_ = sector;
    stopMessage_ = "Kelvara could not read drive " + drive + " from sector " + std::to_string(sector) +
                   " on, so the scan stopped there.\n" + reason;
}

void PhotoRecorder::StopRequested(std::int32_t sector) {
    stop_ = Stop::Requested;
    stopSector_ = sector;
    stopMessage_ = "The scan was stopped at sector " + std::to_string(sector) +
                   "; the photos found before it are listed.";
}

void PhotoRecorder::VolumeEnded(const std::string& drive, std::int32_t sector) {
    if (volumeEnd_) return;
    volumeEnd_ = sector;
    volumeEndMessage_ = "Drive " + drive + " holds nothing from sector " + std::to_string(sector) +
                        " on, though its size goes further: the card may have been taken out or changed.";
}

void PhotoRecorder::Finish(std::int32_t driveEnd) {
    if (count_ > 0) {
        FoundPhoto& last = table_[count_ - 1];
        last.EndSector = Stopped() ? stopSector_ : driveEnd;
        // A photo cut off by the end of the volume ends there, so it can still be saved.
        if (volumeEnd_ && last.StartSector < *volumeEnd_ && *volumeEnd_ < last.EndSector) last.EndSector = *volumeEnd_;
    }
    if (stop_ == Stop::Unreadable || stop_ == Stop::Requested) host_.ShowMessage(stopMessage_, "Kelvara");
    host_.ShowMessage("Kelvara's found " + std::to_string(count_) + " Files", "Scan Complete");
    // A drive that then could not be opened at all has already been told of.
    if (volumeEnd_ && stop_ != Stop::Unreadable) host_.ShowMessage(volumeEndMessage_, "Kelvara");
    if (stop_ == Stop::TableFull)
        host_.ShowMessage("The list is full: it holds " + std::to_string(kFoundPhotoSlots) +
                              " photos. The drive was not examined from sector " + std::to_string(stopSector_) +
                              " on.",
                          "Kelvara");
    host_.ShowGuidePicture(3);
    host_.SetBusy(false);
    host_.SetStatus("Ready");
    host_.SetProgressValue(0);
}

}  // namespace kelvara
