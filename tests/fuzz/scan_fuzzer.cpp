// The whole scan over arbitrary volume bytes, through the host interface, on the in-memory
// platform double; then every photo it found saved and the first one previewed. What comes
// out is checked against a plain reading of the same bytes: which sectors start a photo, where
// each photo's run ends, which sectors are said to be unreadable, and what each saved file holds
// and where it holds zeros for them (the structure read from memory at once, where the program
// reads the drive in pieces).
//
// Input: a flags byte (bit 0: the 9x family; bit 1: one unreadable sector), a byte that moves
// the sector count away from the volume's size (so reads reach past its end, or stop short of
// it), the unreadable sector's number, then the volume's bytes.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "photos/end_marker.h"
#include "photos/photo_structure.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "scan/signature.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_platform.h"

namespace kelvara {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Check(bool condition) {
    if (!condition) std::abort();
}

// The drive as a reader sees it: the volume's sectors, zeros where a sector cannot be read or
// lies past the volume's end.
struct Card {
    Bytes volume;
    std::optional<std::int64_t> bad;
    std::int64_t sectors() const { return static_cast<std::int64_t>(volume.size() / 512); }
    Bytes Sector(std::int64_t s) const {
        if (s >= sectors() || (bad && *bad == s)) return Bytes(512, 0);
        return Bytes(volume.begin() + s * 512, volume.begin() + (s + 1) * 512);
    }
    Bytes Run(std::int64_t first, std::int64_t end) const {
        Bytes run;
        for (std::int64_t s = first; s < end; ++s) {
            const Bytes sector = Sector(s);
            run.insert(run.end(), sector.begin(), sector.end());
        }
        return run;
    }
};

struct Expected {
    std::vector<std::int64_t> starts;
    std::vector<PhotoKind> kinds;
};

Expected PhotosOn(const Card& card, std::int64_t total) {
    Expected expected;
    for (std::int64_t s = 0; s < total; ++s) {
        const Bytes sector = card.Sector(s);
        if (const auto kind = SignatureAt(sector.data(), sector.size())) {
            expected.starts.push_back(s);
            expected.kinds.push_back(*kind);
        }
    }
    return expected;
}

// What Save writes: up to where the photo's structure ends, read from the bytes up to the drive's
// end (on the NT family the volume's, where it is shorter: the 9x service reads zeros past it);
// else its run cut after its kind's last marker.
Bytes SavedBytes(const Card& card, const FoundPhoto& photo, std::int64_t driveEnd, bool nine) {
    const Bytes reachable = card.Run(photo.StartSector, nine ? driveEnd : std::min(driveEnd, card.sectors()));
    MemoryBytes bytes(reachable);
    if (const auto length = StructuralLength(photo.Kind, bytes)) return Bytes(reachable.begin(), reachable.begin() + *length);
    Bytes run = card.Run(photo.StartSector, photo.EndSector);
    if (const auto at = FindLastEndMarker(run, photo.EndMarker[0], photo.EndMarker[1])) run.resize(*at + 2);
    return run;
}

}  // namespace
}  // namespace kelvara

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara;
    if (size < 3) return 0;
    const bool nine = data[0] & 1;
    Card card;
    card.volume.assign(data + 3, data + size);
    card.volume.resize((card.volume.size() + 511) / 512 * 512);
    if ((data[0] & 2) && card.sectors() > 0) card.bad = data[2] % card.sectors();
    const std::int64_t total = std::max<std::int64_t>(0, card.sectors() + static_cast<std::int8_t>(data[1]));

    testing::FakePlatform platform;
    platform.AddVolume('E', card.sectors()) = card.volume;
    platform.drives['E'].totalClusters = static_cast<DWORD>(total);
    if (card.bad) platform.drives['E'].badSectors = {*card.bad};
    platform.platformId = nine ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    platform.folders.insert("C:\\Out");
    testing::FakeHost host;
    host.sectorsCaption = std::to_string(total);
    host.busy = true;
    FoundPhotoTable table;
    const std::string prefix = "Image";
    const ScanReport report = nine ? ScanWin98({platform, host, table, prefix}) : ScanWinNT({platform, host, table, prefix});

    // What was found: every signature at a sector's start, in order, and runs that meet. On the
    // NT family a count past the volume's end is noticed, and the last photo ends with the volume.
    const Expected expected = PhotosOn(card, total);
    const bool ended = !nine && total > card.sectors();
    std::int64_t lastEnd = total;
    if (ended && !expected.starts.empty() && expected.starts.back() < card.sectors()) lastEnd = card.sectors();
    Check(host.entries.size() == expected.starts.size());
    for (std::size_t i = 0; i < expected.starts.size(); ++i) {
        const FoundPhoto& photo = table[i];
        Check(host.entries[i] == EntryName(prefix, static_cast<std::int64_t>(i), expected.kinds[i]));
        Check(photo.StartSector == expected.starts[i] && photo.Kind == expected.kinds[i] && photo.Drive == "E:\\");
        Check(photo.EndSector == (i + 1 < expected.starts.size() ? expected.starts[i + 1] : lastEnd));
    }
    Check(!host.busy && host.status == "Ready" && host.progressValue == 0);
    // The bad sector, where the scan reached it; on the 9x family also every sector past the
    // volume's end, which its service cannot tell from a bad one.
    SectorRanges unreadable;
    if (card.bad && *card.bad < total) unreadable.Add(*card.bad, 1);
    if (nine && total > card.sectors()) unreadable.Add(card.sectors(), total - card.sectors());
    Check(report.unreadable == unreadable);
    Check(host.messages.size() == 1u + (ended ? 1u : 0u) + (unreadable.empty() ? 0u : 1u));
    Check(host.messages[0].first == "Kelvara's found " + std::to_string(expected.starts.size()) + " Files");
    if (ended)
        Check(host.messages[1].first.rfind("Drive E:\\ holds nothing from sector " + std::to_string(card.sectors()) + " on,", 0) == 0);
    if (!unreadable.empty()) Check(host.messages.back().first.rfind(RangeText(unreadable.ranges()[0]) + " could not be read", 0) == 0);
    Check(platform.OpenHandles() == 0);

    // Every photo saved up to where it ends; the first one previewed, the same bytes.
    for (std::size_t i = 0; i < expected.starts.size(); ++i) {
        const FoundPhoto& photo = table[i];
        const Bytes saved = SavedBytes(card, photo, DriveEnd(table), nine);
        SectorRanges zeros;
        const std::string path = SaveFile(platform, host, table, static_cast<std::int64_t>(i), "C:\\Out", prefix, &zeros);
        Check(platform.files.at(path) == saved);
        const auto sectors = static_cast<std::int64_t>((saved.size() + 511) / 512);
        Check(zeros == unreadable.Within(photo.StartSector, photo.StartSector + sectors));
        if (i == 0) {
            WritePreviewFiles(platform, photo, DriveEnd(table), "C:\\Temp\\");
            Check(platform.files.at("C:\\Temp\\TB.jpg") == saved);
        }
    }
    Check(platform.OpenHandles() == 0);
    return 0;
}
