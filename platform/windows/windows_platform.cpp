#include "platform/windows/windows_platform.h"

#include <algorithm>
#include <cstring>
#include <limits>

// Our own Win32 names are captured here, before <windows.h> turns the same names into macros.
namespace kelvara::ours {
constexpr HKEY kClassesRoot = HKEY_CLASSES_ROOT;
constexpr HKEY kCurrentUser = HKEY_CURRENT_USER;
constexpr HKEY kLocalMachine = HKEY_LOCAL_MACHINE;
constexpr HANDLE kInvalidHandle = INVALID_HANDLE_VALUE;
constexpr DWORD kVersionInfoSize = 148;
}  // namespace kelvara::ours

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>
#include <winreg.h>

namespace {

::HANDLE ToWin(kelvara::HANDLE handle) { return reinterpret_cast<::HANDLE>(handle); }
kelvara::HANDLE FromWin(::HANDLE handle) { return reinterpret_cast<kelvara::HANDLE>(handle); }

// The predefined roots are sign-extended pointers on 64-bit Windows; ours are plain numbers.
::HKEY ToWin(kelvara::HKEY key) {
    if (key == kelvara::ours::kClassesRoot) return HKEY_CLASSES_ROOT;
    if (key == kelvara::ours::kCurrentUser) return HKEY_CURRENT_USER;
    if (key == kelvara::ours::kLocalMachine) return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<::HKEY>(key);
}

template <class Span>
::DWORD Length(const Span& span) {
    return static_cast<::DWORD>(std::min<std::size_t>(span.size(), std::numeric_limits<::DWORD>::max()));
}

// The disk a volume ("\\?\Volume{...}\" or "E:\") lies on, as its type and number.
std::optional<std::pair<::DWORD, ::DWORD>> DiskOfVolume(std::string volume) {
    if (volume.size() > 1 && volume.back() == '\\') volume.pop_back();
    if (volume.size() == 2 && volume[1] == ':') volume = "\\\\.\\" + volume;
    // No access asked for: the disk's number is told to anyone who may see the volume.
    const ::HANDLE handle =
        ::CreateFileA(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    ::STORAGE_DEVICE_NUMBER number{};
    ::DWORD returned = 0;
    const bool told = ::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                        &returned, nullptr) != FALSE;
    ::CloseHandle(handle);
    if (!told) return std::nullopt;
    return std::make_pair(static_cast<::DWORD>(number.DeviceType), number.DeviceNumber);
}

}  // namespace

namespace kelvara {

DWORD WindowsPlatform::GetLogicalDriveStringsA(std::span<char> buffer) {
    return ::GetLogicalDriveStringsA(Length(buffer), buffer.empty() ? nullptr : buffer.data());
}

DWORD WindowsPlatform::GetDriveTypeA(const std::string& rootPathName) { return ::GetDriveTypeA(rootPathName.c_str()); }

DWORD WindowsPlatform::QueryDosDeviceA(const std::string& deviceName, std::span<char> targetPath) {
    return ::QueryDosDeviceA(deviceName.c_str(), targetPath.data(), static_cast<::DWORD>(targetPath.size()));
}

bool WindowsPlatform::GetDiskFreeSpaceA(const std::string& rootPathName, DWORD& sectorsPerCluster,
                                        DWORD& bytesPerSector, DWORD& numberOfFreeClusters,
                                        DWORD& totalNumberOfClusters) {
    ::DWORD perCluster = 0, perSector = 0, free = 0, total = 0;
    if (!::GetDiskFreeSpaceA(rootPathName.c_str(), &perCluster, &perSector, &free, &total)) return false;
    sectorsPerCluster = perCluster;
    bytesPerSector = perSector;
    numberOfFreeClusters = free;
    totalNumberOfClusters = total;
    return true;
}

HANDLE WindowsPlatform::CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                                    DWORD creationDisposition, DWORD flagsAndAttributes) {
    return FromWin(::CreateFileA(fileName.c_str(), desiredAccess, shareMode, nullptr, creationDisposition,
                                 flagsAndAttributes, nullptr));
}

DWORD WindowsPlatform::SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh, DWORD moveMethod) {
    ::LONG high = distanceToMoveHigh ? *distanceToMoveHigh : 0;
    const ::DWORD low = ::SetFilePointer(ToWin(file), distanceToMove, distanceToMoveHigh ? &high : nullptr, moveMethod);
    if (distanceToMoveHigh) *distanceToMoveHigh = high;
    return low;
}

