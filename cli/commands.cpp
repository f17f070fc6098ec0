#include "cli/commands.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_host.h"
#include "cli/source.h"
#include "diskio/get_total_sectors.h"
#include "diskio/is_windows_nt.h"
#include "photos/save_file.h"
#include "scan/scan.h"
#include "tools/make_image.h"

namespace kelvara::cli {
namespace {

const char* kSummaryTitle = "Scan Complete";

void Complain(const std::string& text) { std::fprintf(stderr, "kelvara-cli: %s\n", text.c_str()); }

std::string LastError(Platform& platform) {
    const DWORD error = platform.GetLastError();
    return error ? platform.FormatErrorMessage(error) : std::string("no reason given.");
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

// The sector count the window would show for the drive, or what --sectors says.
std::optional<std::int32_t> SectorsOf(Platform& platform, const std::string& drive, const CommandLine& line) {
    if (line.sectors) return *line.sectors;
    const std::int32_t total = GetTotalSectors(platform, drive);
    if (total < 0) {
        Complain("the size of drive " + drive + " cannot be read: " + LastError(platform));
        return std::nullopt;
    }
    if (total == 0) {
        Complain("drive " + drive + " holds no sectors to read.");
        return std::nullopt;
    }
    return total;
}

// A folder as the user wrote it; a POSIX-looking one is shown with forward slashes.
std::string Shown(const std::string& folder, const std::string& path) {
    if (folder.find('/') == std::string::npos) return path;
    std::string shown = path;
    for (char& c : shown)
        if (c == '\\') c = '/';
    return shown;
}

// Makes the folder and the folders above it; false when it is not there afterwards.
bool MakeFolders(Platform& platform, const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/' && folder[at] != '\\') continue;
        const std::string part = folder.substr(0, at);
        if (part.back() == ':') continue;  // a drive, not a folder
        platform.CreateDirectoryA(part);
    }
    const DWORD attributes = platform.GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

struct Scanned {
    std::unique_ptr<FoundPhotoTable> table = std::make_unique<FoundPhotoTable>();
    std::vector<std::string> entries;
    bool complete = true;  // every sector was examined
};

Scanned Scan(Platform& platform, CliHost& host, const CommandLine& line, ProgressMeter& meter) {
    Scanned scanned;
    const ScanContext context{platform, host, *scanned.table, line.prefix};
    if (IsWindowsNT(platform))
        ScanWinNT(context);
    else
        ScanWin98(context);
    meter.Update(host.ProgressMax());
    meter.Finish();
    scanned.entries = host.entries();
    for (const auto& message : host.messages()) {
        if (message.title == kSummaryTitle) continue;
        Complain(message.text);
        scanned.complete = false;
    }
    return scanned;
}

}  // namespace

int ListDrives(Platform& platform) {
    const std::vector<std::string> roots = DriveStrings(platform);
    if (roots.empty()) {
        Complain("the drives cannot be listed: " + LastError(platform));
        return 1;
    }
    for (const std::string& root : roots) {
        const auto sectors = GetVolumeSectors(platform, root);
        const std::int64_t count = std::max(0, SectorCount(sectors));
        std::printf("%s\t%s\t%lld\t%lld\t%s\n", root.c_str(), TypeName(platform.GetDriveTypeA(root)),
                    static_cast<long long>(count), static_cast<long long>(sectors ? *sectors * 512 : 0),
                    DriveTarget(platform, root).c_str());
    }
    return 0;
}

int ScanDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    CliHost host(drive, *sectors, meter);
    const Scanned scanned = Scan(platform, host, line, meter);
    for (std::size_t i = 0; i < scanned.entries.size(); ++i)
        std::printf("%s\t%d\t%d\n", scanned.entries[i].c_str(), (*scanned.table)[i].StartSector,
                    (*scanned.table)[i].EndSector);
    for (const auto& message : host.messages())
        if (message.title == kSummaryTitle) std::printf("%s\n", message.text.c_str());
    return scanned.complete ? 0 : 1;
}

int SaveDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const std::string folder = WithoutTrailingSeparator(line.folder);
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    CliHost host(drive, *sectors, meter);
    const Scanned scanned = Scan(platform, host, line, meter);
    if (scanned.entries.empty()) {
        std::printf("no photos found on %s\n", drive.c_str());
        return scanned.complete ? 0 : 1;
    }
    if (!MakeFolders(platform, folder)) {
        Complain("the folder " + folder + " cannot be made: " + LastError(platform));
        return 1;
    }
    std::vector<std::int32_t> indexes(scanned.entries.size());
    for (std::size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<std::int32_t>(i);
    CliHost saver(drive, *sectors, meter);
    const SaveReport report = SavePhotos(platform, saver, *scanned.table, indexes, folder, line.prefix);
    for (const std::string& path : report.written) std::printf("%s\n", Shown(folder, path).c_str());
    for (const auto& message : saver.messages()) Complain(message.text);
    if (report.stopped) Complain("saving was stopped; the files listed are whole.");
    return scanned.complete && report.failed == 0 && !report.stopped ? 0 : 1;
}

int ImageDrive(Platform& platform, const std::string& drive, const CommandLine& line, ProgressMeter& meter) {
    const std::string folder = WithoutTrailingSeparator(line.folder);
    const auto sectors = SectorsOf(platform, drive, line);
    if (!sectors) return 1;
    if (!MakeFolders(platform, folder)) {
        Complain("the folder " + folder + " cannot be made: " + LastError(platform));
        return 1;
    }
    CliHost host(drive, *sectors, meter);
    const ImageReport report = MakeImage(platform, host, folder);
    meter.Update(report.sectorsWritten);
    meter.Finish();
    if (!report.complete) {
        Complain(report.failure);
        Complain(IncompleteImageText(report, Shown(folder, report.path)));
        return 1;
    }
    std::printf("%s\n", Shown(folder, report.path).c_str());
    return 0;
}

}  // namespace kelvara::cli
