#pragma once
#include <functional>

namespace kelvara {

// How an opener waits for a modeless dialog: it yields until the dialog says it is finished,
// resting between yields until an event comes, so the wait does not spin the processor.
void YieldUntil(const std::function<bool()>& finished, const std::function<void()>& yield);

}  // namespace kelvara
