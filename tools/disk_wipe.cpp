#include "tools/disk_wipe.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "destination/written_file.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

constexpr std::size_t kBlockSize = 513;
// Blocks gathered into one write; the file is the same stream of blocks either way.
constexpr std::size_t kBlocksPerWrite = 2048;

const char* const kPrompt =
    "Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible."
    "         Are you sure you want to wipe this disk?";

bool IsDriveRoot(const std::string& drive) {
    return drive.size() == 3 && std::isalpha(static_cast<unsigned char>(drive[0])) && drive[1] == ':' &&
           drive[2] == '\\';
}

std::optional<std::uint64_t> FreeBytes(Platform& platform, const std::string& root, std::uint64_t& cluster) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!platform.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))
        return std::nullopt;
    cluster = std::uint64_t{sectorsPerCluster} * bytesPerSector;
    return cluster * freeClusters;
}

// The root's own files go; folders stay with everything in them, and a link goes as a link.
void DeleteRootFiles(Platform& platform, const std::string& root, WipeReport& report) {
    const auto entries = platform.FindFiles(root + "*.*");
    if (!entries) {
        report.listFailure = LastErrorText(platform);
        return;
    }
    report.listed = true;
    for (const FindData& entry : *entries) {
        const bool link = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link) continue;
        if (platform.DeleteFileA(root + entry.cFileName)) continue;
        if (report.deleteFailed++ == 0) report.firstDeleteFailure = entry.cFileName + ": " + LastErrorText(platform);
    }
}

// Writes the stream of fill blocks, a batch at a time. After a failed batch the rest of it
// goes block by block, so a full medium is filled as far as single blocks reach; after a
// failed block nothing more is written.
class FillWriter {
public:
    FillWriter(Platform& platform, HANDLE file) : platform_(platform), file_(file) {
        batch_.resize(kBlocksPerWrite * kBlockSize, 0xFF);
        for (std::size_t at = kBlockSize - 2; at < batch_.size(); at += kBlockSize) batch_[at] = batch_[at + 1] = 0;
    }

    void Add() {
        if (++pending_ == kBlocksPerWrite) Flush();
    }

    void Flush() {
        const std::size_t blocks = pending_;
        pending_ = 0;
        if (stopped_ || blocks == 0) return;
        std::span<const std::uint8_t> rest(batch_.data(), blocks * kBlockSize);
        DWORD put = 0;
        if (platform_.WriteFile(file_, rest, put) && put == rest.size()) {
            written_ += put;
            return;
        }
        written_ += put;
        rest = rest.subspan(std::min<std::size_t>(put, rest.size()));
        while (!rest.empty()) {
            // The first piece completes the block the failed write stopped inside.
            const std::size_t piece = std::min(rest.size(), kBlockSize - written_ % kBlockSize);
            DWORD got = 0;
            const bool ok = platform_.WriteFile(file_, rest.first(piece), got);
            written_ += got;
            if (!ok || got != piece) {
                stopped_ = true;
                error_ = ok ? 0 : platform_.GetLastError();
                reason_ = ok ? "The medium took only part of a block." : LastErrorText(platform_);
                return;
            }
            rest = rest.subspan(piece);
        }
    }

    std::uint64_t written() const { return written_; }
    bool stopped() const { return stopped_; }
    DWORD error() const { return error_; }
    const std::string& reason() const { return reason_; }

private:
    Platform& platform_;
    HANDLE file_;
    std::vector<std::uint8_t> batch_;
    std::size_t pending_ = 0;
    std::uint64_t written_ = 0;
    bool stopped_ = false;
    DWORD error_ = 0;
    std::string reason_;
};

