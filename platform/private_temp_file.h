#pragma once
// A scratch file only this process can reach: nobody else may open it, and it goes when it is
// closed or when the program ends, however it ends. Long lists spill into it so that memory
// stays small on any card.

#include <cstdint>
#include <memory>
#include <span>

namespace kelvara {

class PrivateTempFile {
public:
    virtual ~PrivateTempFile() = default;
    // Whole transfers at a byte offset; false when the system could not do them.
    virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
};

// A new, empty one in the user's temporary folder; nullptr when none can be made.
std::unique_ptr<PrivateTempFile> OpenPrivateTempFile();

}  // namespace kelvara
