#pragma once
#include <string>

namespace kelvara {

// The name of photo `index` (counted from 0): prefix, the number index + 1 padded to three
// digits, kind. "Image001.JPG"; numbers of 100 and more are not padded.
std::string EntryName(const std::string& prefix, int index, const std::string& kind);

// The prefix starts file names, so it may hold no character a file name may not hold:
// \ / : * ? " < > | or a control character (text in UTF-8).
bool IsUsablePrefix(const std::string& prefix);

}  // namespace kelvara
