#include "window_win32/bitmap.h"

#include <shlwapi.h>
#include <wincodec.h>

#include <utility>

namespace kelvara::win32 {
namespace {

// RT_HTML: what res:// addresses find.
const char* const kPageResourceType = MAKEINTRESOURCEA(23);

// Releases a COM pointer when it goes.
template <typename T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// Scales the decoder's first frame to the size asked for, converts it to premultiplied BGRA and
// copies it into a top-down DIB section.
Bitmap Decode(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, int width, int height) {
    Com<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, &frame))) return {};
    Com<IWICBitmapScaler> scaler;
    if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(frame.p, width, height, WICBitmapInterpolationModeFant)))
        return {};
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(scaler.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!handle) return {};
    const UINT stride = static_cast<UINT>(width) * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * static_cast<UINT>(height), static_cast<BYTE*>(bits)))) {
        DeleteObject(handle);
        return {};
    }
    return Bitmap(handle, width, height);
}

Com<IWICImagingFactory> Factory() {
    Com<IWICImagingFactory> factory;
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     reinterpret_cast<void**>(&factory));
    return factory;
}

}  // namespace

Bitmap::~Bitmap() {
    if (handle_) DeleteObject(handle_);
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), width_(other.width_), height_(other.height_) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        if (handle_) DeleteObject(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        width_ = other.width_;
        height_ = other.height_;
    }
    return *this;
}

HBITMAP Bitmap::Release() { return std::exchange(handle_, nullptr); }

void Bitmap::Draw(HDC dc, const RECT& place) const {
    if (!handle_) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ before = SelectObject(source, handle_);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, place.left, place.top, place.right - place.left, place.bottom - place.top, source, 0, 0, width_,
               height_, blend);
    SelectObject(source, before);
    DeleteDC(source);
}

std::string ResourceBytes(const std::string& name) {
    HRSRC found = FindResourceA(nullptr, name.c_str(), kPageResourceType);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
}

Bitmap ResourcePicture(const std::string& name, int width, int height) {
    const std::string bytes = ResourceBytes(name);
    if (bytes.empty() || width <= 0 || height <= 0) return {};
    Com<IWICImagingFactory> factory = Factory();
    if (!factory) return {};
    Com<IStream> stream;
    stream.p = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    Com<IWICBitmapDecoder> decoder;
    if (!stream || FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)))
        return {};
    return Decode(factory.p, decoder.p, width, height);
}

Bitmap FilePicture(const std::string& path, int width, int height) {
    if (width <= 0 || height <= 0) return {};
    Com<IWICImagingFactory> factory = Factory();
    if (!factory) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    Com<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  &decoder)))
        return {};
    return Decode(factory.p, decoder.p, width, height);
}

}  // namespace kelvara::win32
