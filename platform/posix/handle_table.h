#pragma once
// What a HANDLE stands for. Numbers are handed out in rising order and never reused, so a
// stale handle can only miss, never hit another file.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/posix/folder_hold.h"
#include "platform/posix/raw_volume.h"
#include "platform/posix/unique_fd.h"
#include "platform/win32_types.h"

namespace kelvara {

struct FileHandle {
    UniqueFd fd;
    std::optional<FolderHold> hold;  // a folder held against other openers while the handle is open
};
struct VolumeHandle {
    std::shared_ptr<const RawVolume> volume;
    std::int64_t position = 0;  // 0 <= position; may lie past the end
};
struct DeviceHandle {};  // \\.\VWIN32

using HandleObject = std::variant<FileHandle, VolumeHandle, DeviceHandle>;

class HandleTable {
public:
    HANDLE Insert(HandleObject object);
    // Null for a handle that is not open.
    std::shared_ptr<HandleObject> Find(HANDLE handle) const;
    bool Erase(HANDLE handle);

private:
    mutable std::mutex mutex_;
    std::map<HANDLE, std::shared_ptr<HandleObject>> open_;
    HANDLE next_ = 0x100;
};

}  // namespace kelvara
