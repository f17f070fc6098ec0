// Every format walker over arbitrary bytes, handed out in pieces of a size the input picks (as
// a drive hands them out, so fields straddle pieces): no walker reads outside the bytes, ends
// past them, or asks for more pieces than a constant times the bytes (a loop, a shared list or
// a huge count read again and again would).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "formats/format_walkers.h"

namespace {

using namespace kelvara::formats;

class Pieces final : public kelvara::ByteSource {
public:
    Pieces(std::span<const std::uint8_t> bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        ++calls;
        if (offset >= bytes_.size()) return {};
        return bytes_.subspan(static_cast<std::size_t>(offset), std::min<std::size_t>(piece_, bytes_.size() - offset));
    }
    std::uint64_t calls = 0;

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t piece_;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

// Runs `walk` on fresh pieces and checks what it asked for.
template <typename Walk>
void Bounded(std::span<const std::uint8_t> bytes, std::size_t piece, Walk walk) {
    Pieces source(bytes, piece);
    walk(source);
    Check(source.calls <= 8 * bytes.size() + 20000);
}

void WithinFile(const std::optional<ByteRange>& range, std::size_t size) {
    Check(!range || (range->offset <= size && range->length <= size - range->offset));
}
void WithinFile(const std::optional<std::uint64_t>& length, std::size_t size) { Check(!length || *length <= size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = data[0] == 0 ? 1 << 20 : data[0];
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const Head head = bytes.first(std::min<std::size_t>(4096, bytes.size()));
    for (const auto identify : {tiff::Identify, raf::Identify, iso_media::Identify, png::Identify, riff::Identify}) {
        const Extension extension = identify(head);
        Check(!extension || (extension->size() >= 4 && (*extension)[0] == '.'));
    }
    for (const auto length : {tiff::Length, raf::Length, iso_media::Length, png::Length, riff::Length})
        Bounded(bytes, piece, [&](kelvara::ByteSource& s) { WithinFile(length(s), bytes.size()); });
    Bounded(bytes, piece, [&](kelvara::ByteSource& s) { WithinFile(tiff::LargestPreview(s), bytes.size()); });
    Bounded(bytes, piece, [&](kelvara::ByteSource& s) { WithinFile(raf::LargestPreview(s), bytes.size()); });
    Bounded(bytes, piece, [&](kelvara::ByteSource& s) { tiff::DateTimeOriginal(s); });
    Bounded(bytes, piece, [&](kelvara::ByteSource& s) {
        iso_media::Clip(s);
        iso_media::CreationTime(s);
        riff::Clip(s);
    });
    Bounded(bytes, piece, [&](kelvara::ByteSource& s) {
        std::vector<jpeg::Segment> segments;
        jpeg::ForEachAppSegment(s, [&](const jpeg::Segment& segment) {
            Check(segment.offset + segment.length <= bytes.size() + 65536);
            segments.push_back(segment);
            return segments.size() < 64;
        });
        // The image's end: anywhere, as the JPEG walk would have found it.
        const std::uint64_t imageEnd = bytes.size() < 4 ? 0 : bytes.size() / 2;
        const std::uint64_t end = jpeg::DeclaredEnd(s, imageEnd, segments);
        Check(end >= imageEnd && (end == imageEnd || end <= bytes.size()));
        WithinFile(jpeg::MakerNotePreview(s, segments), bytes.size());
        jpeg::DateTimeOriginal(s, segments);
    });
    return 0;
}
