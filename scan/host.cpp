#include "scan/host.h"

#include <cctype>
#include <cstdint>

namespace kelvara {

std::int64_t CaptionNumber(const std::string& caption) {
    std::size_t at = 0;
    while (at < caption.size() && std::isspace(static_cast<unsigned char>(caption[at]))) ++at;
    bool negative = false;
    if (at < caption.size() && (caption[at] == '-' || caption[at] == '+')) negative = caption[at++] == '-';
    std::int64_t value = 0;
    for (; at < caption.size() && std::isdigit(static_cast<unsigned char>(caption[at])); ++at) {
        const int digit = caption[at] - '0';
        if (value > (INT64_MAX - digit) / 10) return negative ? -INT64_MAX : INT64_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace kelvara
