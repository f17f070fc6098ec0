// How fast kelvara-cli scans and images a card, how much memory a scan of a large card takes,
// and how many photos a whole-card recovery gives back.
//
//   bin/kelvara-cli-bench [IMAGE] [--size-mib N] [--sparse-gib G] [--recovery-gib R] [--phone-gib P]
//                         [--raw-gib W] [--pieces K] [--pieces-scale S] [--keep-card PATH] [--keep-phone-card PATH]
//                         [--keep-raw-card PATH] [--keep-pieces-card PATH] [--compare-cli OTHER]
//                         [--slow-reader MB_PER_S]
//
// Without IMAGE it makes a FAT32 image of N MiB (1024 by default) full of data in /tmp. With
// it in the page cache it times `cat IMAGE > /dev/null` against `kelvara-cli scan`, and `cp`
// against `kelvara-cli image`, best of three each. Then it makes a sparse FAT32 image of
// G GiB (64 by default) and reports the peak memory of `kelvara-cli scan` on it, as GNU
// time measures it. Last come whole-card recoveries, each card with old data to its end:
//   - an R GiB card (4 by default) used for two camera sessions of camera-sized photos (2 to
//     8 MB), 150 older photos a GiB and 50 newer ones after them;
//   - a P GiB card of a phone (2 by default): HEIC photos, JPEGs and motion photos, PNG
//     screenshots, MOV and MP4 clips (made with heif-enc and ffmpeg);
//   - a W GiB card of a camera shooting RAW + JPEG (2 by default): DNG, CR2, NEF, ARW and RAF;
//   - a card in use (K photos, 200 by default, S times as wide and high as the tests' photos, with
//     clusters of 4 KiB, or 32 KiB for S > 1): every other one deleted, K / 2 new ones written
//     into the holes so they lie in pieces, quick-formatted; and the same photos laid one after
//     another, each in one piece: the save's extra time over that, for each photo in pieces, is
//     what putting one back together costs.
// On each it runs `kelvara-cli scan` and `kelvara-cli save`: the times against cat, how many
// files come back byte for byte (by format), what else was written, the peak memory; the files
// are saved into /dev/shm where it has room. OTHER, another build of kelvara-cli (an older
// one, say), saves each card too, and PhotoRec where it is installed. A size of 0 leaves that
// card out; --keep-*card leaves it at PATH, to try it in the window.
//
// With --slow-reader the page-cache figures are left out: each recovery card is served through
// FUSE (kelvara-test-fuse-card, root only) at MB_PER_S megabytes a second with no page cache, as a
// card reader gives it (90 for UHS-I, 300 for UHS-II; 0 for as fast as it can, to count bytes),
// and `kelvara-cli save` is timed against one `cat` of the card through the same reader, with the
// bytes each asked the card for against its size; PhotoRec beside it where installed.

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

#include "bench/bench_card.h"
#include "tests/support/fat_image.h"
#include "tests/support/fragmented_card.h"
#include "tests/support/test_card.h"
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

// What a recovery gave back: the files written that are among the files under a folder, byte
// for byte, by extension; and the other files there (the junk), with their bytes.
struct Recovery {
    int files = 0;
    std::map<std::string, std::pair<int, int>> byExtension;  // recovered, written
    int others = 0;
    std::uint64_t otherBytes = 0;
};
Recovery Recovered(const std::vector<bench::CardFile>& written, const std::string& folder) {
    std::map<std::uint64_t, std::vector<std::uint64_t>> found;  // fingerprint: the sizes of its files
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".xml" && entry.path().filename() != "report.xml")
            found[bench::Fingerprint(testing::ReadFileBytes(entry.path().string()))].push_back(entry.file_size());
    Recovery recovery;
    for (const bench::CardFile& file : written) {
        auto& [back, all] = recovery.byExtension[file.extension];
        ++all;
        auto& copies = found[file.fingerprint];
        if (copies.empty()) continue;
        copies.pop_back();
        ++back;
        ++recovery.files;
    }
    for (const auto& [fingerprint, sizes] : found)
        for (const std::uint64_t size : sizes) ++recovery.others, recovery.otherBytes += size;
    return recovery;
}

