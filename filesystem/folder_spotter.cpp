#include "filesystem/folder_spotter.h"

#include <cstring>

#include "filesystem/directory_entries.h"

namespace kelvara {

bool LooksLikeFolderCluster(FileSystemKind kind, std::span<const std::uint8_t> s) {
    if (s.size() < 512) return false;
    if (kind == FileSystemKind::Exfat) {
        for (std::size_t at = 0; at + 64 <= 512; at += 32)
            if ((s[at] & 0x7F) == 0x05 && s[at + 1] >= 2 && s[at + 1] <= 18 && (s[at + 32] & 0x7F) == 0x40 &&
                (s[at] & 0x80) == (s[at + 32] & 0x80))
                return true;
        // A set begun in the cluster before may fill this one's first sector: then every entry
        // there is a file's, a stream's or a name's.
        for (std::size_t at = 0; at < 512; at += 32)
            if ((s[at] & 0x7F) != 0x05 && (s[at] & 0x7F) != 0x40 && (s[at] & 0x7F) != 0x41) return false;
        return true;
    }
    if (std::memcmp(s.data(), ".          ", 11) == 0 && (s[11] & 0x10) && std::memcmp(s.data() + 32, "..         ", 11) == 0 &&
        (s[43] & 0x10))
        return true;
    // A folder's later cluster: every entry of its first sector a name, a long name's part, or
    // free after the end; and at least one named file.
    bool named = false;
    for (std::size_t at = 0; at < 512; at += 32) {
        const auto e = s.subspan(at, 32);
        if (e[0] == 0) {
            if (!named) return false;
            for (std::size_t rest = at; rest < 512; ++rest)
                if (s[rest] != 0) return false;
            break;
        }
        if (e[11] == 0x0F) {
            if (e[12] != 0 || e[26] != 0 || e[27] != 0) return false;
            continue;
        }
        if (!PlausibleShortEntry(e) || e[12] & ~0x18) return false;
        named = true;
    }
    return named;
}

void FolderSpotter::Look(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    const ClusterLayout& layout = region_.layout;
    if (bytes.empty() || layout.clusterBytes == 0 || found_.size() >= kMost) return;
    const std::uint64_t end = offset + bytes.size();
    if (end <= layout.dataStart || offset >= layout.End()) return;
    std::uint64_t at = offset <= layout.dataStart
                           ? layout.dataStart
                           : layout.dataStart + ((offset - layout.dataStart + layout.clusterBytes - 1) / layout.clusterBytes) *
                                                    layout.clusterBytes;
    for (; at + 512 <= end && at < layout.End() && found_.size() < kMost; at += layout.clusterBytes)
        if (LooksLikeFolderCluster(region_.kind, bytes.subspan(static_cast<std::size_t>(at - offset), 512)))
            found_.push_back(at);
}

}  // namespace kelvara
