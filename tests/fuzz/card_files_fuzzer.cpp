// Hostile file systems for the card's folder and chain readers: the input is a volume of sectors
// (the layout of volume_geometry_fuzzer's inputs), its folders are walked from the root and from
// every cluster that looks like a folder's, and every cluster start is asked for its files and
// their chains. Nothing may crash or hang; every chain must lie inside the volume's clusters and
// add up to its file's size, and every name made of a card's entry must stay inside the folder
// it is saved into.
//
// Input: LE32 volume length in sectors, then chunks of LE32 first sector, LE16 length and that
// many bytes; what the chunks leave out is zero.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "filesystem/card_files.h"
#include "filesystem/folder_spotter.h"
#include "photos/card_names.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kMaxVolumeSectors = 1u << 22;  // 2 GiB: chains and sizes far past the input

std::uint32_t Le(std::span<const std::uint8_t> in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | in[at + static_cast<std::size_t>(i)];
    return value;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

// The volume: the sectors the input gives, zeros elsewhere up to its length.
class SparseVolume final : public ByteSource {
public:
    SparseVolume(std::span<const std::uint8_t> in) : sectors_(std::clamp<std::uint32_t>(Le(in, 0, 4), 1, kMaxVolumeSectors)) {
        for (std::size_t at = 4; at + 6 <= in.size();) {
            const std::uint32_t first = Le(in, at, 4) % sectors_;
            const std::size_t count = std::min<std::size_t>(Le(in, at + 4, 2), in.size() - at - 6);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t byte = std::uint64_t{first} * 512 + i;
                if (byte >= Length()) break;
                auto& sector = written_[byte / 512];
                sector.resize(512);
                sector[byte % 512] = in[at + 6 + i];
            }
            at += 6 + count;
        }
    }
    std::uint64_t Length() const { return std::uint64_t{sectors_} * 512; }
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        if (offset >= Length()) return {};
        const auto found = written_.find(offset / 512);
        const std::span<const std::uint8_t> sector = found != written_.end() ? std::span<const std::uint8_t>(found->second)
                                                                             : std::span<const std::uint8_t>(zeros_);
        return sector.subspan(static_cast<std::size_t>(offset % 512));
    }
    const std::map<std::uint64_t, std::vector<std::uint8_t>>& Written() const { return written_; }

private:
    std::uint32_t sectors_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> written_;
    std::vector<std::uint8_t> zeros_ = std::vector<std::uint8_t>(512);
};

void CheckName(const CardFile& file) {
    const auto relative = CardRelativePath(file);
    if (!relative) return;
    Check(!relative->empty() && relative->front() != '\\' && relative->find('/') == std::string::npos);
    for (std::size_t from = 0; from <= relative->size();) {
        const std::size_t end = std::min(relative->find('\\', from), relative->size());
        const std::string part = relative->substr(from, end - from);
        Check(!part.empty() && part != "." && part != ".." && part.find(':') == std::string::npos && part.size() <= 220);
        from = end + 1;
    }
}

}  // namespace
}  // namespace kelvara

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara;
    const std::span<const std::uint8_t> in(data, size);
    if (in.size() < 4) return 0;
    SparseVolume volume(in);
    CardFiles files(volume, volume.Length());
    const auto& region = files.Region();
    if (!region) return 0;
    const ClusterLayout& layout = region->layout;

    // The folders a scan would spot, in the sectors it would read.
    FolderSpotter spotter(*region);
    for (const auto& [sector, bytes] : volume.Written()) spotter.Look(sector * 512, bytes);
    files.AddOrphanFolders(spotter.Found());

    std::vector<std::uint64_t> starts;
    for (const auto& [sector, bytes] : volume.Written())
        if (const auto cluster = layout.StartingAt(sector * 512)) starts.push_back(layout.StartOf(*cluster));
    starts.push_back(layout.StartOf(2));
    for (const std::uint64_t start : starts)
        for (const CardFile& file : files.FilesStartingAt(start)) {
            CheckName(file);
            if (!file.chainHeld) continue;
            std::uint64_t total = 0;
            for (const ByteExtent& extent : file.extents) {
                Check(extent.length > 0 && extent.start >= layout.dataStart && extent.start + extent.length <= layout.End());
                total += extent.length;
            }
            Check(total == file.size && file.extents.front().start == start);
        }
    return 0;
}
