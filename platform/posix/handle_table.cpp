#include "platform/posix/handle_table.h"

namespace kelvara {

// Multiples of 4, like Windows handles; never 0 or INVALID_HANDLE_VALUE.
HANDLE HandleTable::Insert(HandleObject object) {
    std::lock_guard lock(mutex_);
    const HANDLE handle = next_;
    next_ += 4;
    open_.emplace(handle, std::make_shared<HandleObject>(std::move(object)));
    return handle;
}

std::shared_ptr<HandleObject> HandleTable::Find(HANDLE handle) const {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : found->second;
}

bool HandleTable::Erase(HANDLE handle) {
    std::lock_guard lock(mutex_);
    return open_.erase(handle) != 0;
}

}  // namespace kelvara
