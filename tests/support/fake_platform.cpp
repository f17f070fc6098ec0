#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/drive_string.h"
#include "platform/error_messages.h"
#include "platform/vwin32_request.h"
#include "platform/wildcard.h"

namespace kelvara::testing {
namespace {

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// "C:\\Out\" and "C:\Out" name the same folder.
std::string Normalize(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    if (out.size() > 3 && out.back() == '\\') out.pop_back();
    return out;
}

std::string Parent(const std::string& path) {
    const auto cut = path.find_last_of('\\');
    if (cut == std::string::npos) return {};
    std::string parent = path.substr(0, cut);
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';
    return parent;
}

std::string Leaf(const std::string& path) {
    const auto cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The drive a drive text names; 0 when it names none.
char RootLetter(const std::string& root) {
    if (root.size() < 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0]))) return 0;
    return DriveLetter(root);
}

}  // namespace

FakePlatform::FakePlatform() {
    folders.insert("C:\\");
    folders.insert("C:\\Temp");
}

FakePlatform::~FakePlatform() = default;

std::vector<std::uint8_t>& FakePlatform::AddVolume(char letter, std::int64_t sectors) {
    Drive& drive = drives[letter];
    drive.type = DRIVE_REMOVABLE;
    drive.volume = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(sectors) * 512);
    drive.sectorsPerCluster = 1;
    drive.totalClusters = static_cast<DWORD>(sectors);
    drive.sizeKnown = true;
    return *drive.volume;
}

std::vector<std::string> FakePlatform::CallsNamed(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& call : calls)
        if (call.rfind(name + "(", 0) == 0) out.push_back(call);
    return out;
}

void FakePlatform::Record(const std::string& line) {
    calls.push_back(line);
    if (onCall) onCall(line);
}

bool FakePlatform::Fail(DWORD error) {
    lastError_ = error;
    return false;
}

std::int64_t FakePlatform::FileBytes() const {
    std::int64_t total = 0;
    for (const auto& [path, bytes] : files) total += static_cast<std::int64_t>(bytes.size());
    return total;
}

DWORD FakePlatform::GetLogicalDriveStringsA(std::span<char> buffer) {
    Record("GetLogicalDriveStringsA(" + std::to_string(buffer.size()) + ")");
    if (driveStringsFail) return Fail(ERROR_NOT_READY), 0;
    std::string list;
    for (const auto& [letter, drive] : drives) {
        list += DriveRoot(letter);
        list += '\0';
    }
    if (buffer.size() < list.size() + 1) return static_cast<DWORD>(list.size() + 1);
    std::copy(list.begin(), list.end(), buffer.begin());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
}

DWORD FakePlatform::GetDriveTypeA(const std::string& rootPathName) {
    Record("GetDriveTypeA(" + rootPathName + ")");
    const auto it = drives.find(RootLetter(rootPathName));
    return it == drives.end() ? DRIVE_NO_ROOT_DIR : it->second.type;
}

DWORD FakePlatform::QueryDosDeviceA(const std::string& deviceName, std::span<char> targetPath) {
    Record("QueryDosDeviceA(" + deviceName + ")");
    if (!drives.count(RootLetter(deviceName))) return Fail(ERROR_FILE_NOT_FOUND), 0;
    const std::string target = std::string("\\Device\\Fake") + RootLetter(deviceName);
    if (target.size() + 2 > targetPath.size()) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
    std::copy(target.begin(), target.end(), targetPath.begin());
    targetPath[target.size()] = '\0';
    targetPath[target.size() + 1] = '\0';
    return static_cast<DWORD>(target.size() + 2);
}

