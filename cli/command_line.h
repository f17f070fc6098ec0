#pragma once
// What the command line asks for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "platform/win32_types.h"

namespace kelvara::cli {

struct CommandLine {
    enum class Verb { Help, Drives, Scan, Save, Image };
    Verb verb = Verb::Help;
    std::vector<std::string> images;  // drives: image files to attach first
    std::string source;               // scan, save, image: a drive string or an image path
    std::string folder;               // save, image
    std::string prefix = "Image";
    std::optional<DWORD> family;      // --family nt|9x as a platform id
    std::optional<std::int64_t> sectors;  // --sectors N instead of the drive's own count
    KindSet kinds = KindSet::All();       // --formats LIST: what scan and save look for
    bool quiet = false;
    bool cardNames = false;               // --names card: save under the card's own names
    bool readTwice = false;               // --read-twice: save scans the card first, then reads each photo again
};

// Throws UsageError with a sentence on a wrong command line.
struct UsageError {
    std::string message;
};
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text of --help and of a wrong command line.
const char* UsageText();

}  // namespace kelvara::cli