bool WindowsPlatform::ReadFile(HANDLE file, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead) {
    ::DWORD read = 0;
    const bool ok = ::ReadFile(ToWin(file), buffer.data(), Length(buffer), &read, nullptr) != FALSE;
    numberOfBytesRead = read;
    return ok;
}

bool WindowsPlatform::WriteFile(HANDLE file, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten) {
    ::DWORD written = 0;
    const bool ok = ::WriteFile(ToWin(file), buffer.data(), Length(buffer), &written, nullptr) != FALSE;
    numberOfBytesWritten = written;
    return ok;
}

bool WindowsPlatform::DeviceIoControl(HANDLE device, DWORD ioControlCode, std::span<std::uint8_t> inBuffer,
                                      std::span<std::uint8_t> outBuffer, DWORD& bytesReturned) {
    ::DWORD returned = 0;
    const bool ok = ::DeviceIoControl(ToWin(device), ioControlCode, inBuffer.data(), Length(inBuffer),
                                      outBuffer.data(), Length(outBuffer), &returned, nullptr) != FALSE;
    bytesReturned = returned;
    return ok;
}

bool WindowsPlatform::CloseHandle(HANDLE object) { return ::CloseHandle(ToWin(object)) != FALSE; }

bool WindowsPlatform::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
    ::BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(ToWin(file), &info)) return false;
    auto time = [](const ::FILETIME& t) { return kelvara::FILETIME{t.dwLowDateTime, t.dwHighDateTime}; };
    information.dwFileAttributes = info.dwFileAttributes;
    information.ftCreationTime = time(info.ftCreationTime);
    information.ftLastAccessTime = time(info.ftLastAccessTime);
    information.ftLastWriteTime = time(info.ftLastWriteTime);
    information.dwVolumeSerialNumber = info.dwVolumeSerialNumber;
    information.nFileSizeHigh = info.nFileSizeHigh;
    information.nFileSizeLow = info.nFileSizeLow;
    information.nNumberOfLinks = info.nNumberOfLinks;
    information.nFileIndexHigh = info.nFileIndexHigh;
    information.nFileIndexLow = info.nFileIndexLow;
    return true;
}

bool WindowsPlatform::SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                                  const FILETIME* lastWriteTime) {
    const auto time = [](const FILETIME* t) { return t ? ::FILETIME{t->dwLowDateTime, t->dwHighDateTime} : ::FILETIME{}; };
    const ::FILETIME creation = time(creationTime), access = time(lastAccessTime), write = time(lastWriteTime);
    return ::SetFileTime(ToWin(file), creationTime ? &creation : nullptr, lastAccessTime ? &access : nullptr,
                         lastWriteTime ? &write : nullptr) != 0;
}

bool WindowsPlatform::TzSpecificLocalTimeToSystemTime(const SYSTEMTIME& localTime, SYSTEMTIME& universalTime) {
    const ::SYSTEMTIME local{localTime.wYear, localTime.wMonth, localTime.wDayOfWeek, localTime.wDay,
                             localTime.wHour, localTime.wMinute, localTime.wSecond, localTime.wMilliseconds};
    ::SYSTEMTIME utc{};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return false;
    universalTime = {utc.wYear, utc.wMonth, utc.wDayOfWeek, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds};
    return true;
}

DWORD WindowsPlatform::GetLastError() { return ::GetLastError(); }

std::string WindowsPlatform::FormatErrorMessage(DWORD errorCode) {
    char text[512] = {};
    const ::DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            errorCode, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "Unknown error " + std::to_string(errorCode) + ".";
    return message;
}

bool WindowsPlatform::DeleteFileA(const std::string& fileName) { return ::DeleteFileA(fileName.c_str()) != FALSE; }

bool WindowsPlatform::MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) {
    return ::MoveFileExA(existingFileName.c_str(), newFileName.c_str(), flags) != FALSE;
}

bool WindowsPlatform::CreateDirectoryA(const std::string& pathName) {
    return ::CreateDirectoryA(pathName.c_str(), nullptr) != FALSE;
}

DWORD WindowsPlatform::GetFileAttributesA(const std::string& fileName) {
    return ::GetFileAttributesA(fileName.c_str());
}

