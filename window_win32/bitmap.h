#pragma once
// Pictures as the Win32 view draws them: decoded with the Windows Imaging Component into a DIB
// of premultiplied 32-bit pixels, already scaled to the size they are drawn at, smoothly.

#include <string>

#include "window_win32/win32.h"

namespace kelvara::win32 {

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(HBITMAP handle, int width, int height) : handle_(handle), width_(width), height_(height) {}
    ~Bitmap();
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    bool empty() const { return handle_ == nullptr; }
    HBITMAP handle() const { return handle_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Draws it over `place` with its transparency, stretched when the sizes differ.
    void Draw(HDC dc, const RECT& place) const;
    // Gives the handle away (to an image list, say).
    HBITMAP Release();

private:
    HBITMAP handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A picture the program carries ("scan.png"), scaled to `width` by `height`. Empty when the
// program holds no such picture or it cannot be decoded.
Bitmap ResourcePicture(const std::string& name, int width, int height);
// A picture file, as the preview writes it, scaled to `width` by `height`.
Bitmap FilePicture(const std::string& path, int width, int height);
// The bytes of a resource the program carries as a page or a page's picture.
std::string ResourceBytes(const std::string& name);

}  // namespace kelvara::win32