void PrintRecovery(const char* who, double seconds, double cat, const Recovery& recovery, std::size_t written, double peak) {
    std::printf("%-22s %.3f s  ratio %.2f to cat; %d of %zu files byte for byte", who, seconds, seconds / cat, recovery.files,
                written);
    if (recovery.byExtension.size() > 1 || !recovery.byExtension.begin()->first.empty()) {
        std::printf(" (");
        const char* separator = "";
        for (const auto& [extension, counts] : recovery.byExtension)
            std::printf("%s%s %d/%d", std::exchange(separator, ", "), extension.c_str() + 1, counts.first, counts.second);
        std::printf(")");
    }
    std::printf("; %d other files, %.1f MB; peak memory %.1f MiB\n", recovery.others, static_cast<double>(recovery.otherBytes) / 1e6,
                peak);
}

// PhotoRec's arguments to recover `card` into the folder `theirs`, made empty; nullopt, and said so,
// where it is not installed.
std::optional<QStringList> PhotoRecArguments(const std::string& card, const std::string& theirs) {
    if (QProcess::execute("sh", {"-c", "command -v photorec >/dev/null"}) != 0) {
        std::printf("PhotoRec:              not installed (Debian package testdisk), not compared\n");
        return std::nullopt;
    }
    std::filesystem::remove_all(theirs);
    std::filesystem::create_directories(theirs);
    return QStringList{"/log", "/d", QString::fromStdString(theirs + "/recup"), "/cmd", QString::fromStdString(card), "search"};
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

void MeasureOnSlowReader(const std::string& cli, const std::string& other, const std::string& card,
                         const std::vector<bench::CardFile>& written, std::int64_t gibibytes, double rate,
                         const testing::TempDir& dir);

// Scans and saves the card with kelvara-cli (and `other`, another build of it, when given), then
// PhotoRec where it is installed: times against cat, files back byte for byte, peak memory.
// With `slowRate`, through a slow reader instead (MeasureOnSlowReader).
void MeasureRecovery(const std::string& cli, const std::string& other, const std::string& card,
                     const std::vector<bench::CardFile>& written, std::int64_t gibibytes, const testing::TempDir& dir,
                     std::optional<double> slowRate) {
    if (slowRate) return MeasureOnSlowReader(cli, other, card, written, gibibytes, *slowRate, dir);
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
    std::printf("card: %s, %zu files written; saved into %s\n", card.c_str(), written.size(), out.c_str());
    std::printf("cat:                   %.3f s\n", cat);
    std::printf("kelvara-cli scan:      %.3f s  ratio %.2f to cat (target 1.2)\n", scan, scan / cat);
    const auto save = [&](const std::string& program, int runs) {
        double seconds = 1e300, peak = 0;
        for (int run = 0; run < runs; ++run) {
            std::filesystem::remove_all(out);
            const auto [taken, memory] = TimedRun(QString::fromStdString(program),
                                                  {"save", "--quiet", QString::fromStdString(card), QString::fromStdString(out)});
            seconds = std::min(seconds, taken);
            peak = std::max(peak, memory);
        }
        const Recovery recovery = Recovered(written, out);
        std::filesystem::remove_all(out);
        return std::make_tuple(seconds, peak, recovery);
    };
    const auto [seconds, peak, recovery] = save(cli, 3);
    PrintRecovery("kelvara-cli save:", seconds, cat, recovery, written.size(), peak);
    std::printf("cat into the folder:   %.3f s  ratio %.2f to cat; save ÷ this %.2f (the card's bytes written there once)\n",
                floor, floor / cat, seconds / floor);
    if (!other.empty()) {
        const double otherScan =
            bench::BestOfThree([&] { return bench::SecondsOf("'" + other + "' scan --quiet '" + card + "' > /dev/null"); });
        std::printf("the other build's scan: %.3f s  ratio %.2f to cat\n", otherScan, otherScan / cat);
        const auto [otherSeconds, otherPeak, otherRecovery] = save(other, 1);
        PrintRecovery("the other build's save:", otherSeconds, cat, otherRecovery, written.size(), otherPeak);
    }

    const std::string theirs = dir.file("photorec");
    const auto photorec = PhotoRecArguments(card, theirs);
    if (!photorec) return;
    const auto [taken, memory] = TimedRun("photorec", *photorec);
    PrintRecovery("PhotoRec:", taken, cat, Recovered(written, theirs), written.size(), memory);
    std::filesystem::remove_all(theirs);
}

// A card image served by kelvara-test-fuse-card at a card reader's rate, counting the bytes asked for.
class SlowReader {
public:
    SlowReader(const std::string& image, double megabytesPerSecond, const testing::TempDir& dir)
        : mount_(dir.file("slow-reader")), served_(dir.file("slow-reader-served")) {
        std::filesystem::create_directories(mount_);
        server_.start(QString::fromStdString(Beside("kelvara-test-fuse-card")),
                      {QString::fromStdString(image), QString::fromStdString(mount_), "--rate",
                       QString::number(megabytesPerSecond), "--served", QString::fromStdString(served_)});
        for (int tries = 0; tries < 250 && !std::filesystem::exists(path()) && server_.state() != QProcess::NotRunning; ++tries)
            QThread::msleep(20);
    }
    ~SlowReader() {
        server_.terminate();  // it unmounts as it ends
        if (!server_.waitForFinished(10000)) {
            server_.kill();
            server_.waitForFinished();
            QProcess::execute("umount", {"-l", QString::fromStdString(mount_)});
        }
    }
    bool ok() const { return std::filesystem::exists(path()); }
    std::string path() const { return mount_ + "/card.img"; }
    // Bytes served since the reader was mounted.
    std::uint64_t Served() const {
        std::ifstream in(served_);
        std::uint64_t bytes = 0;
        in >> bytes;
        return bytes;
    }
    static std::string Beside(const char* program) {
        return QCoreApplication::applicationDirPath().toStdString() + "/" + program;
    }

private:
    std::string mount_, served_;
    QProcess server_;
};

// The bytes of the files under a folder.
std::uint64_t BytesUnder(const std::string& folder) {
    std::uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) bytes += entry.file_size();
    return bytes;
}

