#pragma once
// A raw image of the whole drive: sector 0, 1, 2... back to back in Folder\TOBRN.IMG.

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "scan/host.h"

namespace kelvara {

struct ImageReport {
    std::string path;
    std::int64_t total = 0;           // sectors asked for
    std::int64_t sectorsWritten = 0;  // sectors the file holds
    bool created = false;             // the file was made: it holds sectorsWritten sectors
    bool complete = false;
    std::string failure;              // what failed, when not complete
};

// "The image <path> is incomplete: it holds N of T sectors." with the path as the caller shows it.
std::string IncompleteImageText(const ImageReport& report, const std::string& shownPath);

// Takes the drive and the total once, from the window, then copies the sectors with the
// progress bar's maximum at the total and its value at the sectors done, yielding once per
// sector. An existing image is shortened first. On a failure the run stops, the file is
// closed and kept, and the report says how far it got; no message is shown here.
ImageReport MakeImage(Platform& platform, Host& host, const std::string& Folder);

// The Image Disk command once the folder is chosen (nothing without one): the question
// "Make image at <Folder>\", then MakeImage, then a message only when the image could not be
// made or is incomplete.
void ImageDisk(Platform& platform, Host& host, const std::string& Folder);

}  // namespace kelvara
