#include "folder_dialogs/yield_until.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace kelvara {

void YieldUntil(const std::function<bool()>& finished, const std::function<void()>& yield) {
    // The wait sleeps until the next event, but never longer than this, so a yield that
    // finishes the dialog without an event (a scripted one) is not kept waiting.
    QTimer wake;
    wake.start(15);
    while (!finished()) {
        yield();
        if (!finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace kelvara