bool WindowsPlatform::GetVolumePathNameA(const std::string& fileName, std::span<char> volumePathName) {
    char path[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameA(fileName.c_str(), path, sizeof path)) return false;
    std::string root = path;
    // A volume mounted in a folder is named by its drive letter where it has one, as on the
    // other systems: a card mounted at C:\Card is drive E:'s volume.
    char volume[64] = {};
    if (::GetVolumeNameForVolumeMountPointA(path, volume, sizeof volume)) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::string drive = std::string(1, letter) + ":\\";
            char other[64] = {};
            if (::GetVolumeNameForVolumeMountPointA(drive.c_str(), other, sizeof other) && std::strcmp(volume, other) == 0) {
                root = drive;
                break;
            }
        }
    }
    if (root.size() + 1 > volumePathName.size()) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::memcpy(volumePathName.data(), root.c_str(), root.size() + 1);
    return true;
}

std::optional<Platform::SharedStorage> WindowsPlatform::FindSharedStorage(const std::string& path,
                                                                           const std::string& rootPathName) {
    if (rootPathName.size() < 2 || rootPathName[1] != ':') return std::nullopt;
    const std::string root = rootPathName.substr(0, 2) + "\\";
    char mount[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameA(path.c_str(), mount, sizeof mount)) return std::nullopt;
    // The same volume, wherever it is mounted: a card mounted at C:\Card is drive E:'s volume.
    char folderVolume[64] = {}, driveVolume[64] = {};
    const bool named = ::GetVolumeNameForVolumeMountPointA(mount, folderVolume, sizeof folderVolume) &&
                       ::GetVolumeNameForVolumeMountPointA(root.c_str(), driveVolume, sizeof driveVolume);
    if (!named) {
        if (::_stricmp(mount, root.c_str()) == 0) return SharedStorage{root, true};
        return std::nullopt;
    }
    if (std::strcmp(folderVolume, driveVolume) == 0) return SharedStorage{root, true};
    // Another volume of the same disk: a partition beside the card's is on the card.
    const auto folderDisk = DiskOfVolume(folderVolume), driveDisk = DiskOfVolume(driveVolume);
    if (folderDisk && driveDisk && *folderDisk == *driveDisk)
        return SharedStorage{"\\\\.\\PhysicalDrive" + std::to_string(driveDisk->second), true};
    return std::nullopt;
}

namespace {

// The path of an open folder followed by `name`. The folder is held open without FILE_SHARE_DELETE
// by its claimer, so neither it nor a folder above it can be renamed or removed meanwhile: the
// path stays the folder's. Empty, with the error set, when the handle is not a folder's or the
// name is not one plain name.
std::string InFolder(kelvara::HANDLE folder, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return {};
    }
    char path[32768];
    const ::DWORD length = ::GetFinalPathNameByHandleA(ToWin(folder), path, sizeof path, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof path) {
        if (length >= sizeof path) ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    std::string joined(path, length);
    if (joined.back() != '\\') joined += '\\';
    return joined + name;
}

}  // namespace