std::string Bytes(std::uint64_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

WipeReport WipeDrive(Platform& platform, Host& host, const std::string& drive) {
    // Every failure is passed over and the wipe goes on; the report tells what went wrong.
    WipeReport report;
    report.drive = drive;
    DeleteRootFiles(platform, drive, report);
    report.freeBytes = FreeBytes(platform, drive, report.cluster);

    // Wipe.img made anew in place of whatever had the name, never through a link of that name.
    const HANDLE file = CreateInPlaceOf(platform, drive + "Wipe.img", {}, report.createFailure);
    std::optional<FillWriter> writer;
    if (file != INVALID_HANDLE_VALUE) writer.emplace(platform, file);
    std::int64_t counter = 0;  // below the caption's number, so it cannot overflow
    while (counter < CaptionNumber(host.SectorsCaption())) {
        if (host.StopRequested()) {
            report.stopped = true;
            break;
        }
        if (writer) writer->Add();
        ++counter;
        host.SetProgressValue(counter);  // a value above the bar's maximum is refused; that is fine
        host.Yield();
    }
    if (writer) {
        writer->Flush();
        report.filled = true;
        report.asked = static_cast<std::uint64_t>(counter) * kBlockSize;
        report.written = writer->written();
        report.fillStopped = writer->stopped();
        report.fillError = writer->error();
        report.fillFailure = writer->reason();
        if (!platform.CloseHandle(file)) report.closeFailure = LastErrorText(platform);
    }
    return report;
}

std::optional<std::string> WipeShortfall(const WipeReport& report) {
    std::vector<std::string> problems;
    if (!report.listed)
        problems.push_back("The root folder " + report.drive + " could not be read, so no file was deleted: " +
                           report.listFailure);
    if (report.deleteFailed > 0)
        problems.push_back(std::to_string(report.deleteFailed) + (report.deleteFailed == 1 ? " file" : " files") +
                           " in the root folder could not be deleted (" + report.firstDeleteFailure + ")");
    if (!report.createFailure.empty())
        problems.push_back("Wipe.img could not be created, so the free space was not overwritten: " +
                           report.createFailure);
    if (report.stopped) problems.push_back("The wipe was stopped at your request before the free space was filled.");
    if (report.filled && !report.stopped) {
        bool shortFill = false;
        std::string measure;
        if (report.freeBytes) {
            // A full medium stops the fill within a cluster and a block of the free space it had.
            const std::uint64_t wanted = std::min(report.asked, *report.freeBytes);
            shortFill = report.written + report.cluster + kBlockSize < wanted;
            measure = "only " + Bytes(report.written) + " of the " + Bytes(*report.freeBytes) + " free were overwritten";
        } else {
            // Without the free space, only a full medium is a good reason for the writes to stop.
            const DWORD error = report.fillError;
            shortFill = report.fillStopped && error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL;
            measure = "the writing stopped after " + Bytes(report.written);
        }
        if (shortFill) {
            std::string problem = "The free space was not wholly overwritten: " + measure + ".";
            if (!report.fillFailure.empty()) problem += " " + report.fillFailure;
            problems.push_back(problem);
        }
    }
    if (!report.closeFailure.empty()) problems.push_back("Wipe.img could not be closed: " + report.closeFailure);
    if (problems.empty()) return std::nullopt;
    std::string text = "The wipe of " + report.drive + " is not complete.";
    for (const std::string& problem : problems) text += "\n\n" + problem;
    return text;
}

void DiskWipe(Platform& platform, Host& host) {
    if (CaptionNumber(host.SectorsCaption()) <= 0) return;
    const std::string drive = host.DriveString();
    // A drive string that is no drive's root would turn the pattern and the fill file into
    // paths relative to wherever the program runs.
    if (!IsDriveRoot(drive)) {
        host.ShowFailure("There is no drive to wipe: \"" + drive + "\" is not a drive.", "Disk Wipe");
        return;
    }
    // The wipe deletes and fills through the card's file system: with none mounted it could do
    // nothing, so it says so before asking anything.
    if (!platform.FindFiles(drive + "*.*")) {
        host.ShowFailure("Drive " + drive + " cannot be wiped: its root folder cannot be read. " +
                             LastErrorText(platform) +
                             "\n\nDisk Wipe deletes the card's files and fills its free space through its file "
                             "system, so it needs the card mounted. A card in a card reader: open it in the file "
                             "manager, which mounts it, then press Disk Wipe again. A card image given to Kelvara "
                             "when it started is never mounted for it, and cannot be wiped here: to wipe the card "
                             "the image was made from, put that card in the reader and choose its drive; an image "
                             "that is no longer wanted is simply deleted.",
                         "Disk Wipe");
        return;
    }
    if (!host.AskYesNo(kPrompt, "Confrim")) {
        host.SetStatus("Ready");
        return;
    }
    host.SetStatus("Wipeing");
    const WipeReport report = WipeDrive(platform, host, drive);
    host.SetStatus("Ready");
    if (const auto shortfall = WipeShortfall(report)) host.ShowFailure(*shortfall, "Disk Wipe");
}

}  // namespace kelvara