bool FakePlatform::GetDiskFreeSpaceA(const std::string& rootPathName, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                                     DWORD& numberOfFreeClusters, DWORD& totalNumberOfClusters) {
    Record("GetDiskFreeSpaceA(" + rootPathName + ")");
    const auto it = drives.find(RootLetter(rootPathName));
    if (it == drives.end()) return Fail(ERROR_INVALID_DRIVE);
    const Drive& drive = it->second;
    if (!drive.sizeKnown) return Fail(ERROR_NOT_READY);
    sectorsPerCluster = drive.sectorsPerCluster;
    bytesPerSector = drive.bytesPerSector;
    numberOfFreeClusters = drive.freeClusters;
    totalNumberOfClusters = drive.totalClusters;
    return true;
}

HANDLE FakePlatform::CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                                 DWORD creationDisposition, DWORD flagsAndAttributes) {
    Record("CreateFileA(" + fileName + ", " + Hex(desiredAccess) + ", " + std::to_string(shareMode) + ", " +
           std::to_string(creationDisposition) + ", " + std::to_string(flagsAndAttributes) + ")");
    Handle handle;
    if (fileName == "\\\\.\\VWIN32") {
        if (platformId == VER_PLATFORM_WIN32_NT) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        handle.kind = Handle::Kind::Vwin32;
    } else if (fileName.rfind("\\\\.\\", 0) == 0) {
        const char letter = RootLetter(fileName.substr(4));
        const auto it = drives.find(letter);
        if (it == drives.end() || fileName.size() != 6) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (!it->second.volume) return Fail(ERROR_NOT_READY), INVALID_HANDLE_VALUE;
        handle.kind = Handle::Kind::Volume;
        handle.letter = letter;
    } else {
        const std::string path = Normalize(fileName);
        const bool exists = files.count(path) > 0;
        const bool writing = (desiredAccess & GENERIC_WRITE) != 0;
        if (folders.count(path) && (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)) {
            for (const auto& [id, open] : handles_)
                if (open.kind == Handle::Kind::Folder && open.path == path && (open.held || shareMode == 0))
                    return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
            handle.kind = Handle::Kind::Folder;
            handle.path = path;
            handle.held = shareMode == 0;
            const HANDLE id = nextHandle_++;
            handles_[id] = handle;
            return id;
        }
        if (folders.count(path)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        if (!folders.count(Parent(path))) return Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (writing && readOnly) return Fail(ERROR_WRITE_PROTECT), INVALID_HANDLE_VALUE;
        switch (creationDisposition) {
            case CREATE_NEW:
                if (exists) return Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
                files[path];
                break;
            case CREATE_ALWAYS: files[path].clear(); break;
            case OPEN_EXISTING:
                if (!exists) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
                break;
            case OPEN_ALWAYS: files[path]; break;
            case TRUNCATE_EXISTING:
                if (!exists) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
                files[path].clear();
                break;
            default: return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
        }
        handle.kind = Handle::Kind::File;
        handle.path = path;
        handle.writable = writing;
    }
    const HANDLE id = nextHandle_++;
    handles_[id] = handle;
    return id;
}

DWORD FakePlatform::SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh, DWORD moveMethod) {
    const std::int64_t move = distanceToMoveHigh
                                  ? (std::int64_t{*distanceToMoveHigh} << 32) | static_cast<std::uint32_t>(distanceToMove)
                                  : std::int64_t{distanceToMove};
    Record("SetFilePointer(" + std::to_string(move) + ", " + std::to_string(moveMethod) + ")");
    const auto it = handles_.find(file);
    if (it == handles_.end()) return Fail(ERROR_INVALID_HANDLE), INVALID_SET_FILE_POINTER;
    std::int64_t base = 0;
    if (moveMethod == FILE_CURRENT) base = it->second.position;
    if (moveMethod == FILE_END) {
        base = it->second.kind == Handle::Kind::Volume
                   ? static_cast<std::int64_t>(drives[it->second.letter].volume->size())
                   : static_cast<std::int64_t>(files[it->second.path].size());
    }
    const std::int64_t position = base + move;
    if (position < 0) return Fail(ERROR_NEGATIVE_SEEK), INVALID_SET_FILE_POINTER;
    it->second.position = position;
    if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(position >> 32);
    return static_cast<DWORD>(position);
}

