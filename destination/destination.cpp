#include "destination/destination.h"

#include <array>
#include <cstdio>

#include "destination/destination_check.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

// Kept in the folder while files are being made there; only a file that begins so is ours.
constexpr const char* kRecordName = ".kelvara-unfinished";
constexpr const char* kRecordMagic = "Kelvara: files being made here\n";
constexpr std::size_t kMostRecordBytes = 1 << 20;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Makes the folder and the folders above it. Returns why it is not there afterwards: what the
// system said when the first missing folder could not be made, or that a file stands in the way.
std::optional<std::string> MakeFolders(Platform& platform, const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && !IsSeparator(folder[at])) continue;
        const std::string part = folder.substr(0, at);
        if (part.back() == ':' || IsSeparator(part.back())) continue;  // a drive, or a doubled separator
        const DWORD attributes = platform.GetFileAttributesA(part);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            return part + " is a file, not a folder.";
        }
        if (!platform.CreateDirectoryA(part) && platform.GetLastError() != ERROR_ALREADY_EXISTS) return LastErrorText(platform);
    }
    return std::nullopt;
}

std::string Identity(const BY_HANDLE_FILE_INFORMATION& info) {
    char text[64];
    std::snprintf(text, sizeof text, "%08x%08x%08x", static_cast<unsigned>(info.dwVolumeSerialNumber),
                  static_cast<unsigned>(info.nFileIndexHigh), static_cast<unsigned>(info.nFileIndexLow));
    return text;
}

std::string ReadAll(Platform& platform, HANDLE file, std::size_t most) {
    std::string text;
    std::array<std::uint8_t, 4096> buffer{};
    DWORD got = 0;
    while (text.size() < most && platform.ReadFile(file, buffer, got) && got > 0)
        text.append(reinterpret_cast<const char*>(buffer.data()), got);
    return text;
}

}  // namespace

Destination::Destination(Platform& platform, std::string folder, std::vector<std::string> sourceDrives)
    : Destination(platform, std::move(folder), std::move(sourceDrives), Options{}) {}

Destination::Destination(Platform& platform, std::string folder, std::vector<std::string> sourceDrives, Options options)
    : platform_(platform), folder_(std::move(folder)), sourceDrives_(std::move(sourceDrives)), options_(options) {
    Claim();
}

Destination::~Destination() {
    if (record_ != INVALID_HANDLE_VALUE) {
        platform_.CloseHandle(record_);
        // Every file this claim made is finished by now: the record has nothing left to tell.
        platform_.DeleteFileInFolder(handle_, kRecordName);
    }
    for (const Subfolder& subfolder : subfolders_) platform_.CloseHandle(subfolder.handle);
    if (handle_ != INVALID_HANDLE_VALUE) platform_.CloseHandle(handle_);
}

