#pragma once
// The platform on Windows: every call goes straight to the Win32 function of the same name.
// Built only where _WIN32 is defined.

#include "platform/platform.h"

namespace kelvara {

class WindowsPlatform final : public Platform {
public:
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
};

}  // namespace kelvara