bool FakePlatform::ReadFile(HANDLE file, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead) {
    Record("ReadFile(" + std::to_string(buffer.size()) + ")");
    numberOfBytesRead = 0;
    const auto it = handles_.find(file);
    if (it == handles_.end()) return Fail(ERROR_INVALID_HANDLE);
    Handle& handle = it->second;
    const std::vector<std::uint8_t>* source = nullptr;
    std::int64_t zeros = 0;
    if (handle.kind == Handle::Kind::Volume) {
        Drive& drive = drives[handle.letter];
        if (!drive.volume) return Fail(ERROR_NOT_READY);  // pulled while open
        if (!buffer.empty()) {
            const std::int64_t first = handle.position / 512;
            const std::int64_t last = (handle.position + static_cast<std::int64_t>(buffer.size()) - 1) / 512;
            const auto bad = drive.badSectors.lower_bound(first);
            if (bad != drive.badSectors.end() && *bad <= last) return Fail(ERROR_CRC);
        }
        source = drive.volume.get();
        zeros = drive.zeroSectors * 512;
    } else if (handle.kind == Handle::Kind::File) {
        source = &files[handle.path];
    } else {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const auto size = static_cast<std::int64_t>(source->size());
    const std::int64_t available = std::max<std::int64_t>(0, size + zeros - handle.position);
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(available, static_cast<std::int64_t>(buffer.size())));
    const auto stored = static_cast<std::size_t>(std::clamp<std::int64_t>(size - handle.position, 0, static_cast<std::int64_t>(count)));
    if (stored) std::memcpy(buffer.data(), source->data() + handle.position, stored);
    std::memset(buffer.data() + stored, 0, count - stored);
    handle.position += static_cast<std::int64_t>(count);
    numberOfBytesRead = static_cast<DWORD>(count);
    if (handle.kind == Handle::Kind::Volume) volumeBytesRead += count;
    return true;
}

bool FakePlatform::WriteFile(HANDLE file, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten) {
    Record("WriteFile(" + std::to_string(buffer.size()) + ")");
    numberOfBytesWritten = 0;
    const auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != Handle::Kind::File || !it->second.writable)
        return Fail(ERROR_ACCESS_DENIED);
    Handle& handle = it->second;
    if (!files.count(handle.path)) return Fail(ERROR_FILE_NOT_FOUND);  // the folder went away
    std::vector<std::uint8_t>& bytes = files[handle.path];
    std::size_t count = buffer.size();
    bool full = false;
    if (diskSpace >= 0) {
        const std::int64_t end = handle.position + static_cast<std::int64_t>(count);
        const std::int64_t growth = std::max<std::int64_t>(0, end - static_cast<std::int64_t>(bytes.size()));
        const std::int64_t room = diskSpace - FileBytes();
        if (growth > room) {
            full = true;
            count -= static_cast<std::size_t>(growth - std::max<std::int64_t>(0, room));
        }
    }
    if (bytes.size() < static_cast<std::size_t>(handle.position) + count) bytes.resize(handle.position + count);
    if (count) std::memcpy(bytes.data() + handle.position, buffer.data(), count);
    handle.position += static_cast<std::int64_t>(count);
    numberOfBytesWritten = static_cast<DWORD>(count);
    return full ? Fail(ERROR_DISK_FULL) : true;
}

std::uint8_t* FakePlatform::Resolve(std::uint32_t address, std::size_t length) {
    auto it = blocks_.upper_bound(address);
    if (it == blocks_.begin()) return nullptr;
    --it;
    const std::uint64_t offset = address - it->first;
    if (offset + length > it->second.bytes.size()) return nullptr;
    return it->second.bytes.data() + offset;
}

