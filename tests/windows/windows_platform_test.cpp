// The Windows platform against the real API (run under Wine by scripts/test-windows): the
// promises of the interface that the rest of the program leans on, where the forwarding
// could get a size, a sign or a handle wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/create_platform.h"

namespace kelvara {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr DWORD kKeyRead = 0x20019;

class WindowsPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        char buffer[260] = {};
        const DWORD length = platform->GetTempPathA(buffer);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, sizeof buffer);
        folder = std::string(buffer, length) + "kelvara-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Clear();
        ASSERT_TRUE(platform->CreateDirectoryA(folder));
    }
    void TearDown() override { Clear(); }
    // The interface removes no folders: the program never needs to.
    void Clear() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    HANDLE Create(const std::string& name, DWORD disposition = CREATE_ALWAYS) {
        return platform->CreateFileA(folder + "\\" + name, GENERIC_READ | GENERIC_WRITE, 0, disposition,
                                     FILE_ATTRIBUTE_NORMAL);
    }
    void Write(HANDLE file, const Bytes& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(platform->WriteFile(file, bytes, written));
        ASSERT_EQ(written, bytes.size());
    }

    std::unique_ptr<Platform> platform = CreatePlatform({});
    std::string folder;
};

TEST_F(WindowsPlatformTest, FilesAreMadeWrittenListedAndDeleted) {
    const HANDLE file = Create("IMAGE001.JPG");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Write(file, Bytes(1500, 0xAB));
    EXPECT_TRUE(platform->CloseHandle(file));

    EXPECT_EQ(Create("IMAGE001.JPG", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform->GetLastError(), ERROR_FILE_EXISTS);
    const std::string message = platform->FormatErrorMessage(ERROR_FILE_EXISTS);
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message.back(), '\n');

    EXPECT_TRUE(platform->CreateDirectoryA(folder + "\\DCIM"));
    EXPECT_TRUE(platform->GetFileAttributesA(folder + "\\DCIM") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(platform->GetFileAttributesA(folder + "\\IMAGE001.JPG") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(platform->GetFileAttributesA(folder + "\\NONE.JPG"), INVALID_FILE_ATTRIBUTES);

    const auto all = platform->FindFiles(folder + "\\*.*");
    ASSERT_TRUE(all);
    std::vector<std::string> names;
    for (const auto& entry : *all) names.push_back(entry.cFileName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DCIM", "IMAGE001.JPG"}));  // never "." or ".."
    const auto photos = platform->FindFiles(folder + "\\*.JPG");
    ASSERT_TRUE(photos);
    ASSERT_EQ(photos->size(), 1u);
    EXPECT_EQ(photos->front().nFileSize, 1500u);
    const auto none = platform->FindFiles(folder + "\\*.GIF");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_FALSE(platform->FindFiles(folder + "\\NOFOLDER\\*.*"));

    // A whole file renamed over one of the same name replaces it; without leave to, it is refused.
    const HANDLE whole = Create("IMAGE001.JPG.kelvara-00000001.tmp", CREATE_NEW);
    ASSERT_NE(whole, INVALID_HANDLE_VALUE);
    Write(whole, Bytes(700, 0xCD));
    EXPECT_TRUE(platform->CloseHandle(whole));
    EXPECT_FALSE(platform->MoveFileExA(folder + "\\IMAGE001.JPG.kelvara-00000001.tmp", folder + "\\IMAGE001.JPG", 0));
    EXPECT_EQ(platform->GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(platform->MoveFileExA(folder + "\\IMAGE001.JPG.kelvara-00000001.tmp", folder + "\\IMAGE001.JPG",
                                      MOVEFILE_REPLACE_EXISTING));
    const auto replaced = platform->FindFiles(folder + "\\IMAGE001.JPG*");
    ASSERT_TRUE(replaced);
    ASSERT_EQ(replaced->size(), 1u);
    EXPECT_EQ(replaced->front().nFileSize, 700u);

    EXPECT_TRUE(platform->DeleteFileA(folder + "\\IMAGE001.JPG"));
    EXPECT_FALSE(platform->DeleteFileA(folder + "\\IMAGE001.JPG"));
    EXPECT_EQ(platform->GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Sectors past 4 GiB are reached with the high half of the move; a read at the end is a
// success with nothing in it.
TEST_F(WindowsPlatformTest, MovesPastFourGibibytesAndReadsToTheEnd) {
    const HANDLE file = Create("FAR.IMG");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::int64_t far = (std::int64_t{5} << 30) + 7 * 512;
    LONG high = static_cast<LONG>(far >> 32);
    EXPECT_EQ(platform->SetFilePointer(file, static_cast<LONG>(static_cast<std::uint32_t>(far)), &high, FILE_BEGIN),
              static_cast<DWORD>(far));
    EXPECT_EQ(high, 1);
    Write(file, Bytes{0xFF, 0xD8, 0xFF, 0xE0});

    high = 0;
    EXPECT_EQ(platform->SetFilePointer(file, 0, &high, FILE_END), static_cast<DWORD>(far + 4));
    EXPECT_EQ(high, 1);
    high = static_cast<LONG>(far >> 32);
    platform->SetFilePointer(file, static_cast<LONG>(static_cast<std::uint32_t>(far)), &high, FILE_BEGIN);
    Bytes got(512, 0x55);
    DWORD read = 0;
    EXPECT_TRUE(platform->ReadFile(file, got, read));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_TRUE(platform->ReadFile(file, got, read));
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(platform->CloseHandle(file));
    EXPECT_FALSE(platform->CloseHandle(file));
}

TEST_F(WindowsPlatformTest, DrivesAnswerWithTheirSizesAndNames) {
    char tiny[2] = {};
    const DWORD needed = platform->GetLogicalDriveStringsA(tiny);
    ASSERT_GT(needed, sizeof tiny);
    std::vector<char> list(needed);
    const DWORD length = platform->GetLogicalDriveStringsA(list);
    ASSERT_EQ(length + 1, needed);
    std::vector<std::string> drives;
    for (const char* at = list.data(); *at; at += std::strlen(at) + 1) drives.emplace_back(at);
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front(), "C:\\");
    EXPECT_EQ(platform->GetDriveTypeA("C:\\"), DRIVE_FIXED);

    DWORD perCluster = 0, perSector = 0, free = 0, total = 0;
    EXPECT_TRUE(platform->GetDiskFreeSpaceA("C:\\", perCluster, perSector, free, total));
    EXPECT_GT(perCluster * perSector, 0u);
    EXPECT_GT(total, 0u);
    EXPECT_FALSE(platform->GetDiskFreeSpaceA("Q:\\", perCluster, perSector, free, total));

    char target[512] = {};
    const DWORD stored = platform->QueryDosDeviceA("C:", target);
    ASSERT_GT(stored, 0u);
    EXPECT_EQ(std::string(target).rfind("\\Device\\", 0), 0u) << target;
    EXPECT_EQ(platform->QueryDosDeviceA("C:", std::span<char>(target, 2)), 0u);
    EXPECT_EQ(platform->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// Our roots are plain numbers; Windows' are sign-extended pointers.
TEST_F(WindowsPlatformTest, RegistryValuesAreReadFromThePredefinedRoots) {
    HKEY key = 0;
    ASSERT_EQ(platform->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                                      kKeyRead, key),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    std::uint8_t one[1] = {};
    EXPECT_EQ(platform->RegQueryValueExA(key, "ProductName", type, one, size), static_cast<LONG>(ERROR_MORE_DATA));
    ASSERT_GT(size, 1u);
    Bytes name(size);
    EXPECT_EQ(platform->RegQueryValueExA(key, "ProductName", type, name, size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(name.at(size - 1), 0);
    EXPECT_EQ(platform->RegQueryValueExA(key, "NoSuchValue", type, name, size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(platform->RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(platform->RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, kKeyRead, key), ERROR_SUCCESS);
    EXPECT_EQ(platform->RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(platform->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\No Such Key", 0, kKeyRead, key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(WindowsPlatformTest, SystemAnswersForItself) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = 148;
    EXPECT_TRUE(platform->GetVersionExA(version));
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
    version.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(platform->GetVersionExA(version));

    char tiny[2] = {};
    const DWORD needed = platform->GetTempPathA(tiny);
    std::vector<char> temp(needed);
    EXPECT_EQ(platform->GetTempPathA(temp) + 1, needed);
    EXPECT_EQ(temp.at(needed - 2), '\\');

    EXPECT_GT(platform->GetSystemMetrics(SM_CXVSCROLL), 0);

    EXPECT_TRUE(platform->StartProgram("C:\\windows\\system32\\rundll32.exe"));
    EXPECT_FALSE(platform->StartProgram(folder + "\\missing.exe"));

    // Memory for the 9x disk service, when there is any, has the address it claims.
    const auto block = platform->AllocateLowMemory(4096);
    if (!block.bytes.empty()) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.bytes.data()), block.address);
        EXPECT_TRUE(std::all_of(block.bytes.begin(), block.bytes.end(), [](std::uint8_t b) { return b == 0; }));
        platform->FreeLowMemory(block);
    }
}

}  // namespace
}  // namespace kelvara
