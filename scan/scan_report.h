#pragma once
// What a scan found and where and why it ended. The window shows it as message boxes, the
// command line as its output and exit status.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskio/sector_ranges.h"

namespace kelvara {

struct ScanReport {
    enum class End {
        Finished,     // every sector up to the total was tested
        Unreadable,   // the drive could not be read from stopSector on
        Stopped,      // the user asked the scan to stop before stopSector
        OutOfMemory,  // no memory for a further photo at stopSector
        RecordsNotKept,  // the list could not be kept any longer (`reason` says why) at stopSector
    };
    End end = End::Finished;
    std::int64_t found = 0;
    std::int64_t total = 0;   // the sectors the scan was to test
    std::int64_t tested = 0;  // the sectors it tested, from 0 on
    std::string drive;        // the drive it read last
    std::int64_t stopSector = 0;
    std::string reason;       // why the drive could not be read
    // The drive held nothing from this sector on, though its size went further: the card was
    // taken out or changed. The scan went on over zeros.
    std::optional<std::int64_t> volumeEnd;
    // Sectors the drive holds but could not give: they were tested as zeros.
    SectorRanges unreadable;

    // Every sector was tested, every one was there and could be read.
    bool Complete() const { return end == End::Finished && !volumeEnd && unreadable.empty(); }
};

struct ScanMessage {
    std::string text;
    bool summary = false;  // "Kelvara's found N Files"; the others tell of a scan that fell short
};

// The messages that end a scan, in the order they are shown. The unreadable sectors are told of
// apart, since the commands that go on to write files tell which hold zeros.
std::vector<ScanMessage> ScanMessages(const ScanReport& report);

// A file written with zeros where its sectors could not be read.
struct ZeroFilledFile {
    std::string name;  // as the user is to read it
    SectorRanges sectors;
};

// One line for each range that could not be read, naming the files that hold zeros there:
// "Sectors 20000-20099 could not be read; they are zeros in Image012.JPG and Image013.JPG."
// With `most`, at most that many lines and files to a line, then how many more.
std::vector<std::string> UnreadableLines(const SectorRanges& unreadable, const std::vector<ZeroFilledFile>& files,
                                         std::size_t most = SIZE_MAX);

// The message box's text of a few such lines, "" when every sector could be read.
std::string UnreadableText(const SectorRanges& unreadable, const std::vector<ZeroFilledFile>& files = {});

}  // namespace kelvara
