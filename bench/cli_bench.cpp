// How fast kelvara-cli scans and images a card, how much memory a scan of a large card takes,
// and how many photos a whole-card recovery gives back.
//
//   bin/kelvara-cli-bench [IMAGE] [--size-mib N] [--sparse-gib G] [--recovery-gib R] [--keep-card PATH]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) full of data in /tmp. With
// it in the page cache it times `cat IMAGE > /dev/null` against `kelvara-cli scan`, and `cp`
// against `kelvara-cli image`, best of three each. Then it makes a sparse FAT32 image of
// G GiB (64 by default) and reports the peak memory of `kelvara-cli scan` on it, as GNU
// time measures it. Last it makes an R GiB card (4 by default) used for two camera sessions of
// camera-sized photos (2 to 8 MB), 150 older photos a GiB and 50 newer ones after them, with
// old data to its end, and runs `kelvara-cli scan` and `kelvara-cli save` on it: the times
// against cat, how many photos come back byte for byte, the peak memory; the photos are saved
// into /dev/shm where it has room. Where PhotoRec is installed it is run on the same card.
// --keep-card leaves that card at PATH, to try it in the window.

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <filesystem>
#include <map>

#include "bench/bench_card.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"

namespace {

using namespace kelvara;

// Runs a command under GNU time: its seconds and its peak resident memory in MiB.
std::pair<double, double> TimedRun(const QString& program, const QStringList& arguments) {
    QProcess timed;
    QElapsedTimer timer;
    timer.start();
    timed.start("/usr/bin/time", QStringList{"-f", "%M", program} + arguments);
    timed.waitForFinished(-1);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const QString peak = QString::fromUtf8(timed.readAllStandardError()).trimmed().split('\n').last();
    return {seconds, peak.toDouble() / 1024.0};
}

// How many of the written photos are among the files under `folder`, byte for byte.
int Recovered(const std::vector<std::uint64_t>& written, const std::string& folder) {
    std::map<std::uint64_t, int> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) ++found[bench::Fingerprint(testing::ReadFileBytes(entry.path().string()))];
    int recovered = 0;
    for (const std::uint64_t photo : written)
        if (found[photo]-- > 0) ++recovered;
    return recovered;
}

// Where the photos are saved: in RAM (/dev/shm) where it has room for them, so that what is
// measured is the program and not the disk it writes to.
std::string RecoveryFolder(const testing::TempDir& dir, std::int64_t gibibytes) {
    std::error_code error;
    const auto space = std::filesystem::space("/dev/shm", error);
    if (!error && space.available > static_cast<std::uintmax_t>(gibibytes + 1) << 30)
        return "/dev/shm/kelvara-bench-" + std::to_string(QCoreApplication::applicationPid());
    return dir.file("recovered");
}

void WholeCardRecovery(const std::string& cli, std::int64_t gibibytes, const std::string& card,
                       const testing::TempDir& dir) {
    std::printf("making a %lld GiB card of two sessions...\n", static_cast<long long>(gibibytes));
    const std::vector<std::uint64_t> written = bench::MakeTwoSessionCard(card, gibibytes, static_cast<int>(150 * gibibytes),
                                                                        static_cast<int>(50 * gibibytes));
    bench::WarmUp(card);
    const double cat = bench::BestOfThree([&] { return bench::SecondsOf("cat '" + card + "' > /dev/null"); });
    const double scan =
        bench::BestOfThree([&] { return bench::SecondsOf("'" + cli + "' scan --quiet '" + card + "' > /dev/null"); });
    const std::string out = RecoveryFolder(dir, gibibytes);
    // Writing the photos' bytes into the folder at all costs about this much: the floor under any save.
    std::filesystem::create_directories(out);
    const double floor = bench::BestOfThree([&] {
        std::filesystem::remove(out + "/card");
        return bench::SecondsOf("cat '" + card + "' > '" + out + "/card'");
    });
    std::filesystem::remove_all(out);
    double seconds = 1e300, peak = 0;
    for (int run = 0; run < 3; ++run) {
        std::filesystem::remove_all(out);
        const auto [taken, memory] = TimedRun(QString::fromStdString(cli),
                                              {"save", "--quiet", QString::fromStdString(card), QString::fromStdString(out)});
        seconds = std::min(seconds, taken);
        peak = std::max(peak, memory);
    }
    std::printf("card: %s, %zu photos written; saved into %s\n", card.c_str(), written.size(), out.c_str());
    std::printf("cat:                   %.3f s\n", cat);
    std::printf("kelvara-cli scan:      %.3f s  ratio %.2f to cat (target 1.2)\n", scan, scan / cat);
    std::printf("kelvara-cli save:      %.3f s  ratio %.2f to cat; %d of %zu photos byte for byte; peak memory %.1f MiB (target 100)\n",
                seconds, seconds / cat, Recovered(written, out), written.size(), peak);
    std::printf("cat into the folder:   %.3f s  ratio %.2f to cat; save ÷ this %.2f (the card's bytes written there once)\n",
                floor, floor / cat, seconds / floor);
    std::filesystem::remove_all(out);

    if (QProcess::execute("sh", {"-c", "command -v photorec >/dev/null"}) != 0) {
        std::printf("PhotoRec:              not installed (Debian package testdisk), not compared\n");
        return;
    }
    const std::string theirs = dir.file("photorec");
    std::filesystem::create_directories(theirs);
    const auto [taken, memory] = TimedRun("photorec", {"/log", "/d", QString::fromStdString(theirs + "/recup"), "/cmd",
                                                       QString::fromStdString(card), "search"});
    std::printf("PhotoRec:              %.3f s  ratio %.2f to cat; %d of %zu photos byte for byte; peak memory %.1f MiB\n",
                taken, taken / cat, Recovered(written, theirs), written.size(), memory);
}

}  // namespace

int main(int argc, char** argv) {
    // The card's photos are drawn, with text: that takes a GUI application, offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/kelvara-cli";
    std::int64_t sparseGib = 64, recoveryGib = 4;
    std::string keptCard;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--sparse-gib" && i + 1 < argc)
            sparseGib = std::stoll(argv[++i]);
        else if (argument == "--recovery-gib" && i + 1 < argc)
            recoveryGib = std::stoll(argv[++i]);
        else if (argument == "--keep-card" && i + 1 < argc)
            keptCard = argv[++i];
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
        std::filesystem::remove(sparse);
    }
    if (recoveryGib > 0) WholeCardRecovery(cli, recoveryGib, keptCard.empty() ? dir.file("sessions.img") : keptCard, dir);
    return 0;
}
