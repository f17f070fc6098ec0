#pragma once
#include <stdexcept>
#include <string>

namespace kelvara {

// Why a read of sectors gave no data. The message is written for the user.
class DiskError : public std::runtime_error {
public:
    enum class Kind {
        Overflow,     // a sector number, count or size does not fit in 32 signed bits
        BadArgument,  // an empty drive text, a count below 1, a negative sector or offset
        CannotOpen,   // the volume or the device could not be opened
        NoMemory,     // no memory for the read
        Ended,        // the volume ended inside the run: the card was taken out or changed
    };
    DiskError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

}  // namespace kelvara
