#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvara {

// Why a read of sectors gave no data. The message is written for the user.
class DiskError : public std::runtime_error {
public:
    enum class Kind {
        Overflow,     // a sector number, count or size does not fit what the read can take
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

// "Drive E:\ holds nothing from sector N on": the volume ended before the size it gave, because
// the card was taken out or changed. Callers go on with what it means for them.
inline std::string DriveEndedText(const std::string& drive, std::int64_t sector) {
    return "Drive " + drive + " holds nothing from sector " + std::to_string(sector) + " on";
}

}  // namespace kelvara
