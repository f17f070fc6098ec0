#include <algorithm>

#include "diskio/disk_error.h"
#include "diskio/sector_source.h"
#include "platform/prefetch.h"
#include "scan/photo_recorder.h"
#include "scan/run_length.h"
#include "scan/scan.h"
#include "scan/signature.h"

namespace kelvara {
namespace {

class NtScan {
public:
    explicit NtScan(const ScanContext& context)
        : context_(context),
          progress_(context.progress),
          source_(context.source),
          drive_(context.source.drive()),
          total_(std::clamp<std::int64_t>(context.sectors, 0, kMaxSectors)),
          recorder_(context.platform, drive_, context.table, total_),
          signatures_(context.kinds) {}

    ScanReport Run() {
        progress_.Total(total_);
        const std::int64_t runLength = RunLength(total_);

        for (int run = 0; run < kScanRuns && Going(); ++run) {
            const std::int64_t start = run * runLength;
            if (start >= total_) break;  // the runs reached the drive's end; later ones read nothing
            Test(start, std::min(runLength, total_ - start), false);
        }
        const std::int64_t covered = kScanRuns * runLength;
        if (Going() && covered < total_) Test(covered, total_ - covered, true);

        ScanReport report = recorder_.Finish(tested_, total_);
        report.unreadable = unreadable_;
        return report;
    }

private:
    bool Going() const { return !recorder_.Stopped() && !volumeEnded_; }

    // Reads sectors [first, first + length) in bounded pieces and tests each one.
    void Test(std::int64_t first, std::int64_t length, bool finalRead) {
        for (std::int64_t done = 0; done < length && Going();) {
            const auto piece = static_cast<std::int32_t>(std::min<std::int64_t>(kScanPieceSectors, length - done));
            const std::int64_t pieceStart = first + done;
            if (progress_.StopRequested()) {
                recorder_.StopRequested(pieceStart);
                return;
            }
            std::int32_t held = 0;
            try {
                held = source_.Read(pieceStart, 0, piece * kSectorSize, buffer_, &unreadable_);
            } catch (const DiskError& error) {
                recorder_.StopUnreadable(drive_, pieceStart, error.what());
                return;
            }
            // Past the volume's end there is nothing to test: the scan ends there, and says so.
            if (held < piece) {
                recorder_.VolumeEnded(drive_, pieceStart + held);
                volumeEnded_ = true;
            }
            FindSignatures(pieceStart, held);
            if (context_.sectorsRead) context_.sectorsRead(pieceStart, std::span<const std::uint8_t>(buffer_.data(), std::size_t(held) * kSectorSize));
            std::size_t next = 0;
            for (std::int32_t j = 0; j < held; ++j) {
                if (next < hits_.size() && hits_[next].sector == j) {
                    if (!recorder_.Record(hits_[next].kind, tested_)) return;
                    ++next;
                }
                ++tested_;
                // The final read leaves the current label alone.
                if (!finalRead) progress_.AtSector(tested_);
                progress_.Advance(tested_);
            }
            done += piece;
        }
    }

    // The signatures of a whole read are found in one tight pass over the buffer, while it is still
    // in the processor's cache, before the progress calls come between two sectors.
    struct Hit {
        std::int32_t sector;
        FileKind kind;
    };
    void FindSignatures(std::int64_t pieceStart, std::int32_t sectors) {
        constexpr std::int32_t kAhead = 64;  // sectors: the read just left them far from the processor
        hits_.clear();
        const std::uint8_t* data = buffer_.data();
        for (std::int32_t j = 0; j < sectors; ++j) {
            if (j + kAhead < sectors) PrefetchForReading(data + std::size_t(j + kAhead) * kSectorSize);
            const std::uint8_t* first = data + std::size_t(j) * kSectorSize;
            if (!signatures_.Matches(first)) continue;
            const auto kind = signatures_.Name(first, [&] { return HeadAt(pieceStart, sectors, j); });
            if (kind) hits_.push_back({j, *kind});
        }
    }

    // The first sectors from sector j of the piece on, for a format that names its file by more
    // than its first bytes. Always the same bytes, wherever the pieces happen to end: the drive's
    // up to the scan's end (or the volume's), read on their own where the piece ends first.
    std::span<const std::uint8_t> HeadAt(std::int64_t pieceStart, std::int32_t held, std::int32_t j) {
        const std::int64_t sector = pieceStart + j;
        const std::int64_t end = volumeEnded_ ? pieceStart + held : total_;
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(SignatureTest::kHeadSectors, end - sector));
        const auto inBuffer = [&](std::int32_t sectors) {
            return std::span<const std::uint8_t>(buffer_.data() + std::size_t(j) * kSectorSize, std::size_t(sectors) * kSectorSize);
        };
        if (held - j >= want) return inBuffer(want);
        try {
            const std::int32_t got = source_.Read(sector, 0, want * kSectorSize, head_, &unreadable_);
            return std::span<const std::uint8_t>(head_.data(), std::size_t(std::min(got, want)) * kSectorSize);
        } catch (const DiskError&) {
            return inBuffer(held - j);  // the scan's next read meets the same failure and says so
        }
    }

    std::vector<Hit> hits_;
    const ScanContext& context_;
    CommandProgress& progress_;
    SectorSource& source_;
    const std::string drive_;
    const std::int64_t total_;
    PhotoRecorder recorder_;
    const SignatureTest signatures_;
    SectorBuffer buffer_;
    SectorBuffer head_;
    SectorRanges unreadable_;
    std::int64_t tested_ = 0;  // also the number of the sector under test
    bool volumeEnded_ = false;
};

}  // namespace

ScanReport ScanWinNT(const ScanContext& context) { return NtScan(context).Run(); }

}  // namespace kelvara
