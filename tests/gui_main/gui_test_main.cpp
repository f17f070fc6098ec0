// The main of the window tests: one application object for the whole run, on Qt's
// offscreen platform unless another is asked for.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the browser engine needs it before the app
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelvara");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
