#pragma once
// File name patterns as FindFirstFileA takes them: * and ?, compared without regard to case.

#include <string_view>

namespace kelvara {

// "*.*" matches every name, also one without a dot, as it does on Windows.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace kelvara
