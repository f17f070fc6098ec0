#pragma once
// One command at a time writes into a destination folder: a second Kelvara, window or command
// line, that would write into it meanwhile is refused, so the files of two cards never mix.

#include <optional>
#include <string>

#include "platform/platform.h"

namespace kelvara {

class DestinationLock {
public:
    // Takes hold of the folder until the object goes (or the process ends).
    DestinationLock(Platform& platform, const std::string& folder);
    ~DestinationLock();
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

    // Why the folder is not ours: another command holds it. nullopt when it is (or when the
    // system cannot hold folders at all, where writing goes on as before).
    const std::optional<std::string>& refusal() const { return refusal_; }

private:
    Platform& platform_;
    HANDLE folder_ = INVALID_HANDLE_VALUE;
    std::optional<std::string> refusal_;
};

}  // namespace kelvara