void FakePlatform::ServeDiskRead(DiocRegisters& registers) {
    const std::uint8_t* block = Resolve(registers.reg_EBX, DiskIo::kBytes);
    bool ok = (registers.reg_EAX & 0xFFFF) == kAbsoluteDiskRead && registers.reg_ECX == kDiskIoRequest &&
              !(registers.reg_ESI & kWriteRequest) && block != nullptr;
    if (ok) {
        const DiskIo request = DiskIo::FromBytes({block, DiskIo::kBytes});
        const std::int64_t count = request.sectorCount;
        const auto drive = drives.find(DosDriveLetter(static_cast<std::int32_t>(registers.reg_EDX)));
        std::uint8_t* target = count > 0 ? Resolve(request.bufferAddress, static_cast<std::size_t>(count) * 512) : nullptr;
        ok = target && drive != drives.end() && drive->second.volume;
        if (ok) {
            const auto& volume = *drive->second.volume;
            for (std::int64_t s = 0; s < count; ++s) {
                const std::int64_t sector = std::int64_t{request.startSector} + s;
                const std::int64_t at = sector * 512;
                if (drive->second.badSectors.count(sector) || at + 512 > static_cast<std::int64_t>(volume.size())) {
                    ok = false;
                    break;
                }
                std::memcpy(target + s * 512, volume.data() + at, 512);
            }
        }
    }
    if (ok) {
        registers.reg_Flags &= ~kCarryFlag;
    } else {
        registers.reg_Flags |= kCarryFlag;
        registers.reg_EAX = ERROR_INVALID_DRIVE;
    }
}

bool FakePlatform::DeviceIoControl(HANDLE device, DWORD ioControlCode, std::span<std::uint8_t> inBuffer,
                                   std::span<std::uint8_t> outBuffer, DWORD& bytesReturned) {
    std::ostringstream line;
    line << "DeviceIoControl(" << ioControlCode << ",";
    for (std::size_t i = 0; i < inBuffer.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", inBuffer[i]);
        line << hex;
    }
    line << ")";
    Record(line.str());
    const auto it = handles_.find(device);
    if (it == handles_.end() || it->second.kind != Handle::Kind::Vwin32) return Fail(ERROR_INVALID_HANDLE);
    if (ioControlCode != VWIN32_DIOC_DOS_DRIVEINFO || inBuffer.size() != DiocRegisters::kBytes ||
        outBuffer.size() != DiocRegisters::kBytes)
        return Fail(ERROR_INVALID_PARAMETER);
    DiocRegisters registers = DiocRegisters::FromBytes(inBuffer);
    ServeDiskRead(registers);
    const auto bytes = registers.Bytes();
    std::copy(bytes.begin(), bytes.end(), outBuffer.begin());
    bytesReturned = DiocRegisters::kBytes;
    return true;
}

bool FakePlatform::CloseHandle(HANDLE object) {
    Record("CloseHandle()");
    return handles_.erase(object) ? true : Fail(ERROR_INVALID_HANDLE);
}

DWORD FakePlatform::GetLastError() { return lastError_; }

std::string FakePlatform::FormatErrorMessage(DWORD errorCode) { return Win32ErrorMessage(errorCode); }

bool FakePlatform::DeleteFileA(const std::string& fileName) {
    Record("DeleteFileA(" + fileName + ")");
    if (readOnly) return Fail(ERROR_WRITE_PROTECT);
    lastWriteTimes.erase(Normalize(fileName));
    return files.erase(Normalize(fileName)) ? true : Fail(ERROR_FILE_NOT_FOUND);
}