HANDLE WindowsPlatform::CreateFileInFolder(HANDLE folder, const std::string& name, DWORD desiredAccess,
                                           DWORD creationDisposition) {
    const std::string path = InFolder(folder, name);
    if (path.empty()) return ours::kInvalidHandle;
    // A reparse point under the name is opened as itself, never followed.
    return FromWin(::CreateFileA(path.c_str(), desiredAccess, FILE_SHARE_READ, nullptr, creationDisposition,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

HANDLE WindowsPlatform::CreateFolderInFolder(HANDLE folder, const std::string& name) {
    const std::string path = InFolder(folder, name);
    if (path.empty()) return ours::kInvalidHandle;
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return ours::kInvalidHandle;
    const HANDLE made = FromWin(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (made == ours::kInvalidHandle) return ours::kInvalidHandle;
    ::BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(ToWin(made), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(ToWin(made));
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return ours::kInvalidHandle;
    }
    return made;
}

bool WindowsPlatform::MoveFileInFolder(HANDLE folder, const std::string& existingName, const std::string& newName,
                                       DWORD flags) {
    const std::string from = InFolder(folder, existingName), to = InFolder(folder, newName);
    if (from.empty() || to.empty()) return false;
    return ::MoveFileExA(from.c_str(), to.c_str(), flags & MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool WindowsPlatform::DeleteFileInFolder(HANDLE folder, const std::string& name) {
    const std::string path = InFolder(folder, name);
    return !path.empty() && ::DeleteFileA(path.c_str()) != FALSE;
}

std::optional<Platform::SharedStorage> WindowsPlatform::FindSharedStorageOfFolder(HANDLE folder,
                                                                                   const std::string& rootPathName) {
    char path[32768];
    const ::DWORD length = ::GetFinalPathNameByHandleA(ToWin(folder), path, sizeof path, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof path) return SharedStorage{"the folder's place cannot be asked for", false};
    std::string folderPath(path, length);
    if (folderPath.rfind("\\\\?\\", 0) == 0) folderPath.erase(0, 4);
    if (folderPath.back() != '\\') folderPath += '\\';
    return FindSharedStorage(folderPath, rootPathName);
}

std::optional<std::vector<FindData>> WindowsPlatform::FindFiles(const std::string& pattern) {
    ::WIN32_FIND_DATAA data{};
    const ::HANDLE search = ::FindFirstFileA(pattern.c_str(), &data);
    std::vector<FindData> found;
    if (FromWin(search) == ours::kInvalidHandle) {
        const ::DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return found;
        return std::nullopt;
    }
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        FindData entry;
        entry.cFileName = name;
        entry.dwFileAttributes = data.dwFileAttributes;
        entry.nFileSize = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
        found.push_back(std::move(entry));
    } while (::FindNextFileA(search, &data));
    ::FindClose(search);
    return found;
}

bool WindowsPlatform::GetVersionExA(OSVERSIONINFOA& versionInformation) {
    if (versionInformation.dwOSVersionInfoSize < ours::kVersionInfoSize) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    ::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)  // deprecated, but it is the call the program makes
#endif
    const BOOL got = ::GetVersionExA(&info);
#ifdef _MSC_VER
#pragma warning(pop)
#endif
    if (!got) return false;
    versionInformation.dwMajorVersion = info.dwMajorVersion;
    versionInformation.dwMinorVersion = info.dwMinorVersion;
    versionInformation.dwBuildNumber = info.dwBuildNumber;
    versionInformation.dwPlatformId = info.dwPlatformId;
    std::memcpy(versionInformation.szCSDVersion, info.szCSDVersion, sizeof versionInformation.szCSDVersion);
    return true;
}

DWORD WindowsPlatform::GetTempPathA(std::span<char> buffer) {
    return ::GetTempPathA(Length(buffer), buffer.empty() ? nullptr : buffer.data());
}

int WindowsPlatform::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

LONG WindowsPlatform::RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, DWORD samDesired,
                                    HKEY& result) {
    ::HKEY opened = nullptr;
    const ::LONG status = ::RegOpenKeyExA(ToWin(key), subKey.c_str(), options, samDesired, &opened);
    if (status == ERROR_SUCCESS) result = reinterpret_cast<HKEY>(opened);
    return status;
}

LONG WindowsPlatform::RegQueryValueExA(HKEY key, const std::string& valueName, DWORD& type,
                                       std::span<std::uint8_t> data, DWORD& dataSize) {
    ::DWORD valueType = 0;
    ::DWORD size = Length(data);
    const ::LONG status = ::RegQueryValueExA(ToWin(key), valueName.c_str(), nullptr, &valueType,
                                             data.empty() ? nullptr : data.data(), &size);
    type = valueType;
    dataSize = size;
    return status;
}

LONG WindowsPlatform::RegCloseKey(HKEY key) { return ::RegCloseKey(ToWin(key)); }

bool WindowsPlatform::StartProgram(const std::string& path) {
    ::STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    ::PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + path + "\"";
    if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    // Not waited for: the handles are only let go of.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

Platform::LowBlock WindowsPlatform::AllocateLowMemory(std::size_t size) {
    if (size == 0) return {};
    void* memory = ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);  // zero-filled
    if (!memory) return {};
    const auto address = reinterpret_cast<std::uintptr_t>(memory);
    // The 9x service takes 32-bit addresses; memory it cannot name is of no use to it.
    if (address > std::numeric_limits<std::uint32_t>::max() || size > std::numeric_limits<std::uint32_t>::max() - address) {
        ::VirtualFree(memory, 0, MEM_RELEASE);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return {};
    }
    return LowBlock{std::span<std::uint8_t>(static_cast<std::uint8_t*>(memory), size),
                    static_cast<std::uint32_t>(address)};
}

void WindowsPlatform::FreeLowMemory(const LowBlock& block) {
    if (!block.bytes.empty()) ::VirtualFree(block.bytes.data(), 0, MEM_RELEASE);
}

}  // namespace kelvara
