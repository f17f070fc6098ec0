// How fast kelvara-cli scans and images a card, and how much memory a scan of a large card
// takes.
//
//   bin/kelvara-cli-bench [IMAGE] [--size-mib N] [--sparse-gib G]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) full of data in /tmp. With
// it in the page cache it times `cat IMAGE > /dev/null` against `kelvara-cli scan`, and `cp`
// against `kelvara-cli image`, best of three each. Then it makes a sparse FAT32 image of
// G GiB (64 by default) and reports the peak memory of `kelvara-cli scan` on it, as GNU
// time measures it.

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>
#include <filesystem>

#include "bench/bench_card.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

int main(int argc, char** argv) {
    using namespace kelvara;
    QCoreApplication app(argc, argv);
    const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/kelvara-cli";
    std::int64_t sparseGib = 64;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--sparse-gib" && i + 1 < argc)
            sparseGib = std::stoll(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    testing::TempDir dir;
    const std::string image = bench::CardFromArguments(static_cast<int>(rest.size()), rest.data(), dir.path());

    const double cat = bench::BestOfThree([&] { return bench::SecondsOf("cat '" + image + "' > /dev/null"); });
    const double scan =
        bench::BestOfThree([&] { return bench::SecondsOf("'" + cli + "' scan --quiet '" + image + "' > /dev/null"); });
    const std::string copy = dir.file("copy.img");
    const double cp = bench::BestOfThree([&] {
        std::filesystem::remove(copy);
        return bench::SecondsOf("cp '" + image + "' '" + copy + "'");
    });
    std::filesystem::remove(copy);
    const double made = bench::BestOfThree([&] {
        std::filesystem::remove(dir.file("TOBRN.IMG"));
        return bench::SecondsOf("'" + cli + "' image --quiet '" + image + "' '" + dir.path() + "' > /dev/null");
    });
    std::filesystem::remove(dir.file("TOBRN.IMG"));

    std::printf("image: %s\n", image.c_str());
    std::printf("cat:                   %.3f s\n", cat);
    std::printf("kelvara-cli scan:      %.3f s  ratio %.2f (target 1.2)\n", scan, scan / cat);
    std::printf("cp:                    %.3f s\n", cp);
    std::printf("kelvara-cli image:     %.3f s  ratio %.2f (target 2)\n", made, made / cp);

    if (sparseGib > 0) {
        const std::string sparse = dir.file("sparse.img");
        testing::MakeFatImage(sparse, 32, sparseGib << 21, 64);
        QProcess timed;
        timed.start("/usr/bin/time", {"-f", "%M", QString::fromStdString(cli), "scan", "--quiet",
                                      QString::fromStdString(sparse)});
        timed.waitForFinished(-1);
        const QString peak = QString::fromUtf8(timed.readAllStandardError()).trimmed().split('\n').last();
        std::printf("kelvara-cli scan of a %lld GiB sparse card: peak memory %.1f MiB (target 100)\n",
                    static_cast<long long>(sparseGib), peak.toDouble() / 1024.0);
    }
    return 0;
}