bool FakePlatform::MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) {
    Record("MoveFileExA(" + existingFileName + ", " + newFileName + ", " + std::to_string(flags) + ")");
    const std::string from = Normalize(existingFileName), to = Normalize(newFileName);
    if (readOnly) return Fail(ERROR_WRITE_PROTECT);
    const auto file = files.find(from);
    if (file == files.end()) return Fail(ERROR_FILE_NOT_FOUND);
    if (folders.count(to)) return Fail(ERROR_ACCESS_DENIED);
    if (!folders.count(Parent(to))) return Fail(ERROR_PATH_NOT_FOUND);
    if (files.count(to) && !(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    std::vector<std::uint8_t> bytes = std::move(file->second);
    files.erase(file);
    files[to] = std::move(bytes);
    lastWriteTimes.erase(to);
    if (const auto time = lastWriteTimes.find(from); time != lastWriteTimes.end()) {
        lastWriteTimes[to] = time->second;
        lastWriteTimes.erase(time);
    }
    sameFileAs.erase(to);  // the name now stands for the file moved there
    return true;
}

bool FakePlatform::CreateDirectoryA(const std::string& pathName) {
    Record("CreateDirectoryA(" + pathName + ")");
    const std::string path = Normalize(pathName);
    if (readOnly) return Fail(ERROR_WRITE_PROTECT);
    if (Leaf(path).empty() || Leaf(path).find_first_of("\\/:*?\"<>|") != std::string::npos)
        return Fail(ERROR_INVALID_NAME);
    if (folders.count(path) || files.count(path)) return Fail(ERROR_ALREADY_EXISTS);
    if (!folders.count(Parent(path))) return Fail(ERROR_PATH_NOT_FOUND);
    folders.insert(path);
    return true;
}

bool FakePlatform::SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                               const FILETIME* lastWriteTime) {
    const auto low = [](const FILETIME* t) { return t ? std::to_string(std::uint64_t{t->dwHighDateTime} << 32 | t->dwLowDateTime) : "-"; };
    Record("SetFileTime(" + low(creationTime) + ", " + low(lastAccessTime) + ", " + low(lastWriteTime) + ")");
    const auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != Handle::Kind::File || !it->second.writable) return Fail(ERROR_ACCESS_DENIED);
    if (lastWriteTime) lastWriteTimes[it->second.path] = *lastWriteTime;
    return true;
}

bool FakePlatform::TzSpecificLocalTimeToSystemTime(const SYSTEMTIME& localTime, SYSTEMTIME& universalTime) {
    Record("TzSpecificLocalTimeToSystemTime()");
    // Minutes of the day moved by the zone's offset, carried into the day before or after.
    int minutes = localTime.wHour * 60 + localTime.wMinute - utcOffsetMinutes;
    int day = localTime.wDay;
    while (minutes < 0) minutes += 1440, --day;
    while (minutes >= 1440) minutes -= 1440, ++day;
    if (day < 1 || day > 28) return Fail(ERROR_INVALID_PARAMETER);  // a test keeps to days every month has
    universalTime = localTime;
    universalTime.wDay = static_cast<WORD>(day);
    universalTime.wHour = static_cast<WORD>(minutes / 60);
    universalTime.wMinute = static_cast<WORD>(minutes % 60);
    return true;
}

bool FakePlatform::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
    Record("GetFileInformationByHandle()");
    const auto it = handles_.find(file);
    if (it == handles_.end()) return Fail(ERROR_INVALID_HANDLE);
    const Handle& handle = it->second;
    information = BY_HANDLE_FILE_INFORMATION{};
    information.dwVolumeSerialNumber = 1;
    // A volume is told by its letter, any other file by its path, unless it is a volume's own.
    const auto same = sameFileAs.find(handle.path);
    const char letter = handle.kind == Handle::Kind::Volume ? handle.letter : same != sameFileAs.end() ? same->second : 0;
    information.nFileIndexLow = letter ? static_cast<DWORD>(letter) : static_cast<DWORD>(std::hash<std::string>{}(handle.path) | 0x100);
    return true;
}

