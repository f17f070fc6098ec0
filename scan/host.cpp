#include "scan/host.h"

#include <cctype>
#include <cstdint>

namespace kelvara {

std::int32_t CaptionNumber(const std::string& caption) {
    std::size_t at = 0;
    while (at < caption.size() && std::isspace(static_cast<unsigned char>(caption[at]))) ++at;
    bool negative = false;
    if (at < caption.size() && (caption[at] == '-' || caption[at] == '+')) negative = caption[at++] == '-';
    std::int64_t value = 0;
    for (; at < caption.size() && std::isdigit(static_cast<unsigned char>(caption[at])); ++at) {
        value = value * 10 + (caption[at] - '0');
        if (value > INT32_MAX) return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace kelvara
