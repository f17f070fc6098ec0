#pragma once
#include <cstdint>
#include <string>

#include "scan/found_photo.h"

namespace kelvara {

// The name of photo `index` (counted from 0): prefix, the number index + 1 padded to three
// digits, the kind's extension. "Image001.JPG"; numbers of 100 and more are not padded, so the
// names go on as Image1000.JPG, Image12345.HEIC. One numbering for every format.
std::string EntryName(const std::string& prefix, std::int64_t index, FileKind kind);

// The prefix starts file names, so it may hold no character a file name may not hold:
// \ / : * ? " < > | or a control character (text in UTF-8).
bool IsUsablePrefix(const std::string& prefix);

// The longest prefix, in bytes, whose names still fit every file system a photo may be saved on
// with their number, extension, a " (2)" of a taken name and the temporary's suffix.
constexpr std::size_t kLongestPrefix = 200;

}  // namespace kelvara
