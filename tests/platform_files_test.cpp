// Files, folders and the system through the POSIX platform: DOS path translation, creation
// dispositions and links, searches, the private temporary folder, the registry answer and
// starting a program.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/dos_path.h"
#include "platform/posix/posix_platform.h"
#include "platform/wildcard.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace kelvara {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class PlatformFiles : public ::testing::Test {
protected:
    PlatformFiles() : platform_({{}, VER_PLATFORM_WIN32_NT, home_.path(), home_.path()}) {}

    std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    HANDLE Open(const std::string& name, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        return platform_.CreateFileA(name, access, 0, disposition, 0);
    }

    TempDir home_;
    PosixPlatform platform_;
};

TEST_F(PlatformFiles, DosPathsMapToTheDriveFolders) {
    const DriveFolderLookup folders = [&](char letter) -> std::optional<std::string> {
        if (letter == 'C') return home_.path();
        if (letter == 'Z') return std::string("/");
        if (letter == 'E') return std::string();  // a card that is not mounted
        return std::nullopt;
    };
    DWORD error = 0;
    EXPECT_EQ(DosToPosixPath("C:\\Out\\Image001.JPG", folders, error), home_.path() + "/Out/Image001.JPG");
    EXPECT_EQ(DosToPosixPath("c:/Out", folders, error), home_.path() + "/Out");
    EXPECT_EQ(DosToPosixPath("C:\\", folders, error), home_.path());
    EXPECT_EQ(DosToPosixPath("Z:\\etc\\hosts", folders, error), "/etc/hosts");
    EXPECT_EQ(DosToPosixPath("C:\\..\\..\\etc\\passwd", folders, error), home_.path() + "/etc/passwd");
    EXPECT_EQ(DosToPosixPath("\\\\.\\C:\\a", folders, error), home_.path() + "/a");
    EXPECT_EQ(DosToPosixPath("/var/tmp/x", folders, error), "/var/tmp/x");
    EXPECT_EQ(DosToPosixPath("out\\TB.jpg", folders, error), "out/TB.jpg");
    EXPECT_FALSE(DosToPosixPath("Q:\\x", folders, error));
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DosToPosixPath("E:\\Wipe.img", folders, error));

    EXPECT_EQ(ParseDeviceName("\\\\.\\e:")->letter, 'E');
    EXPECT_EQ(ParseDeviceName("\\\\.\\vwin32")->kind, DeviceName::Kind::Vwin32);
    EXPECT_FALSE(ParseDeviceName("E:\\x"));
}

