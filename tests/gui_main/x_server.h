#pragma once
// A virtual X server (Xvfb) for the few window tests that only a real window system shows: the
// offscreen platform draws no native surfaces, so it cannot show a window being built anew.

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace kelvara::testing {

class XServer {
public:
    XServer() {
        server_.setProgram("Xvfb");
        // Xvfb picks a free display itself and writes its number.
        server_.setArguments({"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        server_.start();
        if (!server_.waitForStarted(5000)) {
            unavailable_ = "Xvfb cannot be started (package xvfb)";
            return;
        }
        QByteArray said;
        while (!said.contains('\n') && server_.waitForReadyRead(10000)) said += server_.readAllStandardOutput();
        bool number = false;
        const int display = said.trimmed().toInt(&number);
        if (number)
            display_ = ":" + QString::number(display);
        else
            unavailable_ = "Xvfb did not say which display it took";
    }
    ~XServer() {
        server_.terminate();
        if (!server_.waitForFinished(5000)) server_.kill();
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", or empty when there is no server; then unavailable() says why.
    const QString& display() const { return display_; }
    const QString& unavailable() const { return unavailable_; }

private:
    QProcess server_;
    QString display_;
    QString unavailable_;
};

}  // namespace kelvara::testing
