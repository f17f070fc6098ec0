// Removable drives from the desktop's disk service: a stand-in for udisks2 on a private bus
// presents drives backed by card images. The platform lists them with their letters and mounts,
// and a normal user scans a card through the descriptor the service hands over.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <filesystem>

#include "cli/source.h"
#include "platform/drive_string.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/mock_udisks.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;

#define SKIP_WITHOUT(bus)                                                             \
    if (!(bus).unavailable().empty()) GTEST_SKIP() << (bus).unavailable()

std::string Target(Platform& platform, const std::string& drive) { return cli::DriveTarget(platform, drive + "\\"); }

TEST(PlatformUdisks, RemovableDrivesAreListedWithTheirLettersAndMountsAndFollowTheBus) {
    testing::MockUdisks udisks;
    SKIP_WITHOUT(udisks);
    const testing::TempDir& dir = udisks.dir();
    // Device paths named as the kernel names them, so the service's order is the kernel's.
    for (const char* name : {"sda", "sdb", "sdc", "sdc1", "sdc2", "sr0"}) testing::MakeFatImage(dir.file(name), 12, 4000);
    const std::string media = dir.file("media");
    fs::create_directory(media);
    udisks.Command("add sda fixed " + dir.file("sda"));    // the system disk: never listed
    udisks.Command("add sr0 optical " + dir.file("sr0"));  // removable, but holds no card
    udisks.Command("add sdb card " + dir.file("sdb") + " " + media);
    udisks.Command("add sdc usb " + dir.file("sdc"));  // a stick with a table: one drive a partition
    udisks.Command("part sdc 1 " + dir.file("sdc1"));
    udisks.Command("part sdc 2 " + dir.file("sdc2"));
    udisks.Command("add sdd reader " + dir.file("sdd"));  // a card reader with no card

    PosixPlatform platform({{}, VER_PLATFORM_WIN32_NT, dir.path(), "/"});
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "Z:\\"}));
    EXPECT_EQ(Target(platform, "D:"), dir.file("sdb"));
    EXPECT_EQ(Target(platform, "E:"), dir.file("sdc1"));
    EXPECT_EQ(Target(platform, "F:"), dir.file("sdc2"));
    for (const char* root : {"D:\\", "E:\\", "F:\\", "G:\\"}) EXPECT_EQ(platform.GetDriveTypeA(root), DRIVE_REMOVABLE);

    DWORD perCluster = 0, perSector = 0, free = 0, total = 0;
    const auto geometry = testing::ReadGeometryWithMinfo(dir.file("sdc2"));
    ASSERT_TRUE(platform.GetDiskFreeSpaceA("F:\\", perCluster, perSector, free, total));
    EXPECT_EQ(std::int64_t{perCluster} * total, geometry.sectorsPerCluster * geometry.totalClusters);
    EXPECT_FALSE(platform.GetDiskFreeSpaceA("G:\\", perCluster, perSector, free, total));
    EXPECT_EQ(platform.GetLastError(), ERROR_NOT_READY);

    // The card's root is where the service says it is mounted: the wipe works there.
    const HANDLE note = platform.CreateFileA("D:\\NOTE.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_NE(note, INVALID_HANDLE_VALUE);
    platform.CloseHandle(note);
    EXPECT_TRUE(fs::exists(media + "/NOTE.TXT"));

    // Cards come and go: a letter stays with its drive while it is away, a new one takes the next.
    udisks.Command("remove sdb");
    EXPECT_EQ(DriveStrings(platform), (std::vector<std::string>{"C:\\", "E:\\", "F:\\", "G:\\", "Z:\\"}));
    EXPECT_EQ(platform.GetDriveTypeA("D:\\"), DRIVE_NO_ROOT_DIR);
    udisks.Command("add sde card " + dir.file("sda"));
    udisks.Command("add sdb card " + dir.file("sdb"));
    EXPECT_EQ(DriveStrings(platform),
              (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "H:\\", "Z:\\"}));
    EXPECT_EQ(Target(platform, "D:"), dir.file("sdb"));
    EXPECT_EQ(Target(platform, "H:"), dir.file("sda"));
}

