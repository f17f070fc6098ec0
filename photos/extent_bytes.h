#pragma once
// A file's bytes where they lie in pieces on a drive, in the file's order: a photo put back
// together is previewed and saved from this as one in a single run is from the drive.

#include <cstdint>
#include <vector>

#include "diskio/byte_extents.h"
#include "formats/byte_source.h"

namespace kelvara {

class ExtentBytes final : public ByteSource {
public:
    // `drive` gives the bytes from the drive's first sector on.
    ExtentBytes(ByteSource& drive, ByteExtents extents);
    std::span<const std::uint8_t> From(std::uint64_t offset) override;
    std::uint64_t Length() const { return starts_.empty() ? 0 : starts_.back() + extents_.back().length; }
    const ByteExtents& extents() const { return extents_; }
    // Where byte `offset` of the file lies on the drive; past its end, where its last extent ends.
    std::uint64_t DriveOffset(std::uint64_t offset) const;

private:
    ByteSource* drive_;
    ByteExtents extents_;
    std::vector<std::uint64_t> starts_;  // where each extent starts in the file
};

}  // namespace kelvara
