// udisks2 in a build without a D-Bus client: never there.
#include "platform/posix/udisks.h"

namespace kelvara {

const bool kUdisksBuiltIn = false;

struct Udisks::Bus {};

Udisks::Udisks(std::unique_ptr<Bus> bus) : bus_(std::move(bus)) {}
Udisks::~Udisks() = default;

std::unique_ptr<Udisks> Udisks::Connect() { return nullptr; }

std::optional<std::vector<RemovableVolume>> Udisks::RemovableVolumes() { return std::nullopt; }

UniqueFd Udisks::OpenReadOnly(const std::string&, std::uint64_t, std::string& refusal) {
    refusal = "this build cannot ask the desktop's disk service";
    return UniqueFd();
}

}  // namespace kelvara
