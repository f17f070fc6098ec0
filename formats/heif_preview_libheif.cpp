#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <memory>

#include "formats/heif_preview.h"

namespace kelvara::formats {
namespace {

// Decoding holds the picture twice (its planes, then RGB): 24 megapixels stay near 100 MiB.
constexpr std::int64_t kLargestDecodedPixels = 24'000'000;
// libheif refuses pictures wider or higher than this before it allocates anything.
constexpr int kLargestSide = 16384;

template <typename T, void (*Release)(T*)>
struct Releaser {
    void operator()(T* object) const { Release(object); }
};
template <typename T, void (*Release)(T*)>
using Owned = std::unique_ptr<T, Releaser<T, Release>>;
using Context = Owned<heif_context, heif_context_free>;
using Handle = Owned<const heif_image_handle, heif_image_handle_release>;
using Image = Owned<const heif_image, heif_image_release>;

std::int64_t Pixels(const heif_image_handle* handle) {
    return std::int64_t{heif_image_handle_get_width(handle)} * heif_image_handle_get_height(handle);
}
int LongestSide(const heif_image_handle* handle) {
    return std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// The smallest thumbnail that fills `longestSide`, else the primary image.
Handle PictureToDecode(const heif_image_handle* primary, int longestSide) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (const heif_item_id id : ids) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok) continue;
        Handle owned(thumbnail);
        if (LongestSide(thumbnail) >= longestSide && (!best || Pixels(thumbnail) < Pixels(best.get())))
            best = std::move(owned);
    }
    return best;
}

}  // namespace

HeifPreview HeifToJpeg(std::span<const std::uint8_t> file, int longestSide) {
    Context context(heif_context_alloc());
    heif_context_set_maximum_image_size_limit(context.get(), kLargestSide);
    if (heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr).code != heif_error_Ok)
        return {{}, "The HEIC/AVIF file is damaged or incomplete."};
    heif_image_handle* primaryHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok)
        return {{}, "The HEIC/AVIF file holds no picture."};
    Handle primary(primaryHandle);
    Handle chosen = PictureToDecode(primary.get(), longestSide);
    const heif_image_handle* picture = chosen ? chosen.get() : primary.get();
    if (Pixels(picture) > kLargestDecodedPixels) return {{}, "The HEIC/AVIF picture is too large to preview; save it to view it."};

    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(picture, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    // A coding this build has no decoder for (AVIF, where only HEVC's was built in) is no damage.
    if (error.code == heif_error_Unsupported_feature && error.subcode == heif_suberror_Unsupported_codec)
        return {{}, heif_have_decoder_for_format(heif_compression_AV1)
                        ? "This build of Kelvara has no decoder for this photo's coding; save the photo to view it."
                        : "This build of Kelvara has no AVIF decoder; save the photo to view it."};
    if (error.code != heif_error_Ok) return {{}, "The HEIC/AVIF picture could not be decoded: it may be damaged."};
    Image image(decoded);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    const int longest = std::max(width, height);
    if (longestSide > 0 && longest > longestSide) {
        heif_image* scaled = nullptr;
        const int w = std::max(1, static_cast<int>(std::int64_t{width} * longestSide / longest));
        const int h = std::max(1, static_cast<int>(std::int64_t{height} * longestSide / longest));
        if (heif_image_scale_image(decoded, &scaled, w, h, nullptr).code == heif_error_Ok) image.reset(scaled);
    }
    int stride = 0;
    const std::uint8_t* rgb = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!rgb) return {{}, "The HEIC/AVIF picture could not be decoded: it may be damaged."};

    const tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    HeifPreview preview;
    if (compressor && tjCompress2(compressor, rgb, w, stride, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0) == 0)
        preview.jpeg.assign(jpeg, jpeg + size);
    else
        preview.error = "The HEIC/AVIF picture could not be turned into a JPEG.";
    tjFree(jpeg);
    if (compressor) tjDestroy(compressor);
    return preview;
}

}  // namespace kelvara::formats
