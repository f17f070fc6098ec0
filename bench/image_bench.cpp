// How fast Image Disk copies a card, against `cp` of the same file.
//
//   bin/kelvara-image-bench [IMAGE] [--size-mib N]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) in /tmp. With the card in
// the page cache it times `cp IMAGE` and the disk image through the window into the same
// folder, best of three each, and prints the ratio.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <cstdio>
#include <filesystem>

#include "app/browser_engine.h"
#include "app/frm_main.h"
#include "bench/bench_card.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/temp_dir.h"
#include "tools/make_image.h"
#include "ui/message_box.h"

int main(int argc, char** argv) {
    using namespace kelvara;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowserEngine();  // as the program does: the window's engine starts as root too
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
    MessageBox::SetResponder([](const MessageBox::Shown&) { return true; });
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(1);
    window.cbxDrives_Click();

    const double made = bench::BestOfThree([&] {
        std::filesystem::remove(dir.file("TOBRN.IMG"));
        QElapsedTimer timer;
        timer.start();
        MakeImage(platform, window, "C:\\");
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    });
    std::printf("image: %s, %s sectors imaged, %lld bytes written\n", image.c_str(),
                window.lblSectors->text().toStdString().c_str(),
                static_cast<long long>(std::filesystem::file_size(dir.file("TOBRN.IMG"))));
    std::printf("cp:               %.3f s\n", cp);
    std::printf("Image Disk:       %.3f s  ratio %.2f (target 2)\n", made, made / cp);
    return 0;
}
