// The long commands as the window runs them: what it asks before, what it shows meanwhile and
// what it tells of their reports. The algorithms themselves say nothing.

#include <optional>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "diskio/get_total_sectors.h"
#include "diskio/sector_source.h"
#include "photos/card_entry.h"
#include "photos/save_file.h"
#include "platform/last_error_text.h"
#include "scan/scan.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"
#include "window/command_messages.h"
#include "window/control_ids.h"
#include "window/frm_main.h"

namespace kelvara {
namespace {

const char* const kWipePrompt =
    "Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible."
    "         Are you sure you want to wipe this disk?";

// The wipe's passes go on the bar against the count it already has, as they always did.
class WipeOnTheBar : public CommandProgress {
public:
    explicit WipeOnTheBar(CommandProgress& window) : window_(window) {}
    void Total(std::int64_t) override {}
    void Advance(std::int64_t done) override { window_.Advance(done); }
    bool StopRequested() override { return window_.StopRequested(); }

private:
    CommandProgress& window_;
};

}  // namespace

using namespace ids::frm_main;

void FrmMain::Scan() {
    Busy = true;
    list_.StartScan(Prefix);  // its entries keep the prefix they were found under
    view_->SetEntryCount(lstFiles, 0);
    controls_.SetText(lblTotal, Caption(lblSectors));
    SetStatus("Scaning. .");
    // Asked before the scan, while clicks are still held off; said after the count.
    const auto shortNote = ShortVolumeNote(platform_, DriveString(), driveSectors_);
    // The card's folders are looked for in the scan's own reads.
    cardEntries_.reset();
    folderWatch_ = WatchCardFolders(platform_, DriveString(), driveSectors_);
    SectorSource card(platform_, DriveString());
    const ScanReport report = OSVersion() ? ScanWinNT(card) : ScanWin98(card);
    controlsDirty_ = true;  // the list follows the table to its last entry
    for (const Message& message : ScanEndMessages(report)) Tell(message);
    ShowGuidePicture(3);
    Busy = false;
    SetStatus("Ready");
    SetProgressValue(0);
    if (const auto unreadable = ScanUnreadableMessage(report)) Tell(*unreadable);
    cardEntries_.reset();
    cardUse_ = {CardNames, folderWatch_ ? folderWatch_->Found() : std::vector<std::uint64_t>{}};
    if (shortNote) ShowMessage(*shortNote, "Kelvara");
}

ScanReport FrmMain::ScanWinNT(SectorSource& card) {
    return kelvara::ScanWinNT({platform_, *this, FoundPhotoTable, card, driveSectors_, KindSet::All(),
                               folderWatch_ ? folderWatch_->Listener() : nullptr});
}

ScanReport FrmMain::ScanWin98(SectorSource& card) {
    return kelvara::ScanWin98({platform_, *this, FoundPhotoTable, card, driveSectors_});
}

void FrmMain::Save(const std::vector<std::int64_t>& indexes) {
    const auto folder = ChooseFolder(PhotoDrives(FoundPhotoTable, indexes));
    if (!folder) return;
    Destination destination(platform_, *folder, PhotoDrives(FoundPhotoTable, indexes));
    // A folder on the card, or one another Kelvara is writing into, is refused before anything begins.
    if (destination.refusal()) {
        ShowFailure(*destination.refusal(), "Kelvara");
        return;
    }
    SetStatus("Saveing");
    // The card the photos were found on, held open to the last photo.
    const std::vector<std::string> drives = PhotoDrives(FoundPhotoTable, indexes);
    SectorSource card(platform_, drives.empty() ? DriveString() : drives.front());
    const SaveReport report =
        SavePhotos(platform_, *this, FoundPhotoTable, indexes, destination, Prefix, {},
                   {CardNames, folderWatch_ ? folderWatch_->Found() : std::vector<std::uint64_t>{}, &card});
    SetProgressValue(0);
    SetStatus("Ready");
    for (const Message& message : SaveEndMessages(report)) Tell(message);
}

void FrmMain::ImageDisk(const std::string& folder) {
    if (folder.empty()) return;
    if (!AskYesNo("Make image at " + folder + "\\", "Make Image")) return;
    // The drive and its size are taken once: the image is of the card the command started with.
    const std::string drive = DriveString();
    Destination destination(platform_, folder, {drive});
    SectorSource card(platform_, drive);  // held to the last sector: another card is never copied on
    if (const auto told = ImageEndMessage(MakeImage(card, driveSectors_, destination, *this))) Tell(*told);
}

void FrmMain::DiskWipe() {
    if (driveSectors_ <= 0) return;
    const std::string drive = DriveString();
    switch (CheckWipe(platform_, drive)) {
        case WipeCheck::NotADrive:
            ShowFailure("There is no drive to wipe: \"" + drive + "\" is not a drive.", "Disk Wipe");
            return;
        case WipeCheck::RootUnreadable:
            ShowFailure("Drive " + drive + " cannot be wiped: its root folder cannot be read. " + LastErrorText(platform_) +
                            "\n\nDisk Wipe deletes the card's files and fills its free space through its file "
                            "system, so it needs the card mounted. A card in a card reader: open it in the file "
                            "manager, which mounts it, then press Disk Wipe again. A card image given to Kelvara "
                            "when it started is never mounted for it, and cannot be wiped here: to wipe the card "
                            "the image was made from, put that card in the reader and choose its drive; an image "
                            "that is no longer wanted is simply deleted.",
                        "Disk Wipe");
            return;
        case WipeCheck::Ready: break;
    }
    if (!AskYesNo(kWipePrompt, "Confrim")) {
        SetStatus("Ready");
        return;
    }
    SetStatus("Wipeing");
    WipeOnTheBar bar(*this);
    const WipeReport report = WipeDrive(platform_, drive, driveSectors_, bar);
    SetStatus("Ready");
    if (const auto told = WipeEndMessage(report)) Tell(*told);
}

}  // namespace kelvara
