// Makes the demo card of `scripts/run demo`: a small FAT32 image whose photos were copied
// into DCIM and deleted again, as a camera's card looks after an accidental delete. With
// --in-pieces, a card in use instead: every other photo deleted, new ones written into the holes
// (so they lie in pieces), then quick-formatted.
//
//   bin/kelvara-make-demo-card [--in-pieces] IMAGE [PHOTOS]

#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <string>

#include "tests/support/fragmented_card.h"
#include "tests/support/test_card.h"

namespace {

void PrintUsage(std::FILE* to, const char* program) {
    std::fprintf(to,
                 "usage: %s [--in-pieces] IMAGE [PHOTOS]\n"
                 "Makes IMAGE, a FAT32 card image holding PHOTOS photos (16 when not given) that were\n"
                 "copied into DCIM and deleted again. With --in-pieces, every other one is deleted,\n"
                 "new ones are written into the holes, in pieces, and the card is quick-formatted.\n"
                 "IMAGE is written over when it exists.\n",
                 program);
}

// A count of 1 to 500, written as plain digits.
int PhotoCount(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int count = std::stoi(text);
    return count <= 500 ? count : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool inPieces = argc > 1 && std::string(argv[1]) == "--in-pieces";
    if (inPieces) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        PrintUsage(stdout, argv[0]);
        return 0;
    }
    // An option is never taken for the image's name: a mistyped one would become a large file.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            PrintUsage(stderr, argv[0]);
            return 2;
        }
    }
    const int photos = argc > 2 ? PhotoCount(argv[2]) : 16;
    if (argc < 2 || argc > 3 || photos == 0) {
        if (argc == 3 && photos == 0) std::fprintf(stderr, "%s: PHOTOS must be a number from 1 to 500\n", argv[0]);
        PrintUsage(stderr, argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // drawing the photos needs the fonts of a GUI application
    try {
        if (inPieces) {
            const auto card = kelvara::testing::MakeFragmentedCard(argv[1], photos, 7);
            int pieced = 0;
            for (const int pieces : card.pieces) pieced += pieces > 1;
            std::printf("%s: %zu photos, %d of them in pieces, the card quick-formatted\n", argv[1], card.photos.size(), pieced);
        } else {
            const auto card = kelvara::testing::MakePhotoCard(argv[1], photos);
            std::printf("%s: %zu photos copied to DCIM and deleted again\n", card.image.c_str(), card.photos.size());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
