#include "tests/support/test_card.h"

#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <stdexcept>

#include "tests/support/fat_image.h"

namespace kelvara::testing {
namespace {

// A directory cluster of one-sector clusters holds 16 entries: ".", ".." and 14 files.
constexpr int kPhotosPerFolder = 14;

std::string FolderOf(int photo) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "::/DCIM/%03dKELVA", 100 + photo / kPhotosPerFolder);
    return folder;
}

}  // namespace

TestCard MakePhotoCard(const std::string& image, int count, bool deleted, std::int64_t sectors) {
    MakeFatImage(image, 32, sectors);
    // Every folder is made before any photo, as a camera's folders are, so no directory
    // cluster lands between two photos: only photo data and empty slack lie between them,
    // and what is found is exactly what was copied.
    QStringList folders{"-i", QString::fromStdString(image), "::/DCIM"};
    for (int i = 0; i < count; i += kPhotosPerFolder) folders << QString::fromStdString(FolderOf(i));
    if (QProcess::execute("mmd", folders) != 0) throw std::runtime_error("mmd could not make the DCIM folders");

    TestCard card{image, {}};
    const std::string scratch = image + ".photo";
    for (int i = 0; i < count; ++i) {
        CardPhoto photo;
        const int width = 96 + (i * 37) % 400, height = 64 + (i * 23) % 300;
        photo.gif = i % 5 == 4;
        char name[32];
        std::snprintf(name, sizeof name, photo.gif ? "ANIM_%04d.GIF" : "IMG_%04d.JPG", i + 1);
        photo.name = name;
        photo.folder = FolderOf(i).substr(3);
        photo.bytes = photo.gif ? MakeGif89a(width / 3, height / 3, i)
                      : i % 3 == 2 ? MakeJpegWithThumbnail(width, height, i)
                                   : MakeJpeg(width, height, i);
        WriteFileBytes(scratch, photo.bytes);
        CopyIntoImage(image, scratch, FolderOf(i) + "/" + photo.name);
        card.photos.push_back(std::move(photo));
    }
    std::remove(scratch.c_str());
    if (deleted) DeleteFromImage(image, "::/DCIM");
    return card;
}

std::int64_t LayFiles(const std::string& image, std::int64_t firstSector, const std::vector<Bytes>& files) {
    std::int64_t sector = firstSector;
    for (const Bytes& file : files) {
        WriteBytesAt(image, sector * 512, file);
        sector += static_cast<std::int64_t>((file.size() + 511) / 512);
    }
    return sector;
}

}  // namespace kelvara::testing
