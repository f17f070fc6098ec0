#include "platform/posix/posix_platform.h"

#include <pwd.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/drive_string.h"
#include "platform/posix/disk_free_space.h"
#include "platform/posix/dos_file.h"
#include "platform/posix/dos_path.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/file_pointer.h"
#include "platform/posix/file_search.h"
#include "platform/posix/file_times.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/posix_errors.h"
#include "platform/posix/program_launcher.h"
#include "platform/posix/storage_trace.h"
#include "platform/posix/temp_folder.h"

namespace kelvara {
namespace {

constexpr int kScrollBarPixels = 17;

std::string HomeFolder(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char text[4096];
    if (::getpwuid_r(::getuid(), &entry, text, sizeof text, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

PosixPlatform::Options OptionsForImages(const std::vector<std::string>& imagePaths) {
    PosixPlatform::Options options;
    for (const std::string& path : imagePaths) options.images.push_back(AttachedImage{path, 0, {}});
    return options;
}

// Win32 buffer rule: the text and its NUL when they fit, returning the length without the NUL;
// otherwise the size needed, NUL included.
DWORD CopyOut(const std::string& text, std::span<char> buffer) {
    const auto needed = static_cast<DWORD>(text.size() + 1);
    if (buffer.size() < needed) return needed;
    std::memcpy(buffer.data(), text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

// The nearest folder at or above `path` that is there: a destination is looked at before it is
// made. nullopt with errno set when the way up is blocked by something other than absence.
std::optional<std::string> NearestExisting(std::string path) {
    struct stat info {};
    while (::stat(path.c_str(), &info) != 0) {
        const auto slash = path.find_last_of('/');
        if ((errno != ENOENT && errno != ENOTDIR) || slash == std::string::npos) return std::nullopt;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    return path;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

template <class T>
T* As(const std::shared_ptr<HandleObject>& object) {
    return object ? std::get_if<T>(object.get()) : nullptr;
}

}  // namespace

PosixPlatform::PosixPlatform(Options options)
    : platformId_(options.platformId),
      sysRoot_(options.sysRoot),
      udisks_(options.sysRoot == "/" ? Udisks::Connect() : nullptr),
      opener_(udisks_.get()),
      drives_(options.images, HomeFolder(options.home), options.sysRoot, opener_, udisks_.get()),
      vwin32_(lowMemory_, [this](char letter, DWORD& dosError) { return ServiceVolume(letter, dosError); }) {
    std::lock_guard lock(mutex_);
    drives_.RefreshRemovable();
}

PosixPlatform::PosixPlatform(const std::vector<std::string>& imagePaths) : PosixPlatform(OptionsForImages(imagePaths)) {}

PosixPlatform::~PosixPlatform() = default;

std::optional<Drive> PosixPlatform::FindDrive(char letter) const {
    std::lock_guard lock(mutex_);
    return drives_.Find(letter);
}

std::optional<std::string> PosixPlatform::ToPosixPath(const std::string& path) const {
    DWORD error = 0;
    auto posix = DosToPosixPath(path, [this](char letter) -> std::optional<std::string> {
        const auto drive = FindDrive(letter);
        if (!drive) return std::nullopt;
        return drive->folder;
    }, error);
    if (!posix) SetLastWin32Error(error);
    return posix;
}

// --- drives ------------------------------------------------------------------------------------

DWORD PosixPlatform::GetLogicalDriveStringsA(std::span<char> buffer) {
    std::string list;
    {
        std::lock_guard lock(mutex_);
        drives_.RefreshRemovable();
        for (const Drive& drive : drives_.Drives()) {
            list += DriveRoot(drive.letter);
            list += '\0';
        }
    }
    return CopyOut(list, buffer);
}

DWORD PosixPlatform::GetDriveTypeA(const std::string& rootPathName) {
    const auto letter = ParseDriveRoot(rootPathName);
    if (!letter) return DRIVE_NO_ROOT_DIR;
    const auto drive = FindDrive(*letter);
    return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

DWORD PosixPlatform::QueryDosDeviceA(const std::string& deviceName, std::span<char> targetPath) {
    const auto letter = ParseDriveRoot(deviceName);
    const auto drive = letter ? FindDrive(*letter) : std::nullopt;
    if (!drive) return FailWith(ERROR_FILE_NOT_FOUND), 0;
    const std::string& target = drive->target;
    if (target.size() + 2 > targetPath.size()) return FailWith(ERROR_INSUFFICIENT_BUFFER), 0;
    std::copy(target.begin(), target.end(), targetPath.begin());
    targetPath[target.size()] = '\0';
    targetPath[target.size() + 1] = '\0';
    return static_cast<DWORD>(target.size() + 2);
}

bool PosixPlatform::GetDiskFreeSpaceA(const std::string& rootPathName, DWORD& sectorsPerCluster,
                                      DWORD& bytesPerSector, DWORD& numberOfFreeClusters,
                                      DWORD& totalNumberOfClusters) {
    const auto letter = ParseDriveRoot(rootPathName);
    if (!letter) return FailWith(ERROR_INVALID_NAME);
    const auto drive = FindDrive(*letter);
    if (!drive) return FailWith(ERROR_PATH_NOT_FOUND);
    if (!drive->mediumPresent) return FailWith(ERROR_NOT_READY);

    DWORD error = ERROR_NOT_READY;
    std::string reason;
    std::optional<DiskFreeSpace> space;
    if (drive->volume) {
        if (const auto volume = opener_.Open(*drive->volume, error, reason)) {
            space = FreeSpaceOfVolume(*volume);
            if (!space) error = ERROR_UNRECOGNIZED_VOLUME;
        }
    }
    // The volume itself cannot be read or understood, but where it is mounted the kernel knows.
    if (!space && !drive->folder.empty()) {
        space = FreeSpaceOfFolder(drive->folder, error);
        reason.clear();
    }
    if (!space) return FailWith(error, reason);

    sectorsPerCluster = space->sectorsPerCluster;
    bytesPerSector = space->bytesPerSector;
    numberOfFreeClusters = space->freeClusters;
    totalNumberOfClusters = space->totalClusters;
    return true;
}

// --- files, volumes and devices ------------------------------------------------------------------

HANDLE PosixPlatform::OpenVolume(char letter) {
    const auto drive = FindDrive(letter);
    if (!drive) {
        FailWith(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (drive->type == DRIVE_FIXED) {  // the home folder and / are folders, not volumes to read raw
        FailWith(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!drive->volume || !drive->mediumPresent) {
        FailWith(drive->volume ? ERROR_NOT_READY : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto volume = OpenDriveVolume(*drive);
    if (!volume) return INVALID_HANDLE_VALUE;
    SetLastWin32Error(0);
    return handles_.Insert(VolumeHandle{std::make_shared<const RawVolume>(std::move(*volume)), 0});
}

std::optional<RawVolume> PosixPlatform::OpenDriveVolume(const Drive& drive) {
    DWORD error = 0;
    std::string reason;
    auto volume = opener_.Open(*drive.volume, error, reason);
    if (!volume) FailWith(error, reason);
    return volume;
}

HANDLE PosixPlatform::CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                                  DWORD creationDisposition, DWORD flagsAndAttributes) {
    if (const auto device = ParseDeviceName(fileName)) {
        switch (device->kind) {
            // Volumes open read-only whatever access is asked: the card is never written.
            case DeviceName::Kind::Volume: return OpenVolume(device->letter);
            case DeviceName::Kind::Vwin32:
                if (platformId_ != VER_PLATFORM_WIN32_WINDOWS) break;  // only the 9x family has it
                SetLastWin32Error(0);
                return handles_.Insert(DeviceHandle{});
            case DeviceName::Kind::Unknown: break;
        }
        FailWith(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const auto path = ToPosixPath(fileName);
    if (!path) return INVALID_HANDLE_VALUE;
    DWORD error = 0;
    auto opened = OpenDosFile(*path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes, error);
    if (!opened) {
        FailWith(error);
        return INVALID_HANDLE_VALUE;
    }
    SetLastWin32Error(opened->existed ? ERROR_ALREADY_EXISTS : 0);
    return handles_.Insert(FileHandle{std::move(opened->fd), std::move(opened->hold)});
}

DWORD PosixPlatform::SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh, DWORD moveMethod) {
    const auto object = handles_.Find(file);
    std::int64_t current = 0, end = 0;
    if (auto* f = As<FileHandle>(object)) {
        struct stat info {};
        const off_t at = ::lseek(f->fd.get(), 0, SEEK_CUR);
        if (at < 0 || ::fstat(f->fd.get(), &info) != 0) {
            FailWithErrno(errno);
            return INVALID_SET_FILE_POINTER;
        }
        current = at;
        end = info.st_size;
    } else if (auto* v = As<VolumeHandle>(object)) {
        current = v->position;
        end = static_cast<std::int64_t>(std::min<std::uint64_t>(v->volume->length(), INT64_MAX));
    } else {
        FailWith(object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }

    DWORD error = 0;
    const auto target = FilePointerTarget(current, end, distanceToMove, distanceToMoveHigh, moveMethod, error);
    if (!target) {
        FailWith(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (auto* f = As<FileHandle>(object)) {
        if (::lseek(f->fd.get(), static_cast<off_t>(*target), SEEK_SET) < 0) {
            FailWithErrno(errno);
            return INVALID_SET_FILE_POINTER;
        }
    } else {
        As<VolumeHandle>(object)->position = *target;
    }
    if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(*target) >> 32);
    SetLastWin32Error(0);  // so a low part of 0xFFFFFFFF can be told from a failure
    return static_cast<DWORD>(static_cast<std::uint64_t>(*target));
}

bool PosixPlatform::ReadFile(HANDLE file, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead) {
    numberOfBytesRead = 0;
    buffer = buffer.first(std::min<std::size_t>(buffer.size(), UINT32_MAX));
    const auto object = handles_.Find(file);
    if (auto* f = As<FileHandle>(object)) {
        DWORD error = 0;
        return ReadFileBytes(f->fd.get(), buffer, numberOfBytesRead, error) || FailWith(error);
    }
    if (auto* v = As<VolumeHandle>(object)) {
        // An image file is a card in a reader: deleted or replaced, it has been taken out, though
        // its bytes would read on through the descriptor held.
        if (v->volume->IsFile() && !v->volume->StillCurrent()) return FailWith(ERROR_NOT_READY);
        const ssize_t got = v->volume->ReadAt(static_cast<std::uint64_t>(v->position), buffer);
        if (got < 0) {
            // A card that went answers every read with an I/O error, as a bad sector does: it is
            // told apart by its device no longer being there (or its FUSE server gone). A sector
            // that fails on a card still there is unreadable, and the reader reads on.
            const int error = errno;
            if (error == ENOTCONN || (error == EIO && !v->volume->StillCurrent())) return FailWith(ERROR_NOT_READY);
            return FailWithErrno(error, IoDirection::Read);
        }
        v->position += got;
        numberOfBytesRead = static_cast<DWORD>(got);
        return true;
    }
    return FailWith(object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
}

bool PosixPlatform::WriteFile(HANDLE file, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten) {
    numberOfBytesWritten = 0;
    buffer = buffer.first(std::min<std::size_t>(buffer.size(), UINT32_MAX));
    const auto object = handles_.Find(file);
    if (auto* f = As<FileHandle>(object)) {
        DWORD error = 0;
        return WriteFileBytes(f->fd.get(), buffer, numberOfBytesWritten, error) || FailWith(error);
    }
    if (As<VolumeHandle>(object)) return FailWith(ERROR_ACCESS_DENIED);  // opened read-only, always
    return FailWith(object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
}

bool PosixPlatform::DeviceIoControl(HANDLE device, DWORD ioControlCode, std::span<std::uint8_t> inBuffer,
                                    std::span<std::uint8_t> outBuffer, DWORD& bytesReturned) {
    bytesReturned = 0;
    const auto object = handles_.Find(device);
    if (auto* v = As<VolumeHandle>(object)) {
        // A volume answers for its length: the partition's, or the whole image's or device's.
        if (ioControlCode != IOCTL_DISK_GET_LENGTH_INFO) return FailWith(ERROR_INVALID_FUNCTION);
        if (outBuffer.size() < sizeof(std::uint64_t)) return FailWith(ERROR_INSUFFICIENT_BUFFER);
        StoreLe64(outBuffer, 0, v->volume->length());
        bytesReturned = sizeof(std::uint64_t);
        return SetLastWin32Error(0), true;
    }
    if (!As<DeviceHandle>(object)) return FailWith(object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    DWORD error = 0;
    return vwin32_.Control(ioControlCode, inBuffer, outBuffer, bytesReturned, error) || FailWith(error);
}

std::shared_ptr<const RawVolume> PosixPlatform::ServiceVolume(char letter, DWORD& dosError) {
    std::lock_guard lock(mutex_);
    const auto drive = drives_.Find(letter);
    auto& cached = serviceVolumes_[letter];
    if (!drive || !drive->volume) {
        cached.reset();
        dosError = ERROR_INVALID_DRIVE;
        return nullptr;
    }
    if (!drive->mediumPresent) {
        cached.reset();
        dosError = ERROR_NOT_READY;
        return nullptr;
    }
    if (cached && cached->source() == *drive->volume && cached->StillCurrent()) return cached;
    auto volume = OpenDriveVolume(*drive);
    if (!volume) {
        cached.reset();
        dosError = ERROR_NOT_READY;
        return nullptr;
    }
    cached = std::make_shared<const RawVolume>(std::move(*volume));
    return cached;
}

bool PosixPlatform::CloseHandle(HANDLE object) { return handles_.Erase(object) || FailWith(ERROR_INVALID_HANDLE); }

DWORD PosixPlatform::GetLastError() { return LastWin32Error(); }

std::string PosixPlatform::FormatErrorMessage(DWORD errorCode) {
    // The reason given with the last error says more than its code: what the file is, what to do.
    const std::string reason = ReasonGivenWith(errorCode);
    return reason.empty() ? PosixErrorMessage(errorCode) : reason;
}

bool PosixPlatform::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
    const auto object = handles_.Find(file);
    struct stat info {};
    if (auto* f = As<FileHandle>(object)) {
        if (::fstat(f->fd.get(), &info) != 0) return FailWithErrno(errno);
    } else if (auto* v = As<VolumeHandle>(object)) {
        if (!v->volume->Stat(info)) return FailWithErrno(errno);
        // A loop device reads a file: that file is what the volume stands for.
        if (const auto backing = v->volume->BackingFile()) {
            info.st_dev = backing->device;
            info.st_ino = backing->inode;
        }
    } else {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    information = BY_HANDLE_FILE_INFORMATION{};
    information.dwFileAttributes = FileAttributesOf(info);
    // The file system's device number stands for the volume, the inode for the file.
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    information.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    const auto size = static_cast<std::uint64_t>(info.st_size);
    information.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information.nFileSizeLow = static_cast<DWORD>(size);
    information.nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    const auto inode = static_cast<std::uint64_t>(info.st_ino);
    information.nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    information.nFileIndexLow = static_cast<DWORD>(inode);
    return SetLastWin32Error(0), true;
}

bool PosixPlatform::SetFileTime(HANDLE file, const FILETIME* /*creationTime: POSIX keeps none to set*/,
                                const FILETIME* lastAccessTime, const FILETIME* lastWriteTime) {
    auto* f = As<FileHandle>(handles_.Find(file));
    if (!f) return FailWith(ERROR_INVALID_HANDLE);
    return SetFileTimes(f->fd.get(), lastAccessTime, lastWriteTime) ? (SetLastWin32Error(0), true) : FailWithErrno(errno);
}

bool PosixPlatform::TzSpecificLocalTimeToSystemTime(const SYSTEMTIME& localTime, SYSTEMTIME& universalTime) {
    return LocalTimeToUtc(localTime, universalTime) || FailWith(ERROR_INVALID_PARAMETER);
}

// --- file system ---------------------------------------------------------------------------------

bool PosixPlatform::DeleteFileA(const std::string& fileName) {
    const auto path = ToPosixPath(fileName);
    if (!path) return false;
    struct stat info {};
    if (::lstat(path->c_str(), &info) != 0)
        return FailWith(errno == ENOENT ? Win32ErrorForMissing(*path) : Win32ErrorFromErrno(errno));
    if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    // unlink removes a link itself, never what it points at.
    if (::unlink(path->c_str()) != 0) return FailWithErrno(errno);
    return true;
}

bool PosixPlatform::MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) {
    const auto from = ToPosixPath(existingFileName);
    const auto to = from ? ToPosixPath(newFileName) : std::nullopt;
    if (!to) return false;
    struct stat info {};
    if (::lstat(from->c_str(), &info) != 0)
        return FailWith(errno == ENOENT ? Win32ErrorForMissing(*from) : Win32ErrorFromErrno(errno));
    if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && ::lstat(to->c_str(), &info) == 0) return FailWith(ERROR_ALREADY_EXISTS);
    // rename replaces the entry of the new name, a link included, and never writes through it.
    if (::rename(from->c_str(), to->c_str()) != 0) {
        if (errno == EXDEV) return FailWith(ERROR_NOT_SAME_DEVICE);
        return FailWithErrno(errno == EISDIR || errno == ENOTEMPTY ? EACCES : errno);
    }
    return true;
}

bool PosixPlatform::CreateDirectoryA(const std::string& pathName) {
    const auto path = ToPosixPath(pathName);
    if (!path) return false;
    if (::mkdir(path->c_str(), 0777) == 0) return true;
    if (errno == EEXIST) return FailWith(ERROR_ALREADY_EXISTS);
    if (errno == ENOENT) return FailWith(ERROR_PATH_NOT_FOUND);
    return FailWithErrno(errno);
}

DWORD PosixPlatform::GetFileAttributesA(const std::string& fileName) {
    const auto path = ToPosixPath(fileName);
    if (!path) return INVALID_FILE_ATTRIBUTES;
    struct stat info {};
    // A drive's root is the folder it stands for, even when that folder is reached through a link.
    const int result = ParseDriveRoot(fileName) ? ::stat(path->c_str(), &info) : ::lstat(path->c_str(), &info);
    if (result != 0) {
        FailWith(errno == ENOENT ? Win32ErrorForMissing(*path) : Win32ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    // A link to a folder is a folder that is a link, as Windows reports its folder links.
    struct stat target {};
    if (S_ISLNK(info.st_mode) && ::stat(path->c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return FileAttributesOf(info);
}

bool PosixPlatform::GetVolumePathNameA(const std::string& fileName, std::span<char> volumePathName) {
    const auto path = ToPosixPath(fileName);
    if (!path) return false;
    const auto existing = NearestExisting(*path);
    if (!existing) return FailWithErrno(errno);
    std::vector<Drive> drives;
    {
        std::lock_guard lock(mutex_);
        drives = drives_.Drives();
    }
    // A drive's volume, wherever and however it is mounted, is named by the drive.
    char letter = 0;
    StorageTracer tracer(sysRoot_);
    const StorageTrace folder = tracer.WhatStoresFolder(*existing);
    for (const Drive& drive : drives) {
        if (!drive.volume) continue;
        const auto meeting = Meet(folder, tracer.WhatHoldsVolume(drive.volume->path));
        if (meeting && meeting->certain) {
            letter = drive.letter;
            break;
        }
    }
    // Anywhere else, the drive whose folder holds the path nearest: a card's mount folder, the
    // home folder's C:, else Z:. Folders are told by identity, so links in the path do not matter.
    char resolved[PATH_MAX];
    if (letter == 0 && ::realpath(existing->c_str(), resolved)) {
        for (std::string up = resolved; letter == 0;) {
            struct stat here {};
            if (::stat(up.c_str(), &here) != 0) break;
            for (const Drive& drive : drives) {
                struct stat folderInfo {};
                if (!drive.folder.empty() && ::stat(drive.folder.c_str(), &folderInfo) == 0 && SameFile(here, folderInfo)) {
                    letter = drive.letter;
                    break;
                }
            }
            if (up == "/") break;
            const auto slash = up.find_last_of('/');
            up = slash == 0 ? "/" : up.substr(0, slash);
        }
    }
    if (letter == 0) return FailWith(ERROR_PATH_NOT_FOUND);
    const std::string root = DriveRoot(letter);
    if (root.size() + 1 > volumePathName.size()) return FailWith(ERROR_FILENAME_EXCED_RANGE);
    CopyOut(root, volumePathName);
    return SetLastWin32Error(0), true;
}

std::optional<Platform::SharedStorage> PosixPlatform::FindSharedStorage(const std::string& path,
                                                                         const std::string& rootPathName) {
    const auto posix = ToPosixPath(path);
    const auto existing = posix ? NearestExisting(*posix) : std::nullopt;
    if (!existing) return std::nullopt;  // where nothing can be looked at, nothing can be made either
    return SharedStorageAt(*existing, rootPathName);
}

std::optional<Platform::SharedStorage> PosixPlatform::FindSharedStorageOfFolder(HANDLE folder,
                                                                                 const std::string& rootPathName) {
    const auto fd = FolderFd(folder);
    if (!fd) return SharedStorage{"the folder is not open", false};
    // The kernel's own link to the open folder: whatever its path has become since.
    return SharedStorageAt("/proc/self/fd/" + std::to_string(*fd), rootPathName);
}

std::optional<Platform::SharedStorage> PosixPlatform::SharedStorageAt(const std::string& existing,
                                                                       const std::string& rootPathName) {
    const auto letter = ParseDriveRoot(rootPathName);
    const auto drive = letter ? FindDrive(*letter) : std::nullopt;
    if (!drive || !drive->volume) return std::nullopt;  // only a medium can be written over
    StorageTracer tracer(sysRoot_);
    const StorageTrace folder = tracer.WhatStoresFolder(existing);
    const auto meeting = Meet(folder, tracer.WhatHoldsVolume(drive->volume->path));
    if (!meeting) return std::nullopt;
    return SharedStorage{meeting->name, meeting->certain};
}

std::optional<std::vector<FindData>> PosixPlatform::FindFiles(const std::string& pattern) {
    // The folder keeps its separator, so "E:\\*.*" looks in E:'s root; "E:*.*" does the same.
    std::size_t cut = pattern.find_last_of("\\/");
    if (cut != std::string::npos) {
        ++cut;
    } else if (pattern.size() >= 2 && pattern[1] == ':') {
        cut = 2;
    } else {
        cut = 0;
    }
    const std::string folder = cut == 0 ? std::string(".") : std::string(pattern, 0, cut);
    const std::string namePattern(pattern, cut);
    const auto path = ToPosixPath(folder);
    if (!path) return std::nullopt;
    DWORD error = 0;
    auto found = FindMatchingFiles(*path, namePattern, error);
    if (!found) SetLastWin32Error(error);
    return found;
}

// --- files inside a folder held open -------------------------------------------------------------

std::optional<int> PosixPlatform::FolderFd(HANDLE folder) const {
    const auto object = handles_.Find(folder);
    auto* f = As<FileHandle>(object);
    struct stat info {};
    if (!f || ::fstat(f->fd.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        SetLastWin32Error(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    return f->fd.get();
}

bool PosixPlatform::PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

HANDLE PosixPlatform::CreateFileInFolder(HANDLE folder, const std::string& name, DWORD desiredAccess,
                                         DWORD creationDisposition) {
    const auto fd = FolderFd(folder);
    if (!fd) return INVALID_HANDLE_VALUE;
    if (!PlainName(name)) return FailWith(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
    DWORD error = 0;
    auto opened = OpenDosFile(name, desiredAccess, FILE_SHARE_READ, creationDisposition, 0, error, *fd);
    if (!opened) return FailWith(error), INVALID_HANDLE_VALUE;
    SetLastWin32Error(opened->existed ? ERROR_ALREADY_EXISTS : 0);
    return handles_.Insert(FileHandle{std::move(opened->fd), {}});
}

HANDLE PosixPlatform::CreateFolderInFolder(HANDLE folder, const std::string& name) {
    const auto fd = FolderFd(folder);
    if (!fd) return INVALID_HANDLE_VALUE;
    if (!PlainName(name)) return FailWith(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
    if (::mkdirat(*fd, name.c_str(), 0777) != 0 && errno != EEXIST) return FailWithErrno(errno), INVALID_HANDLE_VALUE;
    // A link planted where the folder is made is refused, not followed.
    UniqueFd made(::openat(*fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!made.valid())
        return FailWith(errno == ELOOP || errno == ENOTDIR ? ERROR_ALREADY_EXISTS : Win32ErrorFromErrno(errno)),
               INVALID_HANDLE_VALUE;
    SetLastWin32Error(0);
    return handles_.Insert(FileHandle{std::move(made), {}});
}

bool PosixPlatform::MoveFileInFolder(HANDLE folder, const std::string& existingName, const std::string& newName,
                                     DWORD flags) {
    const auto fd = FolderFd(folder);
    if (!fd) return false;
    if (!PlainName(existingName) || !PlainName(newName)) return FailWith(ERROR_INVALID_NAME);
    struct stat info {};
    if (::fstatat(*fd, existingName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return FailWithErrno(errno);
    if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
        // In one step where the file system can; elsewhere only this writer, holding the folder,
        // makes names in it.
        constexpr unsigned kRenameNoReplace = 1;
        if (::syscall(SYS_renameat2, *fd, existingName.c_str(), *fd, newName.c_str(), kRenameNoReplace) == 0) return true;
        if (errno == EEXIST) return FailWith(ERROR_ALREADY_EXISTS);
        if (errno != EINVAL && errno != ENOSYS) return FailWithErrno(errno);
        if (::fstatat(*fd, newName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return FailWith(ERROR_ALREADY_EXISTS);
    }
    if (::renameat(*fd, existingName.c_str(), *fd, newName.c_str()) != 0) {
        if (errno == EXDEV) return FailWith(ERROR_NOT_SAME_DEVICE);
        return FailWithErrno(errno == EISDIR || errno == ENOTEMPTY ? EACCES : errno);
    }
    return true;
}

bool PosixPlatform::DeleteFileInFolder(HANDLE folder, const std::string& name) {
    const auto fd = FolderFd(folder);
    if (!fd) return false;
    if (!PlainName(name)) return FailWith(ERROR_INVALID_NAME);
    struct stat info {};
    if (::fstatat(*fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return FailWith(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno));
    if (S_ISDIR(info.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    return ::unlinkat(*fd, name.c_str(), 0) == 0 || FailWithErrno(errno);
}

// --- system --------------------------------------------------------------------------------------

bool PosixPlatform::GetVersionExA(OSVERSIONINFOA& versionInformation) {
    constexpr DWORD kVersionInfoSize = 148;
    if (versionInformation.dwOSVersionInfoSize < kVersionInfoSize) return FailWith(ERROR_INSUFFICIENT_BUFFER);
    switch (platformId_) {
        case VER_PLATFORM_WIN32_NT:  // Windows XP
            versionInformation.dwMajorVersion = 5;
            versionInformation.dwMinorVersion = 1;
            versionInformation.dwBuildNumber = 2600;
            break;
        case VER_PLATFORM_WIN32_WINDOWS:  // Windows 98 Second Edition
            versionInformation.dwMajorVersion = 4;
            versionInformation.dwMinorVersion = 10;
            versionInformation.dwBuildNumber = 2222;
            break;
        default:  // Win32s
            versionInformation.dwMajorVersion = 3;
            versionInformation.dwMinorVersion = 10;
            versionInformation.dwBuildNumber = 0;
            break;
    }
    versionInformation.dwPlatformId = platformId_;
    std::memset(versionInformation.szCSDVersion, 0, sizeof versionInformation.szCSDVersion);
    return true;
}

DWORD PosixPlatform::GetTempPathA(std::span<char> buffer) {
    DWORD error = 0;
    const auto folder = PrivateTempFolder(error);
    if (!folder) {
        FailWith(error);
        return 0;
    }
    return CopyOut(*folder, buffer);
}

int PosixPlatform::GetSystemMetrics(int index) {
    return index == SM_CXVSCROLL || index == SM_CYHSCROLL ? kScrollBarPixels : 0;
}

LONG PosixPlatform::RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD /*options*/, DWORD /*samDesired*/,
                                  HKEY& result) {
    return registry_.Open(key, subKey, result);
}

LONG PosixPlatform::RegQueryValueExA(HKEY key, const std::string& valueName, DWORD& type,
                                     std::span<std::uint8_t> data, DWORD& dataSize) {
    return registry_.Query(key, valueName, type, data, dataSize);
}

LONG PosixPlatform::RegCloseKey(HKEY key) { return registry_.Close(key); }

bool PosixPlatform::StartProgram(const std::string& path) {
    const auto program = ToPosixPath(path);
    if (!program) return false;
    DWORD error = 0;
    return LaunchDetached(*program, error) || FailWith(error);
}

Platform::LowBlock PosixPlatform::AllocateLowMemory(std::size_t size) {
    LowBlock block = lowMemory_.Allocate(size);
    if (block.bytes.empty()) SetLastWin32Error(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

void PosixPlatform::FreeLowMemory(const LowBlock& block) { lowMemory_.Free(block); }

}  // namespace kelvara
