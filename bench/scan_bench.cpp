// How fast a scan reads a card, against reading the same file once with cat.
//
//   bin/kelvara-scan-bench [IMAGE] [--size-mib N]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) in /tmp. With the file in
// the page cache it times `cat IMAGE > /dev/null`, a scan through the window on the offscreen
// platform and a headless scan, best of three each, and prints the ratios.

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "bench/bench_card.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_progress.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"
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
    const double cat = bench::BestOfThree([&] { return bench::SecondsOf("cat '" + image + "' > /dev/null"); });

    PosixPlatform platform(std::vector<std::string>{image});
    qt::SetMessageResponder([](const Message&) { return true; });
    qt::QtToolkit toolkit;
    FrmMain window(platform, toolkit);
    window.Chosen(ids::frm_main::cbxDrives, 1);  // the first card, as the user chooses it
    const std::string sectors = window.Caption(ids::frm_main::lblSectors);
    const double gui = bench::BestOfThree([&] {
        QElapsedTimer timer;
        timer.start();
        window.Toolbar1_ButtonClick(3);
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    });
    const double headless = bench::BestOfThree([&] {
        testing::FakeProgress progress;
        FoundPhotoTable table;
        QElapsedTimer timer;
        timer.start();
        testing::ScanNt(platform, progress, table, window.DriveString(), window.DriveSectors());
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    });

    std::printf("image: %s, %s sectors scanned, %d photos listed\n", image.c_str(), sectors.c_str(),
                static_cast<int>(window.PhotoList().count()));
    std::printf("cat:              %.3f s\n", cat);
    std::printf("scan, window:     %.3f s  ratio %.2f (target 1.5)\n", gui, gui / cat);
    std::printf("scan, headless:   %.3f s  ratio %.2f (target 1.5)\n", headless, headless / cat);
    return 0;
}
