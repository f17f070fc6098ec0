// How fast a scan reads a card, against reading the same file once with cat.
//
//   bin/kelvara-scan-bench [IMAGE] [--size-mib N]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) in /tmp whose data area is
// filled with pseudo-random bytes and a photo signature every few hundred sectors. With the
// file in the page cache, it times `cat IMAGE > /dev/null`, a scan through the window on the
// offscreen platform, and a headless scan, best of three each, and prints the ratios.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <cstdio>
#include <cstring>
#include <random>

#include "app/frm_main.h"
#include "dialogs/message_box.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_host.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvara;

void FillImage(const std::string& path, std::int64_t mebibytes) {
    testing::MakeFatImage(path, 32, mebibytes * 2048, 8);
    const auto geometry = testing::ReadGeometryWithMinfo(path);
    std::mt19937_64 random(1);
    std::vector<std::uint8_t> chunk(1 << 20);
    const std::int64_t start = geometry.dataStartSector * 512;
    for (std::int64_t at = start; at < mebibytes << 20; at += static_cast<std::int64_t>(chunk.size())) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(chunk.data() + i, &value, 8);
        }
        for (std::size_t s = 0; s < chunk.size(); s += 512) {
            if (chunk[s] == 0xFF && chunk[s + 1] == 0xD8) chunk[s] = 0;  // keep the count of photos known
            if ((at + static_cast<std::int64_t>(s)) % (512 * 5003) == 0) {
                chunk[s] = 0xFF;
                chunk[s + 1] = 0xD8;
            }
        }
        const std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(chunk.size(), (mebibytes << 20) - at));
        testing::WriteBytesAt(path, at, std::span(chunk.data(), length));
    }
}

double SecondsOfCat(const std::string& image) {
    QElapsedTimer timer;
    timer.start();
    QProcess::execute("sh", {"-c", QString("cat '%1' > /dev/null").arg(QString::fromStdString(image))});
    return timer.nsecsElapsed() / 1e9;
}

template <typename Run>
double Best(Run run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) best = std::min(best, run());
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string image;
    std::int64_t mebibytes = 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--size-mib" && i + 1 < argc)
            mebibytes = std::stoll(argv[++i]);
        else
            image = argument;
    }
    testing::TempDir dir;
    if (image.empty()) {
        image = dir.file("bench.img");
        std::printf("making a %lld MiB FAT32 image...\n", static_cast<long long>(mebibytes));
        FillImage(image, mebibytes);
    }
    SecondsOfCat(image);  // into the page cache
    const double cat = Best([&] { return SecondsOfCat(image); });

    PosixPlatform platform(std::vector<std::string>{image});
    MessageBox::SetResponder([](const MessageBox::Shown&) { return true; });
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(1);
    window.cbxDrives_Click();
    const std::string sectors = window.SectorsCaption();
    std::size_t found = 0;
    const double gui = Best([&] {
        QElapsedTimer timer;
        timer.start();
        window.Toolbar1_ButtonClick(3);
        const double seconds = timer.nsecsElapsed() / 1e9;
        found = static_cast<std::size_t>(window.lstFiles->count());
        return seconds;
    });

    const double headless = Best([&] {
        testing::FakeHost host;
        host.drive = window.DriveString();
        host.sectorsCaption = sectors;
        FoundPhotoTable table;
        const std::string prefix = "Image";
        QElapsedTimer timer;
        timer.start();
        ScanWinNT({platform, host, table, prefix});
        return timer.nsecsElapsed() / 1e9;
    });

    std::printf("image: %s, %s sectors scanned, %zu photos listed\n", image.c_str(), sectors.c_str(), found);
    std::printf("cat:              %.3f s\n", cat);
    std::printf("scan, window:     %.3f s  ratio %.2f (target 1.5)\n", gui, gui / cat);
    std::printf("scan, headless:   %.3f s  ratio %.2f (target 1.5)\n", headless, headless / cat);
    return 0;
}
