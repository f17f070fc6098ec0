#include "tests/support/test_card.h"

#include <cstdio>

#include "tests/support/fat_image.h"

namespace kelvara::testing {

TestCard MakePhotoCard(const std::string& image, int count, bool deleted, std::int64_t sectors) {
    MakeFatImage(image, 32, sectors);
    TestCard card{image, {}};
    const std::string scratch = image + ".photo";
    for (int i = 0; i < count; ++i) {
        CardPhoto photo;
        const int width = 96 + (i * 37) % 400, height = 64 + (i * 23) % 300;
        photo.gif = i % 5 == 4;
        char name[32];
        std::snprintf(name, sizeof name, photo.gif ? "ANIM_%04d.GIF" : "IMG_%04d.JPG", i + 1);
        photo.name = name;
        photo.bytes = photo.gif ? MakeGif89a(width / 3, height / 3, i)
                      : i % 3 == 2 ? MakeJpegWithThumbnail(width, height, i)
                                   : MakeJpeg(width, height, i);
        WriteFileBytes(scratch, photo.bytes);
        // Two folders, as a camera starts a new one now and then.
        const char* dcim = i < (count + 1) / 2 ? "::/DCIM/100KELVA/" : "::/DCIM/101KELVA/";
        CopyIntoImage(image, scratch, dcim + photo.name);
        card.photos.push_back(std::move(photo));
    }
    std::remove(scratch.c_str());
    if (deleted) DeleteFromImage(image, "::/DCIM");
    return card;
}

}  // namespace kelvara::testing
