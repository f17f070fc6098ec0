// Makes the demo card of `scripts/run demo`: a small FAT32 image whose photos were copied
// into DCIM and deleted again, as a camera's card looks after an accidental delete.
//
//   bin/kelvara-make-demo-card IMAGE [PHOTOS]

#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <string>

#include "tests/support/test_card.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s IMAGE [PHOTOS]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // drawing the photos needs the fonts of a GUI application
    try {
        const int photos = argc > 2 ? std::stoi(argv[2]) : 16;
        const auto card = kelvara::testing::MakePhotoCard(argv[1], photos);
        std::printf("%s: %zu photos copied to DCIM and deleted again\n", card.image.c_str(), card.photos.size());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