// What the window asks of the card: Scan, then Save All (the save after the scan, which
// `kelvara-cli save --read-twice` runs), against the bytes it saved; and Image Disk against the
// card. `run` runs a command through the reader: its seconds, bytes asked for and peak memory.
template <class Run>
void MeasureWindowWay(const std::string& cli, const SlowReader& reader, const std::string& out, const Run& run, double size) {
    const QString program = QString::fromStdString(cli), card = QString::fromStdString(reader.path());
    const auto [scanSeconds, scanBytes, scanPeak] = run(program, {"scan", "--quiet", card});
    std::filesystem::remove_all(out);
    const auto [seconds, bytes, peak] = run(program, {"save", "--quiet", "--read-twice", card, QString::fromStdString(out)});
    const double saved = static_cast<double>(BytesUnder(out));
    std::filesystem::remove_all(out);
    std::printf("as the window does it: Scan asked the card for %.3f × its bytes; Save All after it for %.3f × the "
                "bytes it saved (%.0f MB; target 1.05), %.3f s\n",
                scanBytes / size, saved > 0 ? (bytes - scanBytes) / saved : 0.0, saved / 1e6, seconds - scanSeconds);
    std::filesystem::create_directories(out);
    const auto [imageSeconds, imageBytes, imagePeak] = run(program, {"image", "--quiet", card, QString::fromStdString(out)});
    std::filesystem::remove_all(out);
    std::printf("%-22s Image Disk asked the card for %.3f × its bytes (target 1), %.3f s\n", "", imageBytes / size,
                imageSeconds);
}

