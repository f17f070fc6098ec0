// The whole scan over arbitrary volume bytes, as a front end runs it, on the in-memory
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
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "photos/end_marker.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "scan/entry_name.h"
#include "scan/scan.h"
#include "scan/signature.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_progress.h"

namespace kelvara {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A broken promise names its line, so a crash file says which.
void Check(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "scan_fuzzer: the check at line %d failed\n", line);
    std::abort();
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
    std::vector<FileKind> kinds;
};

// Every sector the table's test takes for a file's start, each named from the head of the card
// at that sector: up to the count, and on the NT family, which stops there, up to the volume's
// end (the 9x service reads zeros past it).
Expected PhotosOn(const Card& card, std::int64_t total, bool nine) {
    Expected expected;
    const SignatureTest test;
    const std::int64_t tested = nine ? total : std::min(total, card.sectors());
    for (std::int64_t s = 0; s < tested; ++s) {
        const Bytes sector = card.Sector(s);
        const Bytes head = card.Run(s, std::min(s + SignatureTest::kHeadSectors, tested));
        if (!test.Matches(sector.data())) continue;
        if (const auto kind = test.Name(sector.data(), [&] { return std::span<const std::uint8_t>(head); })) {
            expected.starts.push_back(s);
            expected.kinds.push_back(*kind);
        }
    }
    return expected;
}

