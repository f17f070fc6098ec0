// Kelvara: finds the photos on a camera's memory card by reading its raw sectors.
// The program takes no options: any arguments are disk image files, which appear as
// removable drives where the system can attach them.

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/browser_engine.h"
#include "app/frm_main.h"
#include "platform/create_platform.h"
#include "ui/message_box.h"

int main(int argc, char** argv) {
    kelvara::PrepareBrowserEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelvara");

    kelvara::PlatformOptions options;
    for (const QString& argument : QApplication::arguments().mid(1)) options.images.push_back({argument.toStdString()});
    std::unique_ptr<kelvara::Platform> platform;
    try {
        platform = kelvara::CreatePlatform(options);
    } catch (const std::exception& error) {  // an argument that can hold no card, such as a FIFO
        std::fprintf(stderr, "kelvara: %s\n", error.what());
        kelvara::MessageBox::Show(nullptr, QString::fromStdString(error.what()), "Kelvara");
        return 1;
    }

    kelvara::FrmMain window(*platform);
    window.show();
    return app.exec();
}
