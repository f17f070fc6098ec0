#pragma once
// The operating system as the rest of Kelvara sees it: the Win32 calls the program makes,
// in their Win32 shapes (same names, same argument order and values), with C++ types where
// that is safer. There are three implementations: the real API on Windows, an emulation on
// POSIX systems that presents the machine as drive letters, and the recording doubles of
// the tests. Nothing outside platform/ talks to the operating system.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace kelvara {

class Platform {
public:
    virtual ~Platform() = default;

    // --- drives --------------------------------------------------------------------------
    // Fills buffer with "C:\<NUL>D:\<NUL>...<NUL>". Returns the characters written without
    // the final NUL, or, when buffer is too small, the size it needs including that NUL;
    // 0 on failure.
    virtual DWORD GetLogicalDriveStringsA(std::span<char> buffer) = 0;
    virtual DWORD GetDriveTypeA(const std::string& rootPathName) = 0;
    // What a drive ("E:") stands for: its device, or here the image file (with "@N" for a
    // partition N of it) or the folder. Fills targetPath with the text and two NULs and returns
    // the characters stored; 0 on failure (ERROR_INSUFFICIENT_BUFFER when it does not fit).
    virtual DWORD QueryDosDeviceA(const std::string& deviceName, std::span<char> targetPath) = 0;
    virtual bool GetDiskFreeSpaceA(const std::string& rootPathName, DWORD& sectorsPerCluster,
                                   DWORD& bytesPerSector, DWORD& numberOfFreeClusters,
                                   DWORD& totalNumberOfClusters) = 0;