TEST_F(PlatformFiles, CreationDispositions) {
    const std::string file = home_.file("a.bin");
    HANDLE h = Open("C:\\a.bin", CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::vector<std::uint8_t> bytes = {'h', 'e', 'l', 'l', 'o'};
    DWORD written = 0;
    ASSERT_TRUE(platform_.WriteFile(h, bytes, written));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(platform_.SetFilePointer(h, -2, nullptr, FILE_END), 3u);
    std::vector<std::uint8_t> tail(10);
    DWORD read = 0;
    ASSERT_TRUE(platform_.ReadFile(h, tail, read));
    EXPECT_EQ(read, 2u);
    platform_.CloseHandle(h);

    EXPECT_EQ(Open("C:\\a.bin", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform_.GetLastError(), ERROR_FILE_EXISTS);
    h = Open("C:\\a.bin", OPEN_ALWAYS);
    EXPECT_EQ(platform_.GetLastError(), ERROR_ALREADY_EXISTS);
    platform_.CloseHandle(h);
    EXPECT_EQ(Read(file), "hello");
    h = Open("C:\\a.bin", CREATE_ALWAYS);
    EXPECT_EQ(platform_.GetLastError(), ERROR_ALREADY_EXISTS);
    platform_.CloseHandle(h);
    EXPECT_EQ(Read(file), "");

    EXPECT_EQ(Open("C:\\none.bin", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform_.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("C:\\no\\where.bin", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform_.GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open("C:\\none.bin", TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    fs::create_directory(home_.file("folder"));
    EXPECT_EQ(Open("C:\\folder", OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform_.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open("Q:\\a.bin", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
}

TEST_F(PlatformFiles, LinksAreNeverFollowedToDeleteOrCreate) {
    Write(home_.file("target.txt"), "keep");
    fs::create_symlink(home_.file("target.txt"), home_.file("link.txt"));
    fs::create_symlink(home_.file("planted.txt"), home_.file("dangling.txt"));

    EXPECT_EQ(Open("C:\\link.txt", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("C:\\dangling.txt", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(home_.file("planted.txt")));
    EXPECT_EQ(platform_.GetFileAttributesA("C:\\link.txt"), FILE_ATTRIBUTE_REPARSE_POINT);

    EXPECT_TRUE(platform_.DeleteFileA("C:\\link.txt"));
    EXPECT_FALSE(fs::is_symlink(home_.file("link.txt")));
    EXPECT_EQ(Read(home_.file("target.txt")), "keep");

    fs::create_directory(home_.file("DCIM"));
    EXPECT_FALSE(platform_.DeleteFileA("C:\\DCIM"));
    EXPECT_EQ(platform_.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(platform_.DeleteFileA("C:\\gone.txt"));
    EXPECT_EQ(platform_.GetLastError(), ERROR_FILE_NOT_FOUND);

    // A rename takes the place of a link of the new name and leaves its target as it was; without
    // leave to replace, a name in use is refused, and a folder is never replaced.
    Write(home_.file("new.tmp"), "whole");
    fs::create_symlink(home_.file("target.txt"), home_.file("photo.jpg"));
    EXPECT_FALSE(platform_.MoveFileExA("C:\\new.tmp", "C:\\photo.jpg", 0));
    EXPECT_EQ(platform_.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(platform_.MoveFileExA("C:\\new.tmp", "C:\\DCIM", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform_.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(platform_.MoveFileExA("C:\\new.tmp", "C:\\photo.jpg", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(fs::is_symlink(home_.file("photo.jpg")));
    EXPECT_EQ(Read(home_.file("photo.jpg")), "whole");
    EXPECT_EQ(Read(home_.file("target.txt")), "keep");
    EXPECT_FALSE(fs::exists(home_.file("new.tmp")));
    EXPECT_FALSE(platform_.MoveFileExA("C:\\new.tmp", "C:\\photo.jpg", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform_.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformFiles, FoldersAndAttributes) {
    EXPECT_TRUE(platform_.CreateDirectoryA("C:\\Out"));
    EXPECT_TRUE(fs::is_directory(home_.file("Out")));
    EXPECT_FALSE(platform_.CreateDirectoryA("C:\\Out"));
    EXPECT_EQ(platform_.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(platform_.CreateDirectoryA("C:\\No\\Out"));
    EXPECT_EQ(platform_.GetLastError(), ERROR_PATH_NOT_FOUND);

    Write(home_.file("plain.txt"), "x");
    Write(home_.file("locked.txt"), "x");
    ::chmod(home_.file("locked.txt").c_str(), 0444);
    EXPECT_EQ(platform_.GetFileAttributesA("C:\\plain.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(platform_.GetFileAttributesA("C:\\locked.txt"), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(platform_.GetFileAttributesA("C:\\Out"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(platform_.GetFileAttributesA("C:\\missing"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PlatformFiles, FindFilesMatchesLikeWindows) {
    EXPECT_TRUE(MatchesWildcard("*.*", "README"));
    EXPECT_TRUE(MatchesWildcard("*.jpg", "IMG_0001.JPG"));
    EXPECT_TRUE(MatchesWildcard("IMG_????.JPG", "img_0001.jpg"));
    EXPECT_FALSE(MatchesWildcard("IMG_????.JPG", "IMG_01.JPG"));
    EXPECT_FALSE(MatchesWildcard("*.txt", "a.txt.bak"));
    EXPECT_TRUE(MatchesWildcard("*a*b*c*", std::string(40, 'a') + "bc"));

    Write(home_.file("A.JPG"), "12345");
    Write(home_.file("b.txt"), "x");
    Write(home_.file("README"), "x");
    fs::create_directory(home_.file("sub"));
    fs::create_directory(home_.file(".config"));
    fs::create_directory_symlink(home_.file("sub"), home_.file("link"));

    auto all = platform_.FindFiles("C:\\*.*");
    ASSERT_TRUE(all);
    std::map<std::string, FindData> byName;
    for (const FindData& f : *all) byName[f.cFileName] = f;
    EXPECT_EQ(byName.size(), 6u);
    EXPECT_EQ(byName[".config"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(byName.count(".") || byName.count(".."));
    EXPECT_EQ(byName["A.JPG"].nFileSize, 5u);
    EXPECT_EQ(byName["sub"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(byName["link"].dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);

    const auto jpegs = platform_.FindFiles("C:\\*.jpg");
    ASSERT_TRUE(jpegs);
    ASSERT_EQ(jpegs->size(), 1u);
    EXPECT_EQ(jpegs->front().cFileName, "A.JPG");
    EXPECT_TRUE(platform_.FindFiles("C:\\*.gif")->empty());
    EXPECT_FALSE(platform_.FindFiles("C:\\nowhere\\*.*"));
}

TEST_F(PlatformFiles, WriteToAFullMediumReportsWhatReachedTheFile) {
    if (!testing::RunningAsRoot()) GTEST_SKIP() << "needs root";
    const std::string small = home_.file("small");
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount tmpfs";
    const HANDLE h = platform_.CreateFileA("C:\\small\\Wipe.img", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::vector<std::uint8_t> block(1 << 20, 0xFF);
    DWORD written = 0;
    EXPECT_FALSE(platform_.WriteFile(h, block, written));
    EXPECT_EQ(platform_.GetLastError(), ERROR_DISK_FULL);
    EXPECT_GT(written, 0u);
    platform_.CloseHandle(h);
    EXPECT_EQ(fs::file_size(small + "/Wipe.img"), written);
    ::umount(small.c_str());
}

TEST_F(PlatformFiles, TempFolderIsPrivateAndEndsWithASlash) {
    TempDir runtime;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    fs::create_directory(runtime.file("kelvara"));
    ::chmod(runtime.file("kelvara").c_str(), 0777);  // left open by someone: closed again

    const DWORD needed = platform_.GetTempPathA({});
    std::vector<char> buffer(needed);
    const DWORD length = platform_.GetTempPathA(buffer);
    ASSERT_EQ(length + 1, needed);
    const std::string path(buffer.data(), length);
    EXPECT_EQ(path, runtime.file("kelvara") + "/");
    struct stat info {};
    ASSERT_EQ(::lstat(runtime.file("kelvara").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    // A link planted where the folder should be is not followed.
    TempDir other;
    fs::remove(runtime.file("kelvara"));
    fs::create_directory_symlink(other.path(), runtime.file("kelvara"));
    std::vector<char> again(4096);
    const std::string fallback(again.data(), platform_.GetTempPathA(again));
    EXPECT_EQ(fallback, "/tmp/kelvara-" + std::to_string(::geteuid()) + "/");
}

TEST_F(PlatformFiles, RegistryNamesAnInstalledSystemInformationProgram) {
    TempDir bin;
    const std::string tool = bin.file("hardinfo");
    Write(tool, "#!/bin/sh\n");
    ::chmod(tool.c_str(), 0755);
    HKEY key = 0;
    {
        ScopedEnv path("PATH", bin.path());
        ASSERT_EQ(platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0,
                                          0x2003F, key), ERROR_SUCCESS);
    }
    DWORD type = 0, size = 0;
    std::vector<std::uint8_t> small(4);
    EXPECT_EQ(platform_.RegQueryValueExA(key, "PATH", type, small, size), static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, tool.size() + 1);
    std::vector<std::uint8_t> data(1024);
    ASSERT_EQ(platform_.RegQueryValueExA(key, "PATH", type, data, size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data.data()), size), tool + '\0');
    EXPECT_EQ(platform_.RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", 0, 0x2003F, key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    TempDir empty;
    ScopedEnv path("PATH", empty.path());
    EXPECT_EQ(platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F, key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PlatformFiles, StartProgramRunsItWithoutWaiting) {
    const std::string marker = home_.file("started");
    const std::string script = home_.file("tool.sh");
    Write(script, "#!/bin/sh\nsleep 0.2\necho ran > '" + marker + "'\n");
    ::chmod(script.c_str(), 0755);
    EXPECT_TRUE(platform_.StartProgram("C:\\tool.sh"));
    EXPECT_FALSE(fs::exists(marker));  // it was not waited for
    for (int i = 0; i < 250 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fs::exists(marker));

    EXPECT_FALSE(platform_.StartProgram("C:\\missing.exe"));
    Write(home_.file("data.txt"), "x");
    EXPECT_FALSE(platform_.StartProgram(home_.file("data.txt")));  // not executable
}

TEST_F(PlatformFiles, VersionErrorsAndMetrics) {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = 148;
    ASSERT_TRUE(platform_.GetVersionExA(info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.dwMajorVersion, 5u);
    PosixPlatform win98({{}, VER_PLATFORM_WIN32_WINDOWS, home_.path(), home_.path()});
    ASSERT_TRUE(win98.GetVersionExA(info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(win98.GetVersionExA(info));

    EXPECT_EQ(platform_.GetSystemMetrics(SM_CXVSCROLL), 17);
    EXPECT_EQ(platform_.GetSystemMetrics(SM_CYHSCROLL), 17);
    EXPECT_EQ(platform_.FormatErrorMessage(ERROR_DISK_FULL), "There is not enough space on the disk.");
    EXPECT_NE(platform_.FormatErrorMessage(0x20000000 | ENOTCONN).find("connected"), std::string::npos);
}

}  // namespace
}  // namespace kelvara