// The bytes up to the drive's end from a photo's start, as one piece (on the NT family up to the
// volume's end, where it is shorter: the 9x service reads zeros past it).
Bytes Reachable(const Card& card, const FoundPhoto& photo, std::int64_t driveEnd, bool nine) {
    return card.Run(photo.StartSector, nine ? driveEnd : std::min(driveEnd, card.sectors()));
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
    testing::FakeProgress progress;
    FoundPhotoTable table;
    const std::string prefix = "Image";
    ScanReport report;
    {
        SectorSource source(platform, "E:\\");
        const ScanContext context{platform, progress, table, source, total};
        report = nine ? ScanWin98(context) : ScanWinNT(context);
    }

    // What was found: every signature at a sector's start, in order, and runs that meet. On the
    // NT family a count past the volume's end is noticed, and the last photo ends with the volume.
    const Expected expected = PhotosOn(card, total, nine);
    const bool ended = !nine && total > card.sectors();
    std::int64_t lastEnd = total;
    if (ended && !expected.starts.empty() && expected.starts.back() < card.sectors()) lastEnd = card.sectors();
    Check(table.size() == expected.starts.size());
    for (std::size_t i = 0; i < expected.starts.size(); ++i) {
        const FoundPhoto& photo = table[i];
        Check(photo.StartSector == expected.starts[i] && photo.Kind == expected.kinds[i] && photo.Drive == "E:\\");
        Check(photo.EndSector == (i + 1 < expected.starts.size() ? expected.starts[i + 1] : lastEnd));
    }
    Check(report.end != ScanReport::End::Finished || progress.done == report.tested);
    // The bad sector, where the scan reached it; on the 9x family also every sector past the
    // volume's end, which its service cannot tell from a bad one.
    SectorRanges unreadable;
    if (card.bad && *card.bad < total) unreadable.Add(*card.bad, 1);
    if (nine && total > card.sectors()) unreadable.Add(card.sectors(), total - card.sectors());
    Check(report.unreadable == unreadable);
    const std::vector<ScanMessage> messages = ScanMessages(report);
    Check(messages.size() == 1u + (ended ? 1u : 0u));
    Check(messages[0].text == "Kelvara's found " + std::to_string(expected.starts.size()) + " Files");
    if (ended)
        Check(messages[1].text.rfind("Drive E:\\ holds nothing from sector " + std::to_string(card.sectors()) + " on,", 0) == 0);
    if (!unreadable.empty()) Check(UnreadableText(report.unreadable).rfind(RangeText(unreadable.ranges()[0]) + " could not be read", 0) == 0);
    Check(platform.OpenHandles() == 0);

    // Save All: at most the card is written. A whole photo is its structure read from memory at
    // once; a broken one is the card's bytes within its run; what is not saved on its own lies
    // inside a photo written before it, or is no photo. The card is read a few times at most.
    platform.calls.clear();
    std::vector<SavedEntry> saved;
    const SaveReport saveReport =
        SaveAllPhotos(platform, progress, table, "C:\\Out", prefix, [&](const SavedEntry& entry) { saved.push_back(entry); });
    Check(saveReport.failed == 0 && saved.size() == expected.starts.size());
    const std::int64_t driveEnd = DriveEnd(table);
    std::uint64_t written = 0;
    for (const SavedEntry& entry : saved) {
        const FoundPhoto photo = table[static_cast<std::size_t>(entry.index)];
        Check(photo.Status == entry.status);
        const Bytes reachable = Reachable(card, photo, driveEnd, nine);
        if (entry.status == PhotoStatus::Whole && entry.pieces > 1) {
            // Put back together from pieces found apart: whole by its own structure.
            MemoryBytes own(platform.files.at(entry.path));
            Check(formats::StructuralLength(photo.Kind, own) == platform.files.at(entry.path).size());
        } else if (entry.status == PhotoStatus::Whole) {
            MemoryBytes bytes(reachable);
            const auto length = formats::StructuralLength(photo.Kind, bytes);
            Check(length && platform.files.at(entry.path) == Bytes(reachable.begin(), reachable.begin() + *length));
        } else if (entry.status == PhotoStatus::Incomplete) {
            const Bytes& file = platform.files.at(entry.path);
            Check(file.size() <= static_cast<std::size_t>(photo.EndSector - photo.StartSector) * 512);
            Check(std::equal(file.begin(), file.end(), reachable.begin()));
        } else if (entry.status == PhotoStatus::Inside) {
            Check(entry.container >= 0 && entry.container < entry.index);
            const FoundPhoto container = table[static_cast<std::size_t>(entry.container)];
            const std::string name = EntryName(prefix, entry.container, container.Kind);
            Check(photo.StartSector * 512 < container.StartSector * 512 +
                                                static_cast<std::int64_t>(platform.files.at("C:\\Out\\" + name).size()));
        } else {
            Check(entry.status == PhotoStatus::NotAPhoto && entry.path.empty());
        }
        if (!entry.path.empty()) {
            const auto size = platform.files.at(entry.path).size();
            written += size;
            const auto sectors = static_cast<std::int64_t>((size + 511) / 512);
            Check(entry.zeros == unreadable.Within(photo.StartSector, photo.StartSector + sectors));
        }
    }
    Check(written <= static_cast<std::uint64_t>(driveEnd) * 512);
    std::uint64_t read = 0;
    for (const std::string& call : platform.CallsNamed("ReadFile")) read += std::stoull(call.substr(9));
    Check(read <= 6 * std::max<std::uint64_t>(card.volume.size(), 512) + (card.bad ? 1u << 20 : 0));

    // The preview writes no more than Save wrote of the photo: a picture the browser engine draws
    // is that file, a RAW's JPEG lies in it, a clip plays it. (A HEIC is decoded by a library.)
    const formats::Shown shown = table.empty() ? formats::Shown::Decoded : formats::VariantOf(table[0].Kind).shown;
    // (One saved broken, or put back together from pieces, is left out: the search for pieces
    // knows more or less of the card when Save asks, with the photos before saved and their
    // statuses given, than a preview asking later.)
    if (!saved.empty() && !saved[0].path.empty() && shown != formats::Shown::Decoded &&
        saved[0].status != PhotoStatus::Incomplete && saved[0].pieces == 1) {
        WritePreviewFiles(platform, table, 0, "C:\\Temp\\");  // from its pieces too, as Save wrote it
        const Bytes& file = platform.files.at(saved[0].path);
        std::vector<const Bytes*> shownFiles;
        for (const auto& [path, bytes] : platform.files)
            if (path.rfind("C:\\Temp\\TB.", 0) == 0) shownFiles.push_back(&bytes);
        Check(shownFiles.size() <= 1);
        if (shown == formats::Shown::Embedded) {
            for (const Bytes* jpeg : shownFiles) Check(std::search(file.begin(), file.end(), jpeg->begin(), jpeg->end()) != file.end());
        } else {
            Check(shownFiles.size() == 1 && *shownFiles[0] == file);
        }
    }
    Check(platform.OpenHandles() == 0);
    return 0;
}
