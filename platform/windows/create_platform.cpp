#include "platform/create_platform.h"

#include "platform/windows/windows_platform.h"

namespace kelvara {

// Windows answers for itself: its drives are the real ones and its family is its own, so
// neither attached images nor a chosen family apply here.
std::unique_ptr<Platform> CreatePlatform(const PlatformOptions& /*options*/) {
    return std::make_unique<WindowsPlatform>();
}

}  // namespace kelvara