// The card read through a slow reader: `kelvara-cli save` and PhotoRec against one `cat`, in time
// and in bytes asked of the card.
void MeasureOnSlowReader(const std::string& cli, const std::string& other, const std::string& card,
                         const std::vector<bench::CardFile>& written, std::int64_t gibibytes, double rate,
                         const testing::TempDir& dir) {
    if (!testing::RunningAsRoot() || !std::filesystem::exists("/dev/fuse") ||
        !std::filesystem::exists(SlowReader::Beside("kelvara-test-fuse-card"))) {
        std::printf("a slow reader needs root, /dev/fuse and kelvara-test-fuse-card (libfuse3-dev): not measured\n");
        return;
    }
    bench::WarmUp(card);  // the reader's pace, not the disk under the image, is what is measured
    const SlowReader reader(card, rate, dir);
    if (!reader.ok()) {
        std::printf("the card could not be served through FUSE: not measured\n");
        return;
    }
    const double size = static_cast<double>(std::filesystem::file_size(card));
    // One run of a command through the reader: its seconds, the bytes it asked for, its peak memory.
    const auto run = [&](const QString& program, const QStringList& arguments) {
        const std::uint64_t before = reader.Served();
        const auto [seconds, peak] = TimedRun(program, arguments);
        return std::make_tuple(seconds, static_cast<double>(reader.Served() - before), peak);
    };
    const auto [cat, catBytes, catPeak] = run("sh", {"-c", QString::fromStdString("cat '" + reader.path() + "' > /dev/null")});
    std::printf("card: %s, %zu files written, %.0f MB, served at %s\n", card.c_str(), written.size(), size / 1e6,
                rate > 0 ? (std::to_string(static_cast<int>(rate)) + " MB/s").c_str() : "full speed");
    std::printf("cat:                   %.3f s, asked the card for %.3f × its bytes (peak memory %.1f MiB)\n", cat,
                catBytes / size, catPeak);
    const std::string out = RecoveryFolder(dir, gibibytes);
    const auto save = [&](const char* who, const std::string& program) {
        std::filesystem::remove_all(out);
        const auto [seconds, bytes, peak] =
            run(QString::fromStdString(program), {"save", "--quiet", QString::fromStdString(reader.path()), QString::fromStdString(out)});
        PrintRecovery(who, seconds, cat, Recovered(written, out), written.size(), peak);
        std::printf("%-22s asked the card for %.3f × its bytes (target 1.05)\n", "", bytes / size);
        std::filesystem::remove_all(out);
    };
    std::printf("(time ratios against that cat; target for the save 1.1)\n");
    save("kelvara-cli save:", cli);
    if (!other.empty()) save("the other build's save:", other);
    MeasureWindowWay(cli, reader, out, run, size);
    const std::string theirs = dir.file("photorec");
    const auto photorec = PhotoRecArguments(reader.path(), theirs);
    if (!photorec) return;
    const auto [seconds, bytes, peak] = run("photorec", *photorec);
    PrintRecovery("PhotoRec:", seconds, cat, Recovered(written, theirs), written.size(), peak);
    std::printf("%-22s asked the card for %.3f × its bytes\n", "", bytes / size);
    std::filesystem::remove_all(theirs);
}

// A card in use, whose newer photos lie in pieces, against the same photos each in one piece.
void MeasurePieces(const std::string& cli, const std::string& other, int count, int scale, const std::string& keep,
                   const testing::TempDir& dir, std::optional<double> slowRate) {
    const std::string card = dir.file("pieces.img"), laid = dir.file("laid.img");
    std::printf("\nmaking a card in use of %d photos, the newer ones written into the holes of deleted ones...\n", count);
    const int clusterSectors = scale > 1 ? 64 : 8;
    // FAT32 takes at least 65,525 clusters.
    const std::int64_t sectors = std::max<std::int64_t>(70000 * clusterSectors, static_cast<std::int64_t>(count) * 400 * scale * scale);
    const testing::FragmentedCard made = testing::MakeFragmentedCard(card, count, 11, sectors, clusterSectors, scale);
    std::vector<bench::CardFile> written;
    int pieced = 0, most = 1;
    for (std::size_t i = 0; i < made.photos.size(); ++i) {
        written.push_back({bench::Fingerprint(made.photos[i]), ""});
        pieced += made.pieces[i] > 1;
        most = std::max(most, made.pieces[i]);
    }
    std::printf("%zu photos on it, %d of them in 2 to %d pieces, clusters of %llu bytes\n", made.photos.size(), pieced, most,
                static_cast<unsigned long long>(made.clusterBytes));
    MeasureRecovery(cli, other, card, written, 1, dir, slowRate);
    if (slowRate) {
        if (!keep.empty()) std::filesystem::rename(card, keep);
        std::filesystem::remove(card);
        return;
    }

    testing::MakeFatImage(laid, 32, sectors, clusterSectors);
    testing::LayFiles(laid, testing::ReadGeometryWithMinfo(laid).dataStartSector, made.photos);
    bench::WarmUp(card);
    bench::WarmUp(laid);
    const std::string out = dir.file("pieces-out");
    const auto saving = [&](const std::string& image) {
        return bench::BestOfThree([&] {
            std::filesystem::remove_all(out);
            return bench::SecondsOf("'" + cli + "' save --quiet '" + image + "' '" + out + "' > /dev/null 2>&1");
        });
    };
    const double inPieces = saving(card), inOne = saving(laid);
    std::filesystem::remove_all(out);
    std::printf("save, photos in pieces: %.3f s; the same photos each in one piece: %.3f s; ratio %.2f; "
                "%.1f ms more for each photo in pieces\n",
                inPieces, inOne, inPieces / inOne, pieced > 0 ? (inPieces - inOne) * 1000 / pieced : 0.0);
    if (!keep.empty()) std::filesystem::rename(card, keep);
    std::filesystem::remove(card);
    std::filesystem::remove(laid);
}