// kelvara-cli run by a user who may not open the card's device himself.
class NormalUser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        udisks = new testing::MockUdisks;
        if (!udisks->unavailable().empty()) return;
        const testing::TempDir& dir = udisks->dir();
        card = new testing::TestCard(testing::MakePhotoCard(dir.file("sdb"), 12));
        ::chmod(card->image.c_str(), 0600);  // as a card reader's device is to all but root and disk
        // The build folder may be closed to other users: the program goes where they may run it.
        cli = dir.file("kelvara-cli");
        fs::copy_file(fs::absolute(::testing::internal::GetArgvs().at(0)).parent_path() / "kelvara-cli", cli);
        fs::permissions(cli, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    }
    static void TearDownTestSuite() {
        delete card;
        delete udisks;
        card = nullptr;
        udisks = nullptr;
    }
    void SetUp() override {
        SKIP_WITHOUT(*udisks);
        if (!testing::RunningAsRoot()) GTEST_SKIP() << "only root can run a program as another user (runuser)";
        if (AsUser({"/bin/true"}).status != 0) GTEST_SKIP() << "runuser cannot run a program as nobody here";
        // Else the test would prove nothing.
        ASSERT_NE(AsUser({"/usr/bin/test", "-r", QString::fromStdString(card->image)}).status, 0);
    }

    struct Run {
        int status = -1;
        std::string out, err;
    };
    static Run AsUser(const QStringList& command, const std::string& busAddress = {}) {
        QProcess process;
        QProcessEnvironment environment = udisks->environment();
        if (!busAddress.empty()) environment.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(busAddress));
        process.setProcessEnvironment(environment);
        process.start("runuser", QStringList{"-u", "nobody", "--"} + command);
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    static testing::MockUdisks* udisks;
    static testing::TestCard* card;
    static std::string cli;
};
testing::MockUdisks* NormalUser::udisks = nullptr;
testing::TestCard* NormalUser::card = nullptr;
std::string NormalUser::cli;

TEST_F(NormalUser, ScansTheCardThroughTheDescriptorTheServiceHandsOver) {
    QProcess root;
    root.start(QString::fromStdString(cli), {"scan", QString::fromStdString(card->image), "--quiet"});
    root.waitForFinished(120000);
    const std::string expected = root.readAllStandardOutput().toStdString();
    ASSERT_NE(expected.find("Kelvara's found 12 Files"), std::string::npos) << expected;

    udisks->Command("add sdb card " + card->image);
    // Through OpenDevice, and through OpenForBackup where the service is older than that. The
    // descriptor is asked for once a run, not at every read: polkit may ask for a password.
    for (const char* legacy : {"no", "yes"}) {
        udisks->Command(std::string("legacy ") + legacy);
        const int before = std::stoi(udisks->Command("opens"));
        const Run run = AsUser({QString::fromStdString(cli), "scan", "D:", "--quiet", "--family", "nt"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, expected) << "legacy " << legacy;
        EXPECT_EQ(std::stoi(udisks->Command("opens")) - before, 1);
    }
    udisks->Command("legacy no");
    udisks->Command("remove sdb");
}

TEST_F(NormalUser, ARefusalOrNoServiceSaysWhichDriveAndWhatToDo) {
    udisks->Command("add sdb card " + card->image);
    udisks->Command("refuse yes");
    for (const char* verb : {"scan", "image"}) {
        QStringList arguments{QString::fromStdString(cli), verb, "D:"};
        if (std::string(verb) == "image") arguments << QString::fromStdString(udisks->dir().file("out"));
        const Run refused = AsUser(arguments);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("D:"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find(card->image), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("Not authorized"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("run Kelvara as a member of the disk group, or allow access when asked"),
                  std::string::npos)
            << refused.err;
    }
    udisks->Command("refuse no");
    udisks->Command("remove sdb");

    // A server without the service: the image given is closed to the user, and that is said.
    const Run alone = AsUser({QString::fromStdString(cli), "scan", QString::fromStdString(card->image)},
                             "unix:path=" + udisks->dir().file("no-bus-here"));
    EXPECT_EQ(alone.status, 1);
    EXPECT_NE(alone.err.find(card->image + " may not be read by this user: run Kelvara as a member of the disk group"),
              std::string::npos)
        << alone.err;
}

}  // namespace
}  // namespace kelvara
