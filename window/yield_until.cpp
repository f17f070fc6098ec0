#include "window/yield_until.h"

namespace kelvara {

void YieldUntil(Toolkit& toolkit, const std::function<bool()>& finished, const std::function<void()>& yield) {
    while (!finished()) {
        yield();
        if (!finished()) toolkit.WaitForEvents(15);
    }
}

}  // namespace kelvara
