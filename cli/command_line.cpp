#include "cli/command_line.h"

#include <charconv>

#include "diskio/sector.h"

namespace kelvara::cli {
namespace {

CommandLine::Verb VerbOf(const std::string& word) {
    if (word == "drives") return CommandLine::Verb::Drives;
    if (word == "scan") return CommandLine::Verb::Scan;
    if (word == "save") return CommandLine::Verb::Save;
    if (word == "image") return CommandLine::Verb::Image;
    throw UsageError{"unknown command '" + word + "'"};
}

std::int64_t SectorCount(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxSectors)
        throw UsageError{"--sectors needs a whole number from 1 to " + std::to_string(kMaxSectors) + ", not '" + text + "'"};
    return value;
}

// The kinds a --formats list names: groups or extensions, separated by commas.
KindSet KindsOf(const std::string& list) {
    KindSet kinds;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        const std::string word = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const auto named = formats::KindsNamed(word);
        if (!named) {
            std::string known;
            for (const std::string_view group : formats::Groups()) known += (known.empty() ? "" : ",") + std::string(group);
            throw UsageError{"--formats takes " + known + " or file extensions such as dng or mov, not '" + word + "'"};
        }
        kinds.Add(*named);
        if (comma == std::string::npos) return kinds;
        from = comma + 1;
    }
}

}  // namespace

const char* UsageText() {
    return R"(Usage:
  kelvara-cli drives [IMAGE...]
  kelvara-cli scan SOURCE [--formats LIST] [options]
  kelvara-cli save SOURCE FOLDER [--prefix P] [--names card] [--formats LIST] [--read-twice] [options]
  kelvara-cli image SOURCE FOLDER [options]
  kelvara-cli --help

Finds the photos on a camera's memory card by reading its raw sectors, as the Kelvara
window does, without a desktop.

  drives   lists the drives: drive string, type, sector count (0 when unknown), size in
           bytes, and what the drive stands for.
  scan     scans SOURCE and prints NAME<TAB>START<TAB>END for each photo found (START and
           END are sectors, END exclusive), then "Kelvara's found N Files". NAME ends in the
           format of what was found, as its own header and tags tell (.JPG, .DNG, .HEIC, .MOV).
  save     scans SOURCE and saves every photo found into FOLDER (made when missing) as
           Save All does, and prints each file written, named as scan lists it. The card is
           read once, in order: each photo is written as the scan passes over it.
  image    writes FOLDER/TOBRN.IMG, a raw image of SOURCE, as Image Disk does.

SOURCE is a drive string (E: or E:\, any case) or the path of a disk image file or block
device, attached as the next removable drive; for an image holding a partition table its
first FAT or exFAT partition, or PATH@N for partition N.

Options:
  --prefix P        name saved photos P001.JPG, P002.HEIC, ... (default Image)
  --names card      save each photo under its folder and name on the card where the card's
                    file system (FAT or exFAT, live, deleted or formatted over) still holds
                    its entry (FOLDER/DCIM/100CANON/IMG_0042.JPG), with the entry's time where
                    the photo holds no date; the others as --prefix names them
  --read-twice      save: scan the whole card first, then read each photo again, as the
                    window's Save All does (the same files, slower on a card reader; with
                    --names card or --family 9x that is how save reads anyway)
  --formats LIST    look only for these, separated by commas (default: all): jpeg, gif, png,
                    webp, tiff, raw (DNG, CR2, CR3, NEF, NRW, ARW, SR2, ORF, PEF, RW2, SRW,
                    RAF), heif (HEIC, AVIF), mp4 (MP4, MOV, 3GP, 3G2), avi, or extensions
                    (dng,mov)
  --family nt|9x    read through the NT volume path or the 9x disk service (default: what
                    the system is)
  --sectors N       take the drive as N sectors instead of its whole length
  --quiet           print only results: no progress
  --help            this text

Progress goes to standard error: a bar on a terminal, plain lines otherwise. Sectors that
cannot be read are zeros; a line for each range names the files that hold zeros there. Files
are written under a temporary name and take their own only when whole. Exit status: 0 when
everything asked for was done, 1 when something failed or sectors could not be read (the
message says what), 2 for a wrong command line. Ctrl-C stops within a megabyte: nothing of an
unfinished photo is left, and a partial image is kept as TOBRN.IMG.partial.
)";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw UsageError{argument + " needs a value"};
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            line.verb = CommandLine::Verb::Help;
            return line;
        } else if (argument == "--quiet" || argument == "-q") {
            line.quiet = true;
        } else if (argument == "--prefix") {
            line.prefix = value();
            if (line.prefix.empty()) throw UsageError{"--prefix needs a prefix"};
        } else if (argument == "--names") {
            const std::string& names = value();
            if (names == "card")
                line.cardNames = true;
            else if (names == "list")
                line.cardNames = false;
            else
                throw UsageError{"--names is card or list, not '" + names + "'"};
        } else if (argument == "--read-twice") {
            line.readTwice = true;
        } else if (argument == "--family") {
            const std::string& family = value();
            if (family == "nt")
                line.family = VER_PLATFORM_WIN32_NT;
            else if (family == "9x")
                line.family = VER_PLATFORM_WIN32_WINDOWS;
            else
                throw UsageError{"--family is nt or 9x, not '" + family + "'"};
        } else if (argument == "--formats") {
            line.kinds = KindsOf(value());
        } else if (argument == "--sectors") {
            line.sectors = SectorCount(value());
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "-") {
            throw UsageError{"unknown option " + argument};
        } else {
            words.push_back(argument);
        }
    }
    if (words.empty()) throw UsageError{"no command given"};
    line.verb = VerbOf(words[0]);
    const std::size_t operands = words.size() - 1;
    switch (line.verb) {
        case CommandLine::Verb::Drives: line.images.assign(words.begin() + 1, words.end()); break;
        case CommandLine::Verb::Scan:
            if (operands != 1) throw UsageError{"scan takes one SOURCE"};
            line.source = words[1];
            break;
        case CommandLine::Verb::Save:
        case CommandLine::Verb::Image:
            if (operands != 2) throw UsageError{words[0] + " takes a SOURCE and a FOLDER"};
            line.source = words[1];
            line.folder = words[2];
            break;
        case CommandLine::Verb::Help: break;
    }
    return line;
}

}  // namespace kelvara::cli
