#pragma once
#include <functional>

#include "window/toolkit.h"

namespace kelvara {

// How an opener waits for a dialog it showed: it yields until the dialog says it is finished,
// resting between yields until an event comes (or 15 ms pass), so the wait does not spin the
// processor.
void YieldUntil(Toolkit& toolkit, const std::function<bool()>& finished, const std::function<void()>& yield);

}  // namespace kelvara
