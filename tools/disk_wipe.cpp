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

// Whether the fill wrote less than it should have: a full medium stops it within a cluster and a
// block of the free space it had; without the free space known, only a full medium is a good
// reason for the writes to stop.
bool FellShort(const WipeReport& report) {
    if (report.freeBytes)
        return report.written + report.cluster + kBlockSize < std::min(report.asked, *report.freeBytes);
    const DWORD error = report.fillError;
    return report.fillStopped && error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL;
}

}  // namespace

WipeCheck CheckWipe(Platform& platform, const std::string& drive) {
    if (!IsDriveRoot(drive)) return WipeCheck::NotADrive;
    if (!platform.FindFiles(drive + "*.*")) return WipeCheck::RootUnreadable;
    return WipeCheck::Ready;
}

WipeReport WipeDrive(Platform& platform, const std::string& drive, std::int64_t blocks, CommandProgress& progress) {
    // Every failure is passed over and the wipe goes on; the report tells what went wrong.
    WipeReport report;
    report.drive = drive;
    DeleteRootFiles(platform, drive, report);
    report.freeBytes = FreeBytes(platform, drive, report.cluster);

    // Wipe.img made anew in place of whatever had the name, never through a link of that name.
    const HANDLE file = CreateInPlaceOf(platform, drive + "Wipe.img", {}, report.createFailure);
    std::optional<FillWriter> writer;
    if (file != INVALID_HANDLE_VALUE) writer.emplace(platform, file);
    progress.Total(blocks);
    std::int64_t counter = 0;
    while (counter < blocks) {
        if (progress.StopRequested()) {
            report.stopped = true;
            break;
        }
        if (writer) writer->Add();
        ++counter;
        progress.Advance(counter);
    }
    if (writer) {
        writer->Flush();
        report.filled = true;
        report.asked = static_cast<std::uint64_t>(counter) * kBlockSize;
        report.written = writer->written();
        report.fillStopped = writer->stopped();
        report.fillError = writer->error();
        report.fillFailure = writer->reason();
        report.fillShort = !report.stopped && FellShort(report);
        if (!platform.CloseHandle(file)) report.closeFailure = LastErrorText(platform);
    }
    return report;
}

}  // namespace kelvara
