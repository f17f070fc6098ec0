#pragma once
// Positions and sizes of windows and controls, in pixels. The layouts were drawn in twips, 15 to
// a pixel on the screens they were made for.

namespace kelvara {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// left, top, width, height, from the top-left corner of the parent's client area.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }  // exclusive
    int bottom() const { return top + height; }
    bool operator==(const Rect&) const = default;
};

inline constexpr int kTwipsPerPixel = 15;

constexpr int Twips(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
constexpr Rect TwipsRect(int left, int top, int width, int height) {
    return {Twips(left), Twips(top), Twips(width), Twips(height)};
}
constexpr Size TwipsSize(int width, int height) { return {Twips(width), Twips(height)}; }

}  // namespace kelvara
