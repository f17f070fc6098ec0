// How fast Image Disk copies a card, against `cp` of the same file.
//
//   bin/kelvara-image-bench [IMAGE] [--size-mib N]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) in /tmp. With the card in
// the page cache it times `cp IMAGE` and the disk image through the window into the same
// folder, best of three each, and prints the ratio.

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <filesystem>

#include "bench/bench_card.h"
#include "destination/destination.h"
#include "diskio/sector_source.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/temp_dir.h"
#include "tools/make_image.h"
#include "window/control_ids.h"
#include "window/frm_main.h"
#include "window_qt/browser_engine.h"
#include "window_qt/message_box.h"
#include "window_qt/qt_toolkit.h"

int main(int argc, char** argv) {
    using namespace kelvara;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qt::PrepareBrowserEngine();  // as the program does: the window's engine starts as root too
    QApplication app(argc, argv);
    testing::TempDir dir;
    const std::string image = bench::CardFromArguments(argc, argv, dir.path());
    const std::string copy = dir.file("copy.img");
    const double cp = bench::BestOfThree([&] {
        std::filesystem::remove(copy);
        return bench::SecondsOf("cp '" + image + "' '" + copy + "'");
    });
    std::filesystem::remove(copy);

    PosixPlatform::Options options;
    options.images.push_back({image});
    options.home = dir.path();
    PosixPlatform platform(options);
    qt::SetMessageResponder([](const Message&) { return true; });
    qt::QtToolkit toolkit;
    FrmMain window(platform, toolkit);
    window.Chosen(ids::frm_main::cbxDrives, 1);  // the first card, as the user chooses it

    const double made = bench::BestOfThree([&] {
        std::filesystem::remove(dir.file("TOBRN.IMG"));
        QElapsedTimer timer;
        timer.start();
        Destination destination(platform, "C:\\", {window.DriveString()});
        SectorSource card(platform, window.DriveString());
        MakeImage(card, window.DriveSectors(), destination, window);
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    });
    std::printf("image: %s, %s sectors imaged, %lld bytes written\n", image.c_str(),
                window.Caption(ids::frm_main::lblSectors).c_str(),
                static_cast<long long>(std::filesystem::file_size(dir.file("TOBRN.IMG"))));
    std::printf("cp:               %.3f s\n", cp);
    std::printf("Image Disk:       %.3f s  ratio %.2f (target 2)\n", made, made / cp);
    return 0;
}
