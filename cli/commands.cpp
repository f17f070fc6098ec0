#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_progress.h"
#include "cli/source.h"
#include "destination/destination.h"
#include "diskio/get_total_sectors.h"
#include "diskio/is_windows_nt.h"
#include "diskio/sector.h"
#include "photos/card_entry.h"
#include "photos/save_file.h"
#include "photos/scan_and_save.h"
#include "platform/drive_string.h"
#include "platform/last_error_text.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "tools/make_image.h"

namespace kelvara::cli {
namespace {

// Where complaints wait while they are held back (see HeldComplaints); none: they are printed.
std::vector<std::string>* heldComplaints = nullptr;

void Complain(const std::string& text) {
    if (heldComplaints) return heldComplaints->push_back(text);
    std::fprintf(stderr, "kelvara-cli: %s\n", text.c_str());
}

// Holds complaints back from its making until Print: a save going along behind the scan speaks
// after the scan has said how it ended, as a save after the scan does.
class HeldComplaints {
public:
    HeldComplaints() { heldComplaints = &lines_; }
    ~HeldComplaints() { Print([] {}); }  // what an error cut short is still said
    HeldComplaints(const HeldComplaints&) = delete;
    HeldComplaints& operator=(const HeldComplaints&) = delete;
    // Lets complaints be printed again, then prints those held: `first` before them.
    void Print(const std::function<void()>& first) {
        heldComplaints = nullptr;
        first();
        for (const std::string& line : lines_) Complain(line);
        lines_.clear();
    }

private:
    std::vector<std::string> lines_;
};

// Every range of sectors that could not be read, a line each, with the files holding zeros there.
void ComplainOfUnreadable(const SectorRanges& unreadable, const std::vector<ZeroFilledFile>& files = {}) {
    for (const std::string& line : UnreadableLines(unreadable, files)) Complain(line);
}

const char* TypeName(DWORD type) {
    switch (type) {
        case DRIVE_REMOVABLE: return "removable";
        case DRIVE_FIXED: return "fixed";
        case DRIVE_REMOTE: return "network";
        case DRIVE_CDROM: return "optical";
        case DRIVE_RAMDISK: return "ramdisk";
        case DRIVE_NO_ROOT_DIR: return "none";
        default: return "unknown";
    }
}

// The sector count the window would show for the drive, or what --sectors says. A drive that
// ends before its file system does is read to its end, and the user is told.
std::optional<std::int64_t> SectorsOf(Platform& platform, const std::string& drive, const CommandLine& line) {
    if (line.sectors) return *line.sectors;
    const std::int64_t total = GetTotalSectors(platform, drive);
    if (total < 0) {
        Complain("the size of drive " + drive + " cannot be read: " + LastErrorText(platform));
        return std::nullopt;
    }
    if (total == 0) {
        Complain("drive " + drive + " holds no sectors to read.");
        return std::nullopt;
    }
    if (const auto note = ShortVolumeNote(platform, drive, total)) Complain(*note);
    return total;
}

// The folder to write into, claimed before the card is read: off the card being read, made with
// the folders above it, held against any other Kelvara until the command ends. nullptr, after
// saying why, when it cannot be; so a long scan never ends in a refusal.
std::unique_ptr<Destination> ClaimFolder(Platform& platform, const std::string& folder, const std::string& drive) {
    // Files are shown with backslashes after a drive letter or where the user wrote them, else with
    // forward slashes.
    const bool dos = (folder.size() >= 2 && folder[1] == ':') ||
                     (folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos);
    auto destination = std::make_unique<Destination>(platform, folder, std::vector<std::string>{drive},
                                                     Destination::Options{.make = true, .separator = dos ? '\\' : '/'});
    if (const auto& refusal = destination->refusal()) {
        Complain(*refusal);
        return nullptr;
    }
    return destination;
}

std::string Counted(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

// Entries a save passed over by their nature, named on standard error; a run of them alike
// (inside one photo, or none of them photos) in one line, as a card may hold millions.
class NotSavedLines {
public:
    NotSavedLines(const std::string& prefix, const FoundPhotoTable& table) : prefix_(prefix), table_(table) {}

    // Takes an entry that was not saved by its nature (true); any other ends the run.
    bool Add(const SavedEntry& entry) {
        const bool passed = entry.status == PhotoStatus::Inside || entry.status == PhotoStatus::NotAPhoto;
        if (count_ > 0 && (!passed || entry.status != status_ || entry.container != container_ || entry.index != last_ + 1))
            Flush();
        if (!passed) return false;
        if (count_++ == 0) {
            first_ = entry.name;
            status_ = entry.status;
            container_ = entry.container;
        }
        last_ = entry.index;
        lastName_ = entry.name;
        return true;
    }

    void Flush() {
        if (count_ == 0) return;
        const bool one = count_ == 1;
        const std::string who = one ? first_ : first_ + " to " + lastName_ + " (" + std::to_string(count_) + " entries)";
        if (status_ == PhotoStatus::Inside) {
            const std::string holder =
                container_ >= 0 ? EntryName(prefix_, container_, table_[static_cast<std::size_t>(container_)].Kind)
                                : std::string("another photo");
            Complain(who + (one ? " lies inside " : " lie inside ") + holder +
                     (one ? ": it was not saved on its own." : ": they were not saved on their own."));
        } else {
            Complain(who + (one ? " is not a photo: nothing of a picture follows its signature; it was not saved."
                                : " are not photos: nothing of a picture follows their signatures; they were not saved."));
        }
        count_ = 0;
    }

private:
    const std::string& prefix_;
    const FoundPhotoTable& table_;
    std::int64_t count_ = 0, last_ = -1, container_ = -1;
    std::string first_, lastName_;
    PhotoStatus status_ = PhotoStatus::Unknown;
};

struct Scanned {
    FoundPhotoTable table;
    ScanReport report;
};

// The scan's end: the meter's last state, and what went wrong on standard error.
void EndScan(const Scanned& scanned, ProgressMeter& meter) {
    meter.Update(scanned.report.tested);
    meter.Finish();
    for (const ScanMessage& message : ScanMessages(scanned.report))
        if (!message.summary) Complain(message.text);
}

Scanned Scan(Platform& platform, SectorSource& card, std::int64_t sectors, const CommandLine& line, ProgressMeter& meter,
             std::function<void(std::int64_t, std::span<const std::uint8_t>)> sectorsRead = {}) {
    Scanned scanned;
    CliProgress progress("reading " + card.drive(), meter);
    const ScanContext context{platform, progress, scanned.table, card, sectors, line.kinds, std::move(sectorsRead)};
    scanned.report = IsWindowsNT(platform) ? ScanWinNT(context) : ScanWin98(context);
    EndScan(scanned, meter);
    return scanned;
}

int NoPhotosFound(const std::string& drive, const Scanned& scanned) {
    std::printf("no photos found on %s\n", drive.c_str());
    ComplainOfUnreadable(scanned.report.unreadable);
    return scanned.report.Complete() ? 0 : 1;
}

}  // namespace

int ListDrives(Platform& platform, const std::vector<Source>& images) {
    const std::vector<std::string> roots = DriveStrings(platform);
    if (roots.empty()) {
        Complain("the drives cannot be listed: " + LastErrorText(platform));
        return 1;
    }
    for (const std::string& root : roots) {
        const DWORD type = platform.GetDriveTypeA(root);
        const auto sectors = GetVolumeSectors(platform, root);
        // A card that is there but cannot be read is told of, not listed as empty; a reader
        // without a card is simply empty.
        if (!sectors && type == DRIVE_REMOVABLE && platform.GetLastError() != ERROR_NOT_READY)
            Complain("the size of drive " + root + " cannot be read: " + LastErrorText(platform));
        const std::int64_t count = sectors.value_or(0);
        std::printf("%s\t%s\t%lld\t%lld\t%s\n", root.c_str(), TypeName(type), static_cast<long long>(count),
                    static_cast<long long>(count * kSectorSize), DriveTarget(platform, root).c_str());
    }
    int status = 0;
    for (const Source& image : images) {
        if (!image.image) continue;
        // An image that is not there is said so, not listed as an empty drive.
        if (platform.GetFileAttributesA(image.image->path) == INVALID_FILE_ATTRIBUTES) {
            Complain(image.image->path + " cannot be read: " + LastErrorText(platform));
            status = 1;
            continue;
        }
        if (DriveOf(platform, image)) continue;
        Complain(image.image->path + " was left out: no drive letter is left for it.");
        status = 1;
    }
    return status;
}

int ScanDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    SectorSource card(platform, drive);
    const Scanned scanned = Scan(platform, card, *sectors, line, meter);
    for (std::size_t i = 0; i < scanned.table.size(); ++i) {
        const FoundPhoto& photo = scanned.table[i];
        std::printf("%s\t%lld\t%lld\n", EntryName(line.prefix, static_cast<std::int64_t>(i), photo.Kind).c_str(),
                    static_cast<long long>(photo.StartSector), static_cast<long long>(photo.EndSector));
    }
    for (const ScanMessage& message : ScanMessages(scanned.report))
        if (message.summary) std::printf("%s\n", message.text.c_str());
    ComplainOfUnreadable(scanned.report.unreadable);
    return scanned.report.Complete() ? 0 : 1;
}

int SaveDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const std::string folder = WithoutTrailingSeparator(line.folder);
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    const auto destination = ClaimFolder(platform, folder, drive);
    if (!destination) return 1;
    // The card is opened once for the scan and the save: one swapped in meanwhile is not read on.
    SectorSource card(platform, drive);
    // Each file as it is written; what was saved in part, or not at all, on standard error.
    Scanned scanned;
    NotSavedLines notSaved(line.prefix, scanned.table);
    const auto each = [&](const SavedEntry& entry) {
        if (notSaved.Add(entry)) return;
        if (!entry.path.empty()) std::printf("%s\n", entry.path.c_str());
        if (entry.otherName && !entry.alreadyThere)
            Complain(entry.name + " was saved as " + entry.path + ": a file of its name held other bytes and was kept.");
        if (entry.status == PhotoStatus::Incomplete)
            Complain(entry.name + " is incomplete: its data break off after " + std::to_string(entry.bytes) +
                     " bytes; it was saved as far as it holds together.");
        if (entry.pieces > 1)
            Complain(entry.name + " was put back together from " + std::to_string(entry.pieces) + " pieces found apart on the card.");
    };
    SaveReport report;
    // The card read once, each photo written as the scan passes over it. The card's folders left by
    // a format, which may lie past the photos they name, are known only once it is all read, so
    // naming by them scans first; the 9x scan reads only the heads of sectors.
    if (!line.readTwice && !line.cardNames && IsWindowsNT(platform)) {
        CliProgress progress("reading " + drive, meter);
        ProgressMeter quiet(ProgressMeter::Style::Quiet);  // the scan's progress is the save's
        CliProgress saver("saving into " + line.folder, quiet);
        const ScanContext context{platform, progress, scanned.table, card, *sectors, line.kinds};
        const CardUse use{false, {}, &card};
        HeldComplaints held;
        ScanAndSaveReport both = ScanAndSave(context, saver, *destination, line.prefix, each, use);
        scanned.report = std::move(both.scan);
        report = std::move(both.save);
        held.Print([&] { EndScan(scanned, meter); });
        if (scanned.table.empty()) return NoPhotosFound(drive, scanned);
    } else {
        // Folders a format left in the data area are spotted in the scan's own reads.
        const auto spotter = WatchCardFolders(platform, drive, *sectors);
        scanned = Scan(platform, card, *sectors, line, meter, spotter ? spotter->Listener() : nullptr);
        if (scanned.table.empty()) return NoPhotosFound(drive, scanned);
        // Save All counts its photos; a lone photo, its bytes.
        CliProgress saver("saving into " + line.folder, meter,
                          scanned.table.size() == 1 ? ProgressMeter::Unit::Bytes : ProgressMeter::Unit::Photos);
        const CardUse use{line.cardNames, spotter ? spotter->Found() : std::vector<std::uint64_t>{}, &card};
        report = SaveAllPhotos(platform, saver, scanned.table, *destination, line.prefix, each, use);
        meter.Update(saver.Peak());
        meter.Finish();
    }
    notSaved.Flush();
    if (const auto shortfall = SaveShortfall(report)) Complain(*shortfall);
    if (report.incomplete + report.inside + report.notPhotos > 0)
        Complain(Counted(report.saved, "file", "files") + " saved (" + std::to_string(report.incomplete) + " incomplete); " +
                 Counted(report.inside, "entry lies", "entries lie") + " inside other photos; " +
                 Counted(report.notPhotos, "entry is not a photo", "entries are not photos") + ".");
    if (report.reassembled > 0) Complain(Counted(report.reassembled, "file was", "files were") + " put back together from pieces.");
    if (report.stopped) Complain("saving was stopped; the files listed are whole.");
    // What the scan could not read and what the photos' reads could not: the files name where.
    SectorRanges unreadable = scanned.report.unreadable;
    unreadable.Add(report.unreadable);
    ComplainOfUnreadable(unreadable, report.zeroFilled);
    return scanned.report.Complete() && report.refused.empty() && report.failed == 0 && report.incomplete == 0 &&
                   !report.stopped && unreadable.empty()
               ? 0
               : 1;
}

int ImageDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const std::string folder = WithoutTrailingSeparator(line.folder);
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    const auto destination = ClaimFolder(platform, folder, drive);
    if (!destination) return 1;
    CliProgress progress("reading " + drive, meter);
    SectorSource card(platform, drive);
    const ImageReport report = MakeImage(card, *sectors, *destination, progress);
    meter.Update(report.sectorsWritten);
    meter.Finish();
    const std::string& shown = report.path;
    if (report.created) ComplainOfUnreadable(report.unreadable, {{shown.substr(shown.find_last_of("/\\") + 1), report.unreadable}});
    if (!report.complete) {
        Complain(report.failure);
        if (report.created) Complain(IncompleteImageText(report, shown));
        return 1;
    }
    std::printf("%s\n", shown.c_str());
    return report.unreadable.empty() ? 0 : 1;
}

}  // namespace kelvara::cli
