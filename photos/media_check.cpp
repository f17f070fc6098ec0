#include "photos/media_check.h"

#include <optional>

#include "formats/format.h"
#include "formats/format_walkers.h"
#include "photos/hevc_decode.h"

namespace kelvara {
namespace {

bool IsHeic(FileKind kind) { return formats::ExtensionOf(kind) == ".HEIC"; }
bool IsClip(FileKind kind) {
    return &formats::FormatOf(kind) == &formats::iso_media::kFormat && formats::VariantOf(kind).shown == formats::Shown::Clip;
}

bool IsTiff(FileKind kind) { return &formats::FormatOf(kind) == &formats::tiff::kFormat; }

// Strips or tiles to see past a join: one could be chance.
constexpr std::size_t kFewestStrips = 2;

MediaCheck FromHolds(std::optional<bool> holds) {
    if (!holds) return MediaCheck::Untold;
    return *holds ? MediaCheck::Holds : MediaCheck::Fails;
}

}  // namespace

bool MediaCheckable(FileKind kind) { return IsHeic(kind) || IsClip(kind) || IsTiff(kind); }

bool MediaCheckablePast(FileKind kind, ByteSource& bytes, std::uint64_t kept) {
    if (IsTiff(kind)) return formats::tiff::JpegPiecesFrom(bytes, kept) >= kFewestStrips;
    return MediaCheckable(kind);
}

MediaCheck CheckMediaData(FileKind kind, ByteSource& bytes, std::span<const std::uint64_t> joins) {
    if (joins.empty()) return MediaCheck::Untold;
    if (IsHeic(kind)) {
        switch (DecodeHevcPictures(bytes, joins.front())) {
            case HevcDecode::Clean: return MediaCheck::Holds;
            case HevcDecode::Faulty: return MediaCheck::Fails;
            case HevcDecode::Unjudged: return MediaCheck::Untold;
        }
    }
    if (IsTiff(kind)) return FromHolds(formats::tiff::JpegPiecesHold(bytes, joins));
    if (IsClip(kind)) return FromHolds(formats::iso_media::VideoSamplesHold(bytes, joins));
    return MediaCheck::Untold;
}

}  // namespace kelvara
