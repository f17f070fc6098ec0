// The end-marker search over arbitrary buffers, against a plain transcription of the rule: p
// starts at the last index minus 1 and walks down; it stops on the marker pair, or once it is
// below 5. The same buffers go through the photo structure walkers, which must end inside them and
// in time (a Multi-Picture index of thousands of entries, sub-blocks chained to the end).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "photos/end_marker.h"
#include "formats/format_table.h"

namespace {

std::optional<std::size_t> Reference(std::span<const std::uint8_t> b, std::uint8_t first, std::uint8_t second) {
    if (b.size() < 2) return std::nullopt;
    for (std::size_t p = b.size() - 2;; --p) {
        if (b[p] == first && b[p + 1] == second) return p < 5 ? std::nullopt : std::optional<std::size_t>(p);
        if (p < 5) return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the marker; the JPEG and GIF markers are the ones that matter.
    std::uint8_t first = data[0], second = data[1];
    if (first % 4 == 0) first = 0xFF, second = 0xD9;
    else if (first % 4 == 1) first = 0x00, second = 0x3B;
    const std::span<const std::uint8_t> buffer(data + 2, size - 2);

    const auto expected = Reference(buffer, first, second);
    if (kelvara::FindLastEndMarker(buffer, first, second) != expected) std::abort();

    // Every format of the table: the JPEG and GIF walks above all, whose end markers these are.
    for (const kelvara::formats::Format* format : kelvara::formats::Table()) {
        kelvara::MemoryBytes bytes(buffer);
        const kelvara::Walk walk = format->WalkStructure(bytes);
        if (walk.end && (*walk.end < 3 || *walk.end > buffer.size() || walk.reached != *walk.end)) std::abort();
        if (walk.end && format == &kelvara::formats::jpeg::kFormat && !walk.image) std::abort();  // a GIF may hold no image
        (void)format->HoldsImage(bytes, buffer.size());
    }
    return 0;
}
