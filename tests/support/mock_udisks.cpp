#include "tests/support/mock_udisks.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/posix/udisks.h"

namespace kelvara::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";  // Debian's, which has the D-Bus module
constexpr int kWaitMs = 20000;

// Any user may connect; the stand-in may own the service's name.
constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=@SOCKET@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";

std::string ReadLine(QProcess& process) {
    while (!process.canReadLine())
        if (!process.waitForReadyRead(kWaitMs)) return {};
    return process.readLine().trimmed().toStdString();
}

}  // namespace

MockUdisks::MockUdisks() {
    if (!kUdisksBuiltIn) {
        unavailable_ = "this build has no D-Bus client (libsystemd-dev was not found)";
        return;
    }
    if (QProcess::execute(kPython, {"-c", "import dbus, gi.repository.GLib"}) != 0) {
        unavailable_ = "python3-dbus and python3-gi are not installed";
        return;
    }
    ::chmod(dir_.path().c_str(), 0755);  // a test may run a program as another user in here
    const std::string socket = dir_.file("system_bus_socket");
    std::string config = kBusConfig;
    config.replace(config.find("@SOCKET@"), 8, socket);
    std::ofstream(dir_.file("bus.conf")) << config;

    bus_.start("dbus-daemon", {"--nofork", "--print-address=1", QString::fromStdString("--config-file=" + dir_.file("bus.conf"))});
    address_ = ReadLine(bus_);
    if (address_.empty()) {
        unavailable_ = "dbus-daemon did not start: " + bus_.readAllStandardError().toStdString();
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(address_));
    service_.setProcessEnvironment(environment);
    service_.start(kPython, {QString::fromStdString(KELVARA_TESTS_DIR "/support/mock_udisks.py")});
    if (ReadLine(service_) != "ready") {
        unavailable_ = "the udisks2 stand-in did not start: " + service_.readAllStandardError().toStdString();
        return;
    }
    if (const char* before = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
        previous_ = before;
        hadPrevious_ = true;
    }
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
}

MockUdisks::~MockUdisks() {
    if (hadPrevious_)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_.c_str(), 1);
    else if (!address_.empty())
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    for (QProcess* process : {&service_, &bus_}) {
        if (process->state() == QProcess::NotRunning) continue;
        process->terminate();
        if (!process->waitForFinished(5000)) process->kill();
        process->waitForFinished(5000);
    }
}

QProcessEnvironment MockUdisks::environment() const {
    QProcessEnvironment environment;
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(address_));
    environment.insert("PATH", "/usr/bin:/bin");
    environment.insert("HOME", QString::fromStdString(dir_.path()));
    return environment;
}

std::string MockUdisks::Command(const std::string& line) {
    service_.write((line + "\n").c_str());
    const std::string answer = ReadLine(service_);
    if (answer == "ok") return {};
    if (answer.rfind("ok ", 0) == 0) return answer.substr(3);
    throw std::runtime_error("udisks2 stand-in, " + line + ": " + (answer.empty() ? "no answer" : answer) + " " +
                                 service_.readAllStandardError().toStdString());
}

}  // namespace kelvara::testing