void Destination::Claim() {
    // "" would become the root of whatever drive the program runs on.
    if (folder_.empty()) {
        refusal_ = "No destination folder was chosen.";
        return;
    }
    // Asked of the path before anything is made there, so not even a folder lands on the card.
    if (auto refusal = SourceDriveRefusal(platform_, folder_, sourceDrives_)) {
        refusal_ = std::move(refusal);
        return;
    }
    if (options_.make) {
        if (const auto failure = MakeFolders(platform_, folder_)) {
            refusal_ = "The folder " + folder_ + " cannot be made: " + *failure;
            return;
        }
    }
    // Opened once; with no sharing at all when held, so the next Kelvara claiming it is turned away.
    // Without FILE_SHARE_DELETE in any case, so on Windows it cannot be renamed while it is ours.
    const DWORD share = options_.held ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    handle_ = platform_.CreateFileA(folder_, GENERIC_READ, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    // A folder this user may write into but not list is held all the same, by a handle that only
    // stands for it.
    if (handle_ == INVALID_HANDLE_VALUE && platform_.GetLastError() == ERROR_ACCESS_DENIED)
        handle_ = platform_.CreateFileA(folder_, 0, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle_ == INVALID_HANDLE_VALUE) {
        if (platform_.GetLastError() == ERROR_SHARING_VIOLATION)
            refusal_ = "Another Kelvara is writing into " + folder_ + " now. Wait until it has finished, or choose another folder.";
        else
            refusal_ = "The folder " + folder_ + " cannot be opened: " + LastErrorText(platform_);
        return;
    }
    // The folder as it is now open, traced again: what its path named a moment ago may be gone.
    for (const std::string& drive : sourceDrives_) {
        if (drive.empty()) continue;
        if (const auto shared = platform_.FindSharedStorageOfFolder(handle_, drive)) {
            refusal_ = SharedStorageRefusal(folder_, drive, *shared);
            return;
        }
    }
    if (options_.held) RemoveRecordedLeftovers();
}

void Destination::RemoveRecordedLeftovers() {
    const HANDLE record = platform_.CreateFileInFolder(handle_, kRecordName, GENERIC_READ, OPEN_EXISTING);
    if (record == INVALID_HANDLE_VALUE) return;
    const std::string text = ReadAll(platform_, record, kMostRecordBytes);
    platform_.CloseHandle(record);
    const std::string magic = kRecordMagic;
    if (text.compare(0, magic.size(), magic) != 0) return;  // a file of the user's that happens to have the name
    // Each line: the identity of a file as it was made, a tab, its name. A file is removed only
    // while it is still that very file: nothing renamed there since, nothing of the user's.
    for (std::size_t at = magic.size(); at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string leaf;
        const HANDLE folder = FolderOf(line.substr(tab + 1), leaf);
        if (folder == INVALID_HANDLE_VALUE) continue;
        const HANDLE file = platform_.CreateFileInFolder(folder, leaf, 0, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) continue;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool same = platform_.GetFileInformationByHandle(file, info) && Identity(info) == line.substr(0, tab);
        platform_.CloseHandle(file);
        if (same) platform_.DeleteFileInFolder(folder, leaf);
    }
    platform_.DeleteFileInFolder(handle_, kRecordName);
}

HANDLE Destination::FolderOf(const std::string& relativeName, std::string& leaf) {
    HANDLE folder = handle_;
    std::string path;
    std::size_t from = 0;
    for (std::size_t at = 0; at <= relativeName.size(); ++at) {
        if (at < relativeName.size() && !IsSeparator(relativeName[at])) continue;
        const std::string part = relativeName.substr(from, at - from);
        from = at + 1;
        if (at == relativeName.size()) {
            leaf = part;
            return folder;
        }
        if (part.empty()) continue;
        path += (path.empty() ? "" : "\\") + part;
        HANDLE next = INVALID_HANDLE_VALUE;
        for (const Subfolder& subfolder : subfolders_)
            if (subfolder.name == path) next = subfolder.handle;
        if (next == INVALID_HANDLE_VALUE) {
            next = platform_.CreateFolderInFolder(folder, part);
            if (next == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
            subfolders_.push_back({path, next});
        }
        folder = next;
    }
    return folder;
}

std::string Destination::PathOf(const std::string& relativeName) const {
    const char separator = options_.separator;
    std::string name = relativeName;
    for (char& c : name)
        if (IsSeparator(c)) c = separator;
    if (!folder_.empty() && IsSeparator(folder_.back())) return folder_ + name;
    return folder_ + separator + name;
}

bool Destination::RemoveOwn(const std::string& relativeName) {
    if (!options_.replaces || !claimed()) return false;
    std::string leaf;
    const HANDLE folder = FolderOf(relativeName, leaf);
    return folder != INVALID_HANDLE_VALUE && platform_.DeleteFileInFolder(folder, leaf);
}

void Destination::Remember(HANDLE folder, const std::string& name, HANDLE file) {
    if (!options_.held || handle_ == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!platform_.GetFileInformationByHandle(file, info)) return;
    std::string relative = name;
    for (const Subfolder& subfolder : subfolders_)
        if (subfolder.handle == folder) relative = subfolder.name + "\\" + name;
    std::string line;
    if (record_ == INVALID_HANDLE_VALUE) {
        record_ = platform_.CreateFileInFolder(handle_, kRecordName, GENERIC_WRITE, CREATE_NEW);
        if (record_ == INVALID_HANDLE_VALUE) return;  // unrecorded, a leftover only stays: it is never taken for a photo
        line = kRecordMagic;
    }
    line += Identity(info) + "\t" + relative + "\n";
    DWORD written = 0;
    platform_.WriteFile(record_, {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}, written);
}

}  // namespace kelvara
