// DecodeHevcPictures with libde265: each picture decoded on its own, its warnings taken as faults.
#include <memory>
#include <vector>

#include <libde265/de265.h>

#include "formats/byte_reader.h"
#include "formats/format_walkers.h"
#include "photos/hevc_decode.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kLargestPicture = 64 << 20;  // coded bytes of one picture held in memory
// Bytes cut from a picture's last NAL unit to see that its decode needs them: the data of another
// file may end a slice early without a fault, leaving the rest of the picture undecoded.
constexpr std::size_t kEndCut = 8;

struct FreeDecoder {
    void operator()(de265_decoder_context* decoder) const { de265_free_decoder(decoder); }
};

// One decode of a picture's data, with the last `cut` bytes of its last NAL unit left out.
HevcDecode Decode(const formats::iso_media::HevcItem& item, std::span<const std::uint8_t> data, std::size_t cut) {
    std::unique_ptr<de265_decoder_context, FreeDecoder> decoder(de265_new_decoder());
    if (!decoder) return HevcDecode::Unjudged;
    for (const auto& unit : item.parameterSets)
        if (!de265_isOK(de265_push_NAL(decoder.get(), unit.data(), static_cast<int>(unit.size()), 0, nullptr)))
            return HevcDecode::Faulty;
    // The data are NAL units each after its length; they must fill the picture's data exactly.
    for (std::size_t unit = 0; unit < data.size();) {
        if (data.size() - unit < item.lengthSize) return HevcDecode::Faulty;
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < item.lengthSize; ++i) length = length << 8 | data[unit + i];
        unit += item.lengthSize;
        if (length == 0 || length > data.size() - unit) return HevcDecode::Faulty;
        const std::size_t pushed = unit + length == data.size() && length > cut ? length - cut : length;
        if (!de265_isOK(de265_push_NAL(decoder.get(), data.data() + unit, static_cast<int>(pushed), 0, nullptr)))
            return HevcDecode::Faulty;
        unit += static_cast<std::size_t>(length);
    }
    if (!de265_isOK(de265_flush_data(decoder.get()))) return HevcDecode::Faulty;
    bool pictured = false;
    for (int more = 1; more;) {
        const de265_error error = de265_decode(decoder.get(), &more);
        if (error != DE265_OK && error != DE265_ERROR_WAITING_FOR_INPUT_DATA) return HevcDecode::Faulty;
        while (de265_get_next_picture(decoder.get())) pictured = true;
        if (error == DE265_ERROR_WAITING_FOR_INPUT_DATA) break;
    }
    if (de265_get_warning(decoder.get()) != DE265_OK) return HevcDecode::Faulty;
    return pictured ? HevcDecode::Clean : HevcDecode::Faulty;
}

// A picture decodes clean when it does, and does not once its end is cut.
HevcDecode Decode(ByteSource& bytes, const formats::iso_media::HevcItem& item) {
    std::uint64_t size = 0;
    for (const auto& range : item.data) size += range.length;
    if (size > kLargestPicture) return HevcDecode::Unjudged;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    std::size_t at = 0;
    for (const auto& range : item.data) {
        if (!formats::ReadAt(bytes, range.offset, std::span(data).subspan(at, static_cast<std::size_t>(range.length))))
            return HevcDecode::Faulty;
        at += static_cast<std::size_t>(range.length);
    }
    const HevcDecode whole = Decode(item, data, 0);
    if (whole != HevcDecode::Clean) return whole;
    return Decode(item, data, kEndCut) == HevcDecode::Clean ? HevcDecode::Faulty : HevcDecode::Clean;
}

}  // namespace

HevcDecode DecodeHevcPictures(ByteSource& bytes, std::uint64_t from) {
    HevcDecode verdict = HevcDecode::Unjudged;
    for (const auto& item : formats::iso_media::HevcItems(bytes)) {
        bool past = false;
        for (const auto& range : item.data) past = past || range.End() > from;
        if (!past) continue;
        const HevcDecode decode = Decode(bytes, item);
        if (decode == HevcDecode::Faulty) return decode;
        if (decode == HevcDecode::Clean) verdict = decode;
    }
    return verdict;
}

}  // namespace kelvara
