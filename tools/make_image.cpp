#include "tools/make_image.h"

#include <algorithm>
#include <span>

#include "destination/destination.h"
#include "destination/written_file.h"
#include "diskio/disk_error.h"
#include "diskio/sector_source.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

// Sectors per read and per write: one open of the volume per run instead of per sector.
constexpr std::int32_t kImageRun = 2048;

}  // namespace

ImageReport MakeImage(SectorSource& card, std::int64_t total, Destination& destination, CommandProgress& progress) {
    Platform& platform = card.platform();
    const std::string& drive = card.drive();
    const std::string& Folder = destination.folder();
    total = std::clamp<std::int64_t>(total, 0, kMaxSectors);

    ImageReport report;
    report.path = destination.PathOf("TOBRN.IMG");
    report.total = total;
    progress.Total(total);

    // Never onto the card itself, nor into a folder another Kelvara is writing into; and never the
    // drive the destination was claimed for other than this one.
    if (destination.refusal()) {
        report.failure = *destination.refusal();
        return report;
    }
    if (std::find(destination.sourceDrives().begin(), destination.sourceDrives().end(), drive) ==
        destination.sourceDrives().end()) {
        report.failure = "The folder " + Folder + " was not checked against drive " + drive + ".";
        return report;
    }
    // A new file, named only when whole; an image of another card already there keeps its name.
    TemporaryFile file(destination, "TOBRN.IMG");
    if (!file.ok()) {
        report.failure = "TOBRN.IMG could not be created in " + Folder + ": " + file.failure();
        return report;
    }

    SectorBuffer run;
    std::int64_t done = 0;
    while (done < total && report.failure.empty()) {
        if (progress.StopRequested()) {
            report.failure = "The image was stopped at your request.";
            break;
        }
        const auto length = static_cast<std::int32_t>(std::min<std::int64_t>(kImageRun, total - done));
        std::int32_t held = 0;
        try {
            held = card.Read(done, 0, length * kSectorSize, run, &report.unreadable);
        } catch (const DiskError& error) {
            report.failure = "Drive " + drive + " could not be read at sector " + std::to_string(done) + ": " +
                             error.what();
            break;
        }
        // Past the drive's end there is nothing to copy: the image stops where the drive did.
        if (held < length)
            report.failure = DriveEndedText(drive, done + held) +
                             ", though its size goes further: the card may have been taken out or changed.";
        const std::span<const std::uint8_t> data(run.data(), static_cast<std::size_t>(held) * kSectorSize);
        DWORD written = 0;
        std::int32_t whole = held;
        const bool wrote = data.empty() || platform.WriteFile(file.handle(), data, written);
        if (!data.empty() && (!wrote || written != data.size())) {
            report.failure = "TOBRN.IMG could not be written: " +
                             (wrote ? std::string("the destination took only part of the data.") : LastErrorText(platform));
            whole = static_cast<std::int32_t>(std::min<std::size_t>(written, data.size()) / kSectorSize);
        }
        for (std::int32_t i = 0; i < whole; ++i) {
            ++done;
            progress.Advance(done);
        }
    }
    report.sectorsWritten = done;
    report.unreadable = report.unreadable.Within(0, done);
    if (report.failure.empty()) {
        if (const auto failure = file.Commit()) {
            report.failure = "TOBRN.IMG could not be completed: " + *failure;
            return report;
        }
        report.path = destination.PathOf(file.committed().name);
        report.created = report.complete = true;
        return report;
    }
    // What was copied is worth keeping, under a name that says it is not the whole card.
    if (done > 0) {
        if (const auto failure = file.CommitAs("TOBRN.IMG.partial")) {
            report.failure += "\n\nThe part copied could not be kept: " + *failure;
        } else {
            report.path = destination.PathOf(file.committed().name);
            report.created = true;
        }
    }
    return report;
}

std::string IncompleteImageText(const ImageReport& report, const std::string& shownPath) {
    return "The image " + shownPath + " is incomplete: it holds " + std::to_string(report.sectorsWritten) + " of " +
           std::to_string(report.total) + " sectors.";
}

}  // namespace kelvara