    // --- files, volumes and devices --------------------------------------------------------
    // fileName is a DOS path ("E:\DCIM\a.jpg"), a raw volume ("\\.\E:") or a device
    // ("\\.\VWIN32"). No security attributes and no template are ever passed. With
    // FILE_FLAG_BACKUP_SEMANTICS a folder opens too; share mode 0 then holds it against every
    // other opener of it until the handle is closed (or the process ends).
    virtual HANDLE CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                               DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
    // Returns the new low 32 bits of the position and stores the high 32 bits through
    // distanceToMoveHigh when it is given; INVALID_SET_FILE_POINTER with an error on failure.
    virtual DWORD SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh,
                                 DWORD moveMethod) = 0;
    // A read at or past the end succeeds with fewer bytes (0 at the end), as on Windows.
    virtual bool ReadFile(HANDLE file, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead) = 0;
    // On failure numberOfBytesWritten holds what did reach the file.
    virtual bool WriteFile(HANDLE file, std::span<const std::uint8_t> buffer,
                           DWORD& numberOfBytesWritten) = 0;
    virtual bool DeviceIoControl(HANDLE device, DWORD ioControlCode, std::span<std::uint8_t> inBuffer,
                                 std::span<std::uint8_t> outBuffer, DWORD& bytesReturned) = 0;
    virtual bool CloseHandle(HANDLE object) = 0;
    // Which file an open handle stands for; for a raw volume, the device or image it reads.
    virtual bool GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) = 0;
    // Sets the times of a file open for writing; a time not given is left as it is. Where the
    // system keeps no creation time it is left too.
    virtual bool SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                             const FILETIME* lastWriteTime) = 0;

    // The error of the last failed call, as a Win32 code, and a sentence that explains it.
    virtual DWORD GetLastError() = 0;
    virtual std::string FormatErrorMessage(DWORD errorCode) = 0;

    // --- file system -----------------------------------------------------------------------
    virtual bool DeleteFileA(const std::string& fileName) = 0;  // a link goes, never its target
    // Renames a file within its volume. With MOVEFILE_REPLACE_EXISTING it takes the place of a
    // file (or link) of the new name in one step, never writing through it; without, an existing
    // name fails with ERROR_ALREADY_EXISTS.
    virtual bool MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) = 0;
    virtual bool CreateDirectoryA(const std::string& pathName) = 0;
    virtual DWORD GetFileAttributesA(const std::string& fileName) = 0;
    // The root of the volume a path lies on, ending in a backslash ("E:\"), also for a path
    // that does not exist yet. Where the volume is a drive's, mounted anywhere, it is named by
    // that drive's root.
    virtual bool GetVolumePathNameA(const std::string& fileName, std::span<char> volumePathName) = 0;
    // What `path` (a folder, there or not yet) and the medium drive `rootPathName` reads are both
    // stored on, so that writing under the path could change what the drive reads: the disk,
    // partition or file where the two meet, named for a user ("/dev/sdb", "card.img"). nullopt
    // when they share nothing, or the drive reads no medium. Where what stores the path cannot
    // all be found out, it is taken to meet the drive: `certain` is false and `name` says what is
    // not known. Windows has no one call for this; there it is told from the volumes' names and
    // the disks they lie on.
    struct SharedStorage {
        std::string name;
        bool certain = true;
    };
    virtual std::optional<SharedStorage> FindSharedStorage(const std::string& path, const std::string& rootPathName) = 0;
    // --- files inside a folder held open ----------------------------------------------------
    // `folder` is a folder's handle (CreateFileA with FILE_FLAG_BACKUP_SEMANTICS) and `name` one
    // name in it, without separators, "." or "..". These act in the very folder the handle was
    // opened on, wherever it has been moved since and whatever now stands at its old path, so a
    // folder swapped or mounted over after it was checked is never written. A link under `name`
    // is never followed: it fails to open, and it is what a delete or a rename removes.
    virtual HANDLE CreateFileInFolder(HANDLE folder, const std::string& name, DWORD desiredAccess,
                                      DWORD creationDisposition) = 0;
    // The folder `name` inside `folder`, made when missing, opened as a folder's handle.
    virtual HANDLE CreateFolderInFolder(HANDLE folder, const std::string& name) = 0;
    // Without MOVEFILE_REPLACE_EXISTING an entry of the new name is never replaced
    // (ERROR_ALREADY_EXISTS), in one step where the file system can.
    virtual bool MoveFileInFolder(HANDLE folder, const std::string& existingName, const std::string& newName,
                                  DWORD flags) = 0;
    virtual bool DeleteFileInFolder(HANDLE folder, const std::string& name) = 0;
    // FindSharedStorage for the folder a handle stands for.
    virtual std::optional<SharedStorage> FindSharedStorageOfFolder(HANDLE folder, const std::string& rootPathName) = 0;

    // FindFirstFileA, FindNextFileA and FindClose in one call: the entries matching a pattern
    // with * and ? in its last part ("E:\*.*"), without "." and "..". nullopt when the folder
    // cannot be listed; an empty list when nothing matches.
    virtual std::optional<std::vector<FindData>> FindFiles(const std::string& pattern) = 0;

    // --- system ----------------------------------------------------------------------------
    virtual bool GetVersionExA(OSVERSIONINFOA& versionInformation) = 0;
    // A time of the machine's time zone as UTC, with the daylight saving time in force on that
    // date. The time zone is always the current one (the Win32 call's first argument is null).
    virtual bool TzSpecificLocalTimeToSystemTime(const SYSTEMTIME& localTime, SYSTEMTIME& universalTime) = 0;
    // Copies the temporary folder, ending in a separator, and returns its length; when
    // buffer is too small, returns the size needed including the NUL. 0 on failure.
    virtual DWORD GetTempPathA(std::span<char> buffer) = 0;
    virtual int GetSystemMetrics(int index) = 0;

    virtual LONG RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, DWORD samDesired,
                               HKEY& result) = 0;
    // data.size() is the buffer's size; dataSize receives the bytes stored (or needed).
    virtual LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD& type,
                                  std::span<std::uint8_t> data, DWORD& dataSize) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // Starts a program in a normal window with the focus and does not wait for it.
    virtual bool StartProgram(const std::string& path) = 0;

    // Zero-filled memory with a 32-bit address: the 9x disk service takes its control block
    // and data buffer by 32-bit address. Empty bytes when none is left. The address of
    // bytes[i] is address + i, as the service will see it.
    struct LowBlock {
        std::span<std::uint8_t> bytes;
        std::uint32_t address = 0;
    };
    virtual LowBlock AllocateLowMemory(std::size_t size) = 0;
    virtual void FreeLowMemory(const LowBlock& block) = 0;
};

}  // namespace kelvara
