#pragma once
// A platform of scripted answers that records every call, so a test can say "the NT path
// opened \\.\E: once, read 1,024 bytes at 0 and closed". Volumes and files live in memory; the
// error texts, the name patterns and the 9x disk request are the platform's own.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/vwin32_request.h"

namespace kelvara::testing {

class FakePlatform : public Platform {
public:
    struct Drive {
        DWORD type = DRIVE_REMOVABLE;
        // The raw volume; an empty pointer is a drive without a medium (it cannot be opened).
        std::shared_ptr<std::vector<std::uint8_t>> volume;
        bool sizeKnown = true;  // whether GetDiskFreeSpaceA answers
        DWORD sectorsPerCluster = 1, bytesPerSector = 512, freeClusters = 0, totalClusters = 0;
        std::set<std::int64_t> badSectors;  // a read touching one of these fails as a whole
        std::int64_t zeroSectors = 0;  // more sectors after the volume's bytes, all zero: a large card held in little memory
    };

    FakePlatform();
    ~FakePlatform() override;

    // A removable drive holding `sectors` zero sectors, sized as that many one-sector
    // clusters; returns its bytes for the test to fill.
    std::vector<std::uint8_t>& AddVolume(char letter, std::int64_t sectors);

    std::map<char, Drive> drives;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    bool driveStringsFail = false;
    std::string tempPath = "C:\\Temp\\";
    int scrollBarSize = 17;

    // The in-memory file system: files by their full DOS path, and folders.
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::set<std::string> folders;
    std::int64_t diskSpace = -1;  // bytes all files together may hold; -1: no limit
    bool readOnly = false;        // every create, write, delete and mkdir fails
    // Folders where a drive's volume is mounted: a path in one lies on that drive.
    std::map<std::string, char> mountedOn;
    // Files that are the very file a drive reads (its image, or a hard link to it).
    std::map<std::string, char> sameFileAs;

    // The registry: values by key path and value name.
    struct RegValue {
        DWORD type = REG_SZ;
        std::vector<std::uint8_t> data;
    };
    std::map<std::string, std::map<std::string, RegValue>> registry;
    std::set<std::string> readOnlyKeys;  // opening these with write rights is refused
    // Last write times set through SetFileTime, by path; they go with a file that is renamed.
    std::map<std::string, FILETIME> lastWriteTimes;
    int utcOffsetMinutes = 0;  // the machine's time zone: local time is UTC plus this
    std::vector<std::string> startedPrograms;
    std::set<std::string> startablePrograms;

    // Every call, one line each: "CreateFileA(\\.\E:, 0x80000000, 3, 3, 0)".
    std::vector<std::string> calls;
    std::uint64_t volumeBytesRead = 0;  // read from the drives, not from files
    std::vector<std::string> CallsNamed(const std::string& name) const;
    // Called after each recorded call with its line, so a test can act mid-operation
    // (pull a card, fill the disk).
    std::function<void(const std::string&)> onCall;

    // Platform
    DWORD GetLogicalDriveStringsA(std::span<char> buffer) override;
    DWORD GetDriveTypeA(const std::string& rootPathName) override;
    DWORD QueryDosDeviceA(const std::string& deviceName, std::span<char> targetPath) override;
    bool GetDiskFreeSpaceA(const std::string& rootPathName, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                           DWORD& numberOfFreeClusters, DWORD& totalNumberOfClusters) override;
    HANDLE CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                       DWORD flagsAndAttributes) override;
    DWORD SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh, DWORD moveMethod) override;
    bool ReadFile(HANDLE file, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead) override;
    bool WriteFile(HANDLE file, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten) override;
    bool DeviceIoControl(HANDLE device, DWORD ioControlCode, std::span<std::uint8_t> inBuffer,
                         std::span<std::uint8_t> outBuffer, DWORD& bytesReturned) override;
    bool CloseHandle(HANDLE object) override;
    bool GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) override;
    bool SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                     const FILETIME* lastWriteTime) override;
    bool TzSpecificLocalTimeToSystemTime(const SYSTEMTIME& localTime, SYSTEMTIME& universalTime) override;
    DWORD GetLastError() override;
    std::string FormatErrorMessage(DWORD errorCode) override;
    bool DeleteFileA(const std::string& fileName) override;
    bool MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) override;
    bool CreateDirectoryA(const std::string& pathName) override;
    DWORD GetFileAttributesA(const std::string& fileName) override;
    bool GetVolumePathNameA(const std::string& fileName, std::span<char> volumePathName) override;
    std::optional<SharedStorage> FindSharedStorage(const std::string& path, const std::string& rootPathName) override;
    std::optional<std::vector<FindData>> FindFiles(const std::string& pattern) override;
    // Inside a held folder: the folder's path and the name, through the calls above (recorded as those).
    HANDLE CreateFileInFolder(HANDLE folder, const std::string& name, DWORD desiredAccess,
                              DWORD creationDisposition) override;
    HANDLE CreateFolderInFolder(HANDLE folder, const std::string& name) override;
    bool MoveFileInFolder(HANDLE folder, const std::string& existingName, const std::string& newName,
                          DWORD flags) override;
    bool DeleteFileInFolder(HANDLE folder, const std::string& name) override;
    std::optional<SharedStorage> FindSharedStorageOfFolder(HANDLE folder, const std::string& rootPathName) override;
    bool GetVersionExA(OSVERSIONINFOA& versionInformation) override;
    DWORD GetTempPathA(std::span<char> buffer) override;
    int GetSystemMetrics(int index) override;
    LONG RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, DWORD samDesired, HKEY& result) override;
    LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD& type, std::span<std::uint8_t> data,
                          DWORD& dataSize) override;
    LONG RegCloseKey(HKEY key) override;
    bool StartProgram(const std::string& path) override;
    LowBlock AllocateLowMemory(std::size_t size) override;
    void FreeLowMemory(const LowBlock& block) override;

    int OpenHandles() const { return static_cast<int>(handles_.size()); }

private:
    struct Handle {
        enum class Kind { Volume, File, Folder, Vwin32 } kind = Kind::File;
        char letter = 0;
        std::string path;
        std::int64_t position = 0;
        bool writable = false;
        bool held = false;  // a folder opened with share mode 0
    };
    struct Block {
        std::vector<std::uint8_t> bytes;
    };

    void Record(const std::string& line);
    // The path of `name` in the folder a handle stands for; empty, with the error set, when none.
    std::string InFolder(HANDLE folder, const std::string& name);
    bool Fail(DWORD error);
    std::int64_t FileBytes() const;
    void ServeDiskRead(DiocRegisters& registers);
    std::uint8_t* Resolve(std::uint32_t address, std::size_t length);

    std::map<HANDLE, Handle> handles_;
    HANDLE nextHandle_ = 100;
    std::map<std::uint32_t, Block> blocks_;  // low memory by its invented 32-bit address
    std::uint32_t nextAddress_ = 0x00100000;
    std::map<HKEY, std::string> keys_;
    HKEY nextKey_ = 0x1000;
    DWORD lastError_ = 0;
};

}  // namespace kelvara::testing
