#include "platform/create_platform.h"

#include "platform/posix/posix_platform.h"

namespace kelvara {

std::unique_ptr<Platform> CreatePlatform(const PlatformOptions& options) {
    PosixPlatform::Options posix;
    for (const auto& image : options.images) posix.images.emplace_back(image.path, image.partition);
    posix.platformId = options.platformId.value_or(VER_PLATFORM_WIN32_NT);
    return std::make_unique<PosixPlatform>(std::move(posix));
}

}  // namespace kelvara
