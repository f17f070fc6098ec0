#include "window_qt/browser_engine.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>

namespace kelvara::qt {

bool RunningAsRoot() {
    // A file this process makes belongs to the user it runs as.
    QTemporaryFile probe;
    return probe.open() && QFileInfo(probe.fileName()).ownerId() == 0;
}

void PrepareBrowserEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The user's own logging rules still win over this.
    QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
    if (!RunningAsRoot()) return;
    // Through the engine's own flags: the other way, its environment variable, makes it print
    // a warning the user need not see.
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--no-sandbox")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-sandbox").trimmed());
}

}  // namespace kelvara::qt
