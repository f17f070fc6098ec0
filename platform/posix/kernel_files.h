#pragma once
// The small text files and folders the kernel shows of itself under sys/ and proc/.

#include <string>
#include <vector>

namespace kelvara {

// The first line, without trailing blanks; empty when the file cannot be read.
std::string FirstLine(const std::string& path);

// The names in a folder, without "." and "..", in order; empty when it cannot be listed.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace kelvara
