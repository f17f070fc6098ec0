#include "window_win32/bitmap.h"

#include <shlwapi.h>
#include <wincodec.h>
// GDI+ wants min and max, which <windows.h> leaves out here.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

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

// A top-down DIB section of premultiplied BGRA pixels, and where they lie.
HBITMAP MakeDib(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// WIC's pixels at the size they come in, premultiplied BGRA, into a DIB section of that size.
Bitmap Copy(IWICImagingFactory* factory, IWICBitmapSource* source) {
    UINT width = 0, height = 0;
    Com<IWICFormatConverter> converter;
    if (FAILED(source->GetSize(&width, &height)) || !width || !height || FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return {};
    void* bits = nullptr;
    HBITMAP handle = MakeDib(static_cast<int>(width), static_cast<int>(height), &bits);
    if (!handle) return {};
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(handle);
        return {};
    }
    return Bitmap(handle, static_cast<int>(width), static_cast<int>(height));
}

bool GdiplusStarted() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

// `picture` drawn at `width` by `height` with GDI+'s high-quality bicubic filter (the edges
// mirrored, not faded into nothing). Empty where GDI+ cannot.
Bitmap Smoothly(const Bitmap& picture, int width, int height) {
    namespace gp = Gdiplus::DllExports;
    if (!GdiplusStarted()) return {};
    DIBSECTION from{};
    void* bits = nullptr;
    HBITMAP handle = MakeDib(width, height, &bits);
    if (!handle || GetObjectA(picture.handle(), sizeof from, &from) != sizeof from) {
        if (handle) DeleteObject(handle);
        return {};
    }
    Gdiplus::GpBitmap* source = nullptr;
    Gdiplus::GpBitmap* target = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpImageAttributes* edges = nullptr;
    bool drawn =
        gp::GdipCreateBitmapFromScan0(picture.width(), picture.height(), picture.width() * 4, PixelFormat32bppPARGB,
                                      static_cast<BYTE*>(from.dsBm.bmBits), &source) == Gdiplus::Ok &&
        gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits),
                                      &target) == Gdiplus::Ok &&
        gp::GdipGetImageGraphicsContext(target, &graphics) == Gdiplus::Ok &&
        gp::GdipCreateImageAttributes(&edges) == Gdiplus::Ok;
    if (drawn) {
        gp::GdipSetImageAttributesWrapMode(edges, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
        gp::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceCopy);
        gp::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
        gp::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHighQuality);
        drawn = gp::GdipDrawImageRectRectI(graphics, source, 0, 0, width, height, 0, 0, picture.width(), picture.height(),
                                           Gdiplus::UnitPixel, edges, nullptr, nullptr) == Gdiplus::Ok;
    }
    if (edges) gp::GdipDisposeImageAttributes(edges);
    if (graphics) gp::GdipDeleteGraphics(graphics);
    if (target) gp::GdipDisposeImage(target);
    if (source) gp::GdipDisposeImage(source);
    if (!drawn) {
        DeleteObject(handle);
        return {};
    }
    return Bitmap(handle, width, height);
}

// The decoder's first frame at the size asked for. A picture more than twice that size is first
// brought down to twice it by WIC's own scaler, so a large photo is never held whole; the last
// step is GDI+'s bicubic filter, which also enlarges a small GIF smoothly (WIC's scaler may not).
Bitmap Decode(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, int width, int height) {
    Com<IWICBitmapFrameDecode> frame;
    UINT frameWidth = 0, frameHeight = 0;
    if (FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&frameWidth, &frameHeight))) return {};
    const UINT nearWidth = std::min(frameWidth, static_cast<UINT>(width) * 2);
    const UINT nearHeight = std::min(frameHeight, static_cast<UINT>(height) * 2);
    Com<IWICBitmapScaler> scaler;
    IWICBitmapSource* source = frame.p;
    if (nearWidth != frameWidth || nearHeight != frameHeight) {
        if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
            FAILED(scaler->Initialize(frame.p, nearWidth, nearHeight, WICBitmapInterpolationModeFant)))
            return {};
        source = scaler.p;
    }
    Bitmap reduced = Copy(factory, source);
    if (reduced.empty() || (reduced.width() == width && reduced.height() == height)) return reduced;
    Bitmap smooth = Smoothly(reduced, width, height);
    if (!smooth.empty()) return smooth;
    // Without GDI+: WIC's scaler all the way.
    Com<IWICBitmapScaler> exact;
    if (FAILED(factory->CreateBitmapScaler(&exact)) ||
        FAILED(exact->Initialize(frame.p, static_cast<UINT>(width), static_cast<UINT>(height), WICBitmapInterpolationModeFant)))
        return {};
    return Copy(factory, exact.p);
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
