#include <algorithm>

#include "diskio/get_total_sectors.h"
#include "diskio/disk_error.h"
#include "diskio/sector_source.h"
#include "platform/last_error_text.h"
#include "scan/photo_recorder.h"
#include "scan/scan.h"
#include "scan/signature.h"

namespace kelvara {

ScanReport ScanWin98(const ScanContext& context) {
    CommandProgress& progress = context.progress;
    const std::string& drive = context.source.drive();
    // The drive's size, but never past the count the front end shows: the count the other family
    // scans, and where the last photo ends.
    std::int64_t total = GetTotalSectors(context.platform, drive);
    if (const std::int64_t shown = context.sectors; shown > 0) total = std::min(total, shown);
    PhotoRecorder recorder(context.platform, drive, context.table, std::max<std::int64_t>(total, 0));
    if (total < 0) {
        // The medium went away after the drive was chosen: nothing to read.
        const auto reason = LastErrorReason(context.platform);
        recorder.StopUnreadable(drive, 0, "Its size cannot be found" + (reason ? ": " + *reason : std::string(".")));
        return recorder.Finish(0, 0);
    }
    progress.Total(total);

    SectorSource& source = context.source;
    SectorBuffer buffer, head;
    SectorRanges unreadable;
    const SignatureTest signatures(context.kinds);
    std::int64_t i = 0;
    while (i != total) {
        if (progress.StopRequested()) {
            recorder.StopRequested(i);
            break;
        }
        progress.AtSector(i);
        try {
            source.Read(i, 0, SignatureTest::kFirstBytes, buffer, &unreadable);
        } catch (const DiskError& error) {
            recorder.StopUnreadable(drive, i, error.what());
            break;
        }
        ++i;
        // The first bytes decide; a format that names its file by more reads its head on its own.
        std::optional<FileKind> kind;
        if (signatures.Matches(buffer.data())) {
            kind = signatures.Name(buffer.data(), [&]() -> std::span<const std::uint8_t> {
                const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(SignatureTest::kHeadSectors, total - (i - 1)));
                try {
                    source.Read(i - 1, 0, want * kSectorSize, head, &unreadable);
                    return head;
                } catch (const DiskError&) {
                    return buffer;  // the next read meets the same failure and says so
                }
            });
        }
        if (kind && !recorder.Record(*kind, i - 1)) break;
        progress.Advance(i);
    }
    ScanReport report = recorder.Finish(i, context.sectors);
    report.unreadable = unreadable;
    return report;
}

}  // namespace kelvara