// Scan and image of a card in the page cache against cat and cp, and the peak memory of a scan of a
// sparse card.
void MeasureInPageCache(const std::string& cli, std::vector<char*>& rest, std::int64_t sparseGib,
                        const testing::TempDir& dir) {
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
}

}  // namespace

int main(int argc, char** argv) {
    // The card's photos are drawn, with text: that takes a GUI application, offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/kelvara-cli";
    std::int64_t sparseGib = 64, recoveryGib = 4, phoneGib = 2, rawGib = 2, pieces = 200, piecesScale = 1;
    std::string keptCard, keptPhoneCard, keptRawCard, keptPiecesCard, other;
    std::optional<double> slowRate;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--sparse-gib" && i + 1 < argc)
            sparseGib = std::stoll(argv[++i]);
        else if (argument == "--recovery-gib" && i + 1 < argc)
            recoveryGib = std::stoll(argv[++i]);
        else if (argument == "--phone-gib" && i + 1 < argc)
            phoneGib = std::stoll(argv[++i]);
        else if (argument == "--raw-gib" && i + 1 < argc)
            rawGib = std::stoll(argv[++i]);
        else if (argument == "--pieces" && i + 1 < argc)
            pieces = std::stoll(argv[++i]);
        else if (argument == "--pieces-scale" && i + 1 < argc)
            piecesScale = std::stoll(argv[++i]);
        else if (argument == "--keep-card" && i + 1 < argc)
            keptCard = argv[++i];
        else if (argument == "--keep-phone-card" && i + 1 < argc)
            keptPhoneCard = argv[++i];
        else if (argument == "--keep-pieces-card" && i + 1 < argc)
            keptPiecesCard = argv[++i];
        else if (argument == "--keep-raw-card" && i + 1 < argc)
            keptRawCard = argv[++i];
        else if (argument == "--compare-cli" && i + 1 < argc)
            other = argv[++i];
        else if (argument == "--slow-reader" && i + 1 < argc)
            slowRate = std::stod(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    testing::TempDir dir;
    if (!slowRate) MeasureInPageCache(cli, rest, sparseGib, dir);
    if (recoveryGib > 0) {
        const std::string card = keptCard.empty() ? dir.file("sessions.img") : keptCard;
        std::printf("\nmaking a %lld GiB card of two sessions...\n", static_cast<long long>(recoveryGib));
        std::vector<bench::CardFile> written;
        for (const std::uint64_t photo : bench::MakeTwoSessionCard(card, recoveryGib, static_cast<int>(150 * recoveryGib),
                                                                   static_cast<int>(50 * recoveryGib)))
            written.push_back({photo, ""});
        MeasureRecovery(cli, other, card, written, recoveryGib, dir, slowRate);
        if (keptCard.empty()) std::filesystem::remove(card);
    }
    if (phoneGib > 0) {
        const std::string card = keptPhoneCard.empty() ? dir.file("phone.img") : keptPhoneCard;
        std::printf("\nmaking a %lld GiB card of a phone...\n", static_cast<long long>(phoneGib));
        const std::string scratch = dir.file("phone-files");
        std::filesystem::create_directories(scratch);
        const auto written = bench::MakePhoneCard(card, phoneGib, scratch);
        std::filesystem::remove_all(scratch);
        MeasureRecovery(cli, other, card, written, phoneGib, dir, slowRate);
        if (keptPhoneCard.empty()) std::filesystem::remove(card);
    }
    if (rawGib > 0) {
        const std::string card = keptRawCard.empty() ? dir.file("raw.img") : keptRawCard;
        std::printf("\nmaking a %lld GiB card of a camera shooting RAW + JPEG...\n", static_cast<long long>(rawGib));
        MeasureRecovery(cli, other, card, bench::MakeRawCard(card, rawGib), rawGib, dir, slowRate);
        if (keptRawCard.empty()) std::filesystem::remove(card);
    }
    if (pieces > 0)
        MeasurePieces(cli, other, static_cast<int>(pieces), static_cast<int>(piecesScale), keptPiecesCard, dir, slowRate);
    return 0;
}
