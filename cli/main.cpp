// kelvara-cli: the photo scan, Save All and Image Disk of the Kelvara window, without a
// desktop. `kelvara-cli --help` tells how to use it.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli_progress.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "platform/create_platform.h"
#include "scan/entry_name.h"

namespace {

using namespace kelvara;
using namespace kelvara::cli;

int Run(const CommandLine& line) {
    PlatformOptions options;
    options.platformId = line.family;
    Source source;
    std::vector<Source> images;
    if (line.verb == CommandLine::Verb::Drives) {
        for (const std::string& image : line.images) {
            images.push_back(ParseSource(image));
            if (images.back().image) options.images.push_back(*images.back().image);
        }
    } else {
        source = ParseSource(line.source);
        if (source.image) options.images.push_back(*source.image);
    }
    const auto platform = CreatePlatform(options);
    if (line.verb == CommandLine::Verb::Drives) return ListDrives(*platform, images);

    const auto drive = DriveOf(*platform, source);
    if (!drive) {
        std::fprintf(stderr, "kelvara-cli: %s cannot be attached as a drive here; name its drive (E:) instead.\n",
                     line.source.c_str());
        return 1;
    }
    WatchForInterrupt();
    ProgressMeter meter(ProgressMeter::StyleFor(line.quiet));
    switch (line.verb) {
        case CommandLine::Verb::Scan: return ScanDrive(*platform, *drive, line, meter);
        case CommandLine::Verb::Save: return SaveDrive(*platform, *drive, line, meter);
        case CommandLine::Verb::Image: return ImageDrive(*platform, *drive, line, meter);
        default: return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    try {
        line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (line.verb == CommandLine::Verb::Save && !IsUsablePrefix(line.prefix))
            throw UsageError{"--prefix may hold no \\ / : * ? \" < > | or control character"};
        if (line.verb == CommandLine::Verb::Save && line.prefix.size() > kLongestPrefix)
            throw UsageError{"--prefix may be at most " + std::to_string(kLongestPrefix) + " bytes long"};
    } catch (const UsageError& error) {
        std::fprintf(stderr, "kelvara-cli: %s\n\n%s", error.message.c_str(), UsageText());
        return 2;
    }
    int status = 1;
    if (line.verb == CommandLine::Verb::Help) {
        status = std::fputs(UsageText(), stdout) == EOF ? 1 : 0;
    } else {
        try {
            status = Run(line);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "kelvara-cli: %s\n", error.what());
        }
    }
    // What was printed is the result: output that could not be written, up to its last byte
    // (which the close may be the first to fail on), is a failure.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int flushError = errno;
    if (!flushed || std::fclose(stdout) != 0) {
        std::fprintf(stderr, "kelvara-cli: the output could not be written: %s\n",
                     std::strerror(flushed ? errno : flushError));
        return 1;
    }
    return status;
}
