// The main of the window tests: one application object for the whole run, on Qt's
// offscreen platform unless another is asked for.

#include <gtest/gtest.h>

#include <QApplication>

#include "window_qt/browser_engine.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    kelvara::qt::PrepareBrowserEngine();  // as the program does, so the tests meet the engine as users do
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelvara");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
