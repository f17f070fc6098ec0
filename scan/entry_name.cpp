#include "scan/entry_name.h"

namespace kelvara {

std::string EntryName(const std::string& prefix, int index, const std::string& kind) {
    const int number = index + 1;
    const char* pad = number < 10 ? "00" : number < 100 ? "0" : "";
    return prefix + pad + std::to_string(number) + kind;
}

}  // namespace kelvara
