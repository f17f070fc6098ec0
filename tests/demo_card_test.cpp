// The demo card maker of `scripts/run demo`, run as a user runs it: its usage, an option never
// taken for the card's name, and a card whose deleted photos a scan finds.

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "diskio/get_total_sectors.h"
#include "platform/posix/posix_platform.h"
#include "scan/scan.h"
#include "tests/support/fake_progress.h"
#include "tests/support/run_commands.h"
#include "tests/support/temp_dir.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;

struct MakerRun {
    int exitCode = -1;
    QString out, err;
};

MakerRun MakeDemoCard(const std::string& folder, const QStringList& arguments) {
    const fs::path maker =
        fs::absolute(::testing::internal::GetArgvs().at(0)).parent_path() / "kelvara-make-demo-card";
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(folder));
    process.start(QString::fromStdString(maker.string()), arguments);
    MakerRun run;
    if (!process.waitForFinished(120000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

TEST(DemoCard, HelpGivesTheUsageAndOptionsAreNeverMadeIntoACard) {
    testing::TempDir dir;
    const MakerRun help = MakeDemoCard(dir.path(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("usage: ")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("IMAGE [PHOTOS]"));

    for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"card.img", "-v"}, QStringList{"card.img", "x"},
                                     QStringList{}}) {
        const MakerRun refused = MakeDemoCard(dir.path(), wrong);
        EXPECT_EQ(refused.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("usage: ")) << refused.err.toStdString();
    }
    EXPECT_TRUE(fs::is_empty(dir.path())) << "a file was made";
}

TEST(DemoCard, MakesACardWhoseDeletedPhotosAScanFinds) {
    testing::TempDir dir;
    const MakerRun made = MakeDemoCard(dir.path(), {"card.img", "3"});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(made.out.contains("3 photos copied to DCIM and deleted again")) << made.out.toStdString();

    PosixPlatform::Options options;
    options.images.push_back({dir.file("card.img")});
    options.home = dir.path();
    PosixPlatform platform(options);
    testing::FakeProgress progress;
    FoundPhotoTable table;
    testing::ScanNt(platform, progress, table, "D:\\", GetTotalSectors(platform, "D:\\"));
    EXPECT_EQ(table.size(), 3u);
}

}  // namespace
}  // namespace kelvara
