#pragma once
// What a scan found and where and why it ended. The window shows it as message boxes, the
// command line as its output and exit status.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvara {

struct ScanReport {
    enum class End {
        Finished,     // every sector up to the total was tested
        Unreadable,   // the drive could not be read from stopSector on
        Stopped,      // the user asked the scan to stop before stopSector
        OutOfMemory,  // no memory for a further photo at stopSector
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

    // Every sector was tested and every one was there.
    bool Complete() const { return end == End::Finished && !volumeEnd; }
};

struct ScanMessage {
    std::string text;
    std::string title;
    bool summary = false;  // "Kelvara's found N Files"; the others tell of a scan that fell short
};

// The messages that end a scan, in the order they are shown.
std::vector<ScanMessage> ScanMessages(const ScanReport& report);

}  // namespace kelvara
