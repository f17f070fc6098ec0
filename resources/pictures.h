#pragma once
// Which picture is which: the two image lists of the main window and the window icon, drawn as
// SVG files in resources/svg. Both windows take their pictures from this table; each turns the
// files into pictures its own way (the Qt window draws them at run time, the Win32 window's
// build rasterises them).

#include <span>

namespace kelvara {

struct PictureFile {
    const char* name;  // resources/svg/<name>.svg
    int width;
    int height;
};

// ImageList1: the six 48 by 48 toolbar icons (Scan, Options, Help, About, Image Disk, Disk
// Wipe). ImageList2: the three 256 by 256 guide pictures, the 277 by 75 logo banner and the 32
// by 32 camera. Pictures are counted from 1, as the image-list control counts them.
enum class ImageListId { ImageList1, ImageList2 };

inline constexpr PictureFile kImageList1[] = {
    {"scan", 48, 48},       {"options", 48, 48},    {"help", 48, 48},
    {"about", 48, 48},      {"image_disk", 48, 48}, {"disk_wipe", 48, 48},
};

inline constexpr PictureFile kImageList2[] = {
    {"guide_select_drive", 256, 256},  // 1: "Select the drive you wish to scan"
    {"guide_click_scan", 256, 256},    // 2: "Now click the scan button to begin the scan"
    {"guide_select_images", 256, 256}, // 3: "Select the images you wish to preview."
    {"logo_banner", 277, 75},          // 4
    {"camera", 32, 32},                // 5
};

// A memory card with a lens on it: "window_icon" for 24 pixels and up, "window_icon_16" for 16.
inline constexpr const char* kWindowIcon = "window_icon";
inline constexpr const char* kWindowIconSmall = "window_icon_16";

inline std::span<const PictureFile> ImageListPictures(ImageListId list) {
    if (list == ImageListId::ImageList1) return kImageList1;
    return kImageList2;
}

// Picture `index` (from 1) of a list; nullptr outside the list.
inline const PictureFile* ListPicture(ImageListId list, int index) {
    const auto pictures = ImageListPictures(list);
    if (index < 1 || index > static_cast<int>(pictures.size())) return nullptr;
    return &pictures[static_cast<std::size_t>(index - 1)];
}

}  // namespace kelvara