bool FakePlatform::GetVolumePathNameA(const std::string& fileName, std::span<char> volumePathName) {
    Record("GetVolumePathNameA(" + fileName + ")");
    const std::string path = Normalize(fileName);
    std::string root = path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "\\" : std::string();
    for (const auto& [folder, letter] : mountedOn)
        if (path == folder || path.rfind(folder + "\\", 0) == 0) root = std::string(1, letter) + ":\\";
    if (root.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    if (root.size() + 1 > volumePathName.size()) return Fail(ERROR_FILENAME_EXCED_RANGE);
    std::copy(root.begin(), root.end(), volumePathName.begin());
    volumePathName[root.size()] = '\0';
    return true;
}

std::optional<Platform::SharedStorage> FakePlatform::FindSharedStorage(const std::string& path,
                                                                       const std::string& rootPathName) {
    // What stores a folder is told here only by mountedOn, through GetVolumePathNameA.
    Record("FindSharedStorage(" + path + ", " + rootPathName + ")");
    return std::nullopt;
}

DWORD FakePlatform::GetFileAttributesA(const std::string& fileName) {
    Record("GetFileAttributesA(" + fileName + ")");
    const std::string path = Normalize(fileName);
    if (folders.count(path)) return FILE_ATTRIBUTE_DIRECTORY;
    if (files.count(path)) return FILE_ATTRIBUTE_NORMAL;
    return Fail(ERROR_FILE_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
}

std::optional<std::vector<FindData>> FakePlatform::FindFiles(const std::string& pattern) {
    Record("FindFiles(" + pattern + ")");
    const std::string normal = Normalize(pattern);
    const std::string folder = Parent(normal);
    const std::string wanted = Leaf(normal);
    if (!folders.count(folder)) return Fail(ERROR_PATH_NOT_FOUND), std::nullopt;
    std::vector<FindData> found;
    for (const auto& sub : folders)
        if (sub != folder && Parent(sub) == folder && MatchesWildcard(wanted, Leaf(sub)))
            found.push_back({Leaf(sub), FILE_ATTRIBUTE_DIRECTORY, 0});
    for (const auto& [path, bytes] : files)
        if (Parent(path) == folder && MatchesWildcard(wanted, Leaf(path)))
            found.push_back({Leaf(path), FILE_ATTRIBUTE_NORMAL, bytes.size()});
    return found;
}

std::string FakePlatform::InFolder(HANDLE folder, const std::string& name) {
    const auto it = handles_.find(folder);
    if (it == handles_.end() || it->second.kind != Handle::Kind::Folder) return Fail(ERROR_INVALID_HANDLE), std::string();
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos)
        return Fail(ERROR_INVALID_NAME), std::string();
    return it->second.path + "\\" + name;
}

HANDLE FakePlatform::CreateFileInFolder(HANDLE folder, const std::string& name, DWORD desiredAccess,
                                        DWORD creationDisposition) {
    const std::string path = InFolder(folder, name);
    return path.empty() ? INVALID_HANDLE_VALUE : CreateFileA(path, desiredAccess, FILE_SHARE_READ, creationDisposition, FILE_ATTRIBUTE_NORMAL);
}

HANDLE FakePlatform::CreateFolderInFolder(HANDLE folder, const std::string& name) {
    const std::string path = InFolder(folder, name);
    if (path.empty()) return INVALID_HANDLE_VALUE;
    if (!CreateDirectoryA(path) && lastError_ != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

bool FakePlatform::MoveFileInFolder(HANDLE folder, const std::string& existingName, const std::string& newName,
                                    DWORD flags) {
    const std::string from = InFolder(folder, existingName), to = from.empty() ? from : InFolder(folder, newName);
    return !to.empty() && MoveFileExA(from, to, flags);
}

bool FakePlatform::DeleteFileInFolder(HANDLE folder, const std::string& name) {
    const std::string path = InFolder(folder, name);
    // As Windows does: a file open here keeps its name until it is closed.
    for (const auto& [handle, open] : handles_)
        if (open.kind == Handle::Kind::File && open.path == Normalize(path)) return Fail(ERROR_SHARING_VIOLATION);
    return !path.empty() && DeleteFileA(path);
}

std::optional<Platform::SharedStorage> FakePlatform::FindSharedStorageOfFolder(HANDLE folder,
                                                                               const std::string& rootPathName) {
    const auto it = handles_.find(folder);
    if (it == handles_.end()) return SharedStorage{"the folder is not open", false};
    return FindSharedStorage(it->second.path, rootPathName);
}

bool FakePlatform::GetVersionExA(OSVERSIONINFOA& versionInformation) {
    Record("GetVersionExA(" + std::to_string(versionInformation.dwOSVersionInfoSize) + ")");
    versionInformation.dwPlatformId = platformId;
    return true;
}

DWORD FakePlatform::GetTempPathA(std::span<char> buffer) {
    Record("GetTempPathA(" + std::to_string(buffer.size()) + ")");
    if (tempPath.size() + 1 > buffer.size()) return static_cast<DWORD>(tempPath.size() + 1);
    std::copy(tempPath.begin(), tempPath.end(), buffer.begin());
    buffer[tempPath.size()] = '\0';
    return static_cast<DWORD>(tempPath.size());
}

int FakePlatform::GetSystemMetrics(int index) {
    Record("GetSystemMetrics(" + std::to_string(index) + ")");
    return (index == SM_CXVSCROLL || index == SM_CYHSCROLL) ? scrollBarSize : 0;
}

LONG FakePlatform::RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, DWORD samDesired, HKEY& result) {
    Record("RegOpenKeyExA(" + Hex(static_cast<DWORD>(key)) + ", " + subKey + ", " + std::to_string(options) + ", " +
           Hex(samDesired) + ")");
    if (!registry.count(subKey)) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    constexpr DWORD kWriteRights = 0x2 | 0x4 | 0x20;  // set value, create sub-key, create link
    if (readOnlyKeys.count(subKey) && (samDesired & kWriteRights)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    result = nextKey_++;
    keys_[result] = subKey;
    return ERROR_SUCCESS;
}

LONG FakePlatform::RegQueryValueExA(HKEY key, const std::string& valueName, DWORD& type, std::span<std::uint8_t> data,
                                    DWORD& dataSize) {
    Record("RegQueryValueExA(" + valueName + ", " + std::to_string(dataSize) + ")");
    const auto open = keys_.find(key);
    if (open == keys_.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    const auto& values = registry[open->second];
    const auto value = values.find(valueName);
    if (value == values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    type = value->second.type;
    const auto size = static_cast<DWORD>(value->second.data.size());
    if (size > data.size()) {
        dataSize = size;
        return static_cast<LONG>(ERROR_MORE_DATA);
    }
    std::copy(value->second.data.begin(), value->second.data.end(), data.begin());
    dataSize = size;
    return ERROR_SUCCESS;
}

LONG FakePlatform::RegCloseKey(HKEY key) {
    Record("RegCloseKey()");
    return keys_.erase(key) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

bool FakePlatform::StartProgram(const std::string& path) {
    Record("StartProgram(" + path + ")");
    if (!startablePrograms.count(path)) return Fail(ERROR_FILE_NOT_FOUND);
    startedPrograms.push_back(path);
    return true;
}

Platform::LowBlock FakePlatform::AllocateLowMemory(std::size_t size) {
    Block block;
    block.bytes.assign(size, 0);
    LowBlock out{{block.bytes.data(), size}, nextAddress_};
    blocks_[nextAddress_] = std::move(block);
    nextAddress_ += static_cast<std::uint32_t>((size + 0xFFF) & ~std::size_t{0xFFF}) + 0x1000;
    return out;
}

void FakePlatform::FreeLowMemory(const LowBlock& block) {
    blocks_.erase(block.address);
    if (blocks_.empty()) nextAddress_ = 0x00100000;  // millions of one-sector reads must not run out of addresses
}

}  // namespace kelvara::testing
