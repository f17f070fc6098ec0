#include "photos/media_check.h"

#include "formats/format.h"
#include "formats/format_walkers.h"
#include "photos/hevc_decode.h"

namespace kelvara {
namespace {

bool IsHeic(FileKind kind) { return formats::ExtensionOf(kind) == ".HEIC"; }
bool IsClip(FileKind kind) {
    return &formats::FormatOf(kind) == &formats::iso_media::kFormat && formats::VariantOf(kind).shown == formats::Shown::Clip;
}

}  // namespace

bool MediaCheckable(FileKind kind) { return IsHeic(kind) || IsClip(kind); }

MediaCheck CheckMediaData(FileKind kind, ByteSource& bytes, std::span<const std::uint64_t> joins) {
    if (joins.empty()) return MediaCheck::Untold;
    if (IsHeic(kind)) {
        switch (DecodeHevcPictures(bytes, joins.front())) {
            case HevcDecode::Clean: return MediaCheck::Holds;
            case HevcDecode::Faulty: return MediaCheck::Fails;
            case HevcDecode::Unjudged: return MediaCheck::Untold;
        }
    }
    if (IsClip(kind)) {
        const auto holds = formats::iso_media::VideoSamplesHold(bytes, joins);
        if (!holds) return MediaCheck::Untold;
        return *holds ? MediaCheck::Holds : MediaCheck::Fails;
    }
    return MediaCheck::Untold;
}

}  // namespace kelvara
