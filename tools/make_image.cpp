#include "tools/make_image.h"

#include <algorithm>
#include <span>

#include "destination/destination_check.h"
#include "destination/destination_lock.h"
#include "destination/written_file.h"
#include "diskio/read_sectors.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

// Sectors per read and per write: one open of the volume per run instead of per sector.
constexpr std::int32_t kImageRun = 2048;

}  // namespace

ImageReport MakeImage(Platform& platform, Host& host, const std::string& Folder) {
    // Both are taken once: choosing another drive meanwhile must not change what is copied.
    const std::string drive = host.DriveString();
    const std::int64_t total = std::clamp<std::int64_t>(CaptionNumber(host.SectorsCaption()), 0, kMaxSectors);

    ImageReport report;
    report.path = Folder + "\\TOBRN.IMG";
    report.total = total;
    host.SetProgressMax(total);
    host.SetProgressValue(0);

    // Never onto the card itself, nor into a folder another Kelvara is writing into.
    const DestinationLock lock(platform, Folder);
    if (auto refusal = SourceDriveRefusal(platform, Folder, drive)) {
        report.failure = *refusal;
        return report;
    }
    if (lock.refusal()) {
        report.failure = *lock.refusal();
        return report;
    }
    // A new file in place of an earlier image, so no tail of a longer one survives.
    std::string failure;
    const HANDLE file = CreateInPlaceOf(platform, report.path, drive, failure);
    if (file == INVALID_HANDLE_VALUE) {
        report.failure = "TOBRN.IMG could not be created in " + Folder + ": " + failure;
        return report;
    }
    report.created = true;

    SectorBuffer run;
    std::int64_t done = 0;
    while (done < total && report.failure.empty()) {
        if (host.StopRequested()) {
            report.failure = "The image was stopped at your request.";
            break;
        }
        const auto length = static_cast<std::int32_t>(std::min<std::int64_t>(kImageRun, total - done));
        std::int32_t held = 0;
        try {
            held = ReadSectors(platform, drive, done, 0, length * kSectorSize, run);
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
        const bool wrote = data.empty() || platform.WriteFile(file, data, written);
        if (!data.empty() && (!wrote || written != data.size())) {
            report.failure = "TOBRN.IMG could not be written: " +
                             (wrote ? std::string("the destination took only part of the data.") : LastErrorText(platform));
            whole = static_cast<std::int32_t>(std::min<std::size_t>(written, data.size()) / kSectorSize);
        }
        for (std::int32_t i = 0; i < whole; ++i) {
            ++done;
            host.SetProgressValue(done);
            host.Yield();
        }
    }
    if (!platform.CloseHandle(file) && report.failure.empty())
        report.failure = "TOBRN.IMG could not be closed: " + LastErrorText(platform);
    report.sectorsWritten = done;
    report.complete = report.failure.empty();
    return report;
}

std::string IncompleteImageText(const ImageReport& report, const std::string& shownPath) {
    return "The image " + shownPath + " is incomplete: it holds " + std::to_string(report.sectorsWritten) + " of " +
           std::to_string(report.total) + " sectors.";
}

void ImageDisk(Platform& platform, Host& host, const std::string& Folder) {
    if (Folder.empty()) return;
    if (!host.AskYesNo("Make image at " + Folder + "\\", "Make Image")) return;
    const ImageReport report = MakeImage(platform, host, Folder);
    if (report.complete) return;
    host.ShowFailure(report.created ? report.failure + "\n\n" + IncompleteImageText(report, report.path) : report.failure,
                     "Make Image");
}

}  // namespace kelvara
