// Kelvara: finds the photos on a camera's memory card by reading its raw sectors.
// The program takes no options: any arguments are disk image files, which appear as
// removable drives where the system can attach them.

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/create_platform.h"
#include "window/frm_main.h"
#include "window/message.h"
#include "window_qt/browser_engine.h"
#include "window_qt/image_lists.h"
#include "window_qt/message_box.h"
#include "window_qt/qt_toolkit.h"

int main(int argc, char** argv) {
    kelvara::qt::PrepareBrowserEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(kelvara::kApplicationTitle);
    QApplication::setWindowIcon(kelvara::qt::KelvaraWindowIcon());

    kelvara::PlatformOptions options;
    for (const QString& argument : QApplication::arguments().mid(1)) options.images.push_back({argument.toStdString()});
    std::unique_ptr<kelvara::Platform> platform;
    try {
        platform = kelvara::CreatePlatform(options);
    } catch (const std::exception& error) {  // an argument that can hold no card, such as a FIFO
        std::fprintf(stderr, "kelvara: %s\n", error.what());
        kelvara::qt::ShowMessageBox(nullptr, kelvara::Message::Info(error.what()));
        return 1;
    }

    kelvara::qt::QtToolkit toolkit;
    kelvara::FrmMain window(*platform, toolkit);
    window.Show();
    return app.exec();
}
