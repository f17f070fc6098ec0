#pragma once
// The platform on Linux and other POSIX systems: the machine presented as drive letters, DOS
// paths translated, raw volumes read from image files and removable block devices, and the 9x
// virtual device emulated over the same volumes.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/low_memory_arena.h"
#include "platform/posix/system_info_registry.h"
#include "platform/posix/udisks.h"
#include "platform/posix/volume_opener.h"
#include "platform/posix/vwin32_device.h"

namespace kelvara {

class PosixPlatform final : public Platform {
public:
    using AttachedImage = kelvara::AttachedImage;

    struct Options {
        std::vector<AttachedImage> images;  // from D: on, in this order
        DWORD platformId = VER_PLATFORM_WIN32_NT;  // VER_PLATFORM_WIN32_WINDOWS serves \\.\VWIN32
        std::string home;                   // C:; empty: $HOME
        // Where sys/, proc/ and dev/ are looked up. Only on the real root is the desktop's disk
        // service asked, which speaks of the real machine.
        std::string sysRoot = "/";
    };

    // Throws std::runtime_error naming an image that can hold no volume (see DriveMap).
    explicit PosixPlatform(Options options);
    // The NT family, with these image files attached whole (or by partition).
    explicit PosixPlatform(const std::vector<std::string>& imagePaths);
    ~PosixPlatform() override;

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

private:
    // The descriptor of an open folder's handle, with ERROR_INVALID_HANDLE set when it is none;
    // and whether `name` is one plain name in it.
    std::optional<int> FolderFd(HANDLE folder) const;
    static bool PlainName(const std::string& name);
    std::optional<SharedStorage> SharedStorageAt(const std::string& existing, const std::string& rootPathName);
    std::optional<Drive> FindDrive(char letter) const;
    // A DOS or POSIX path as a POSIX path; nullopt with the last error set.
    std::optional<std::string> ToPosixPath(const std::string& path) const;
    HANDLE OpenVolume(char letter);
    // The volume of a drive, opened as far as this user may; nullopt with the last error set.
    std::optional<RawVolume> OpenDriveVolume(const Drive& drive);
    // The volume of a drive for the 9x service, kept open between requests while it stays the same.
    std::shared_ptr<const RawVolume> ServiceVolume(char letter, DWORD& dosError);

    DWORD platformId_;
    std::string sysRoot_;
    std::unique_ptr<Udisks> udisks_;  // null where the disk service cannot be asked
    VolumeOpener opener_;
    mutable std::mutex mutex_;  // guards drives_ and serviceVolumes_
    DriveMap drives_;
    std::map<char, std::shared_ptr<const RawVolume>> serviceVolumes_;
    HandleTable handles_;
    LowMemoryArena lowMemory_;
    Vwin32Device vwin32_;
    SystemInfoRegistry registry_;
};

}  // namespace kelvara
