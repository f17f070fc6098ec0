#pragma once
// A raw image of the whole drive: sector 0, 1, 2... back to back in Folder\TOBRN.IMG.

#include <cstdint>
#include <string>

#include "diskio/sector_ranges.h"
#include "destination/destination.h"
#include "platform/platform.h"
#include "scan/host.h"

namespace kelvara {

struct ImageReport {
    std::string path;                 // TOBRN.IMG, or TOBRN.IMG.partial when the image fell short
    std::int64_t total = 0;           // sectors asked for
    std::int64_t sectorsWritten = 0;  // sectors the file holds
    bool created = false;             // the file is there: it holds sectorsWritten sectors
    bool complete = false;
    std::string failure;              // what failed, when not complete
    SectorRanges unreadable;          // sectors the file holds as zeros: they could not be read
};

// "The image <path> is incomplete: it holds N of T sectors." with the path as the caller shows it.
std::string IncompleteImageText(const ImageReport& report, const std::string& shownPath);

// Takes the drive and the total once, from the window, then copies the sectors with the
// progress bar's maximum at the total and its value at the sectors done, yielding once per
// sector. The image is written under a temporary name and becomes TOBRN.IMG, in place of an
// earlier one, only when it is whole. On a failure (or a stop asked for, seen after each MiB) the
// run stops, and what was copied is kept as TOBRN.IMG.partial; the report says how far it got. No
// message is shown here.
ImageReport MakeImage(Platform& platform, Host& host, const std::string& Folder);
// The same into a destination claimed already, for the drive the host names.
ImageReport MakeImage(Platform& platform, Host& host, Destination& destination);

// The Image Disk command once the folder is chosen (nothing without one): the question
// "Make image at <Folder>\", then MakeImage, then a message only when the image could not be
// made, is incomplete or holds zeros where sectors could not be read.
void ImageDisk(Platform& platform, Host& host, const std::string& Folder);

}  // namespace kelvara
