#pragma once
// Runs one test of a window test program in a process of its own: with another environment,
// or from a copy of the program placed elsewhere.

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace kelvara::testing {

struct ChildTest {
    bool passed = false;
    QString output;  // standard output and error together
};

// Runs test `name` ("Suite.Test") of `program`, this test program when empty, and waits for it.
inline ChildTest RunChildTest(const QString& name,
                              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                              QString program = {}) {
    if (program.isEmpty()) program = QCoreApplication::applicationFilePath();
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, {"--gtest_filter=" + name});
    const bool finished = child.waitForFinished(180000);
    ChildTest result;
    result.output = QString::fromLocal8Bit(child.readAll());
    result.passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                    result.output.contains("[  PASSED  ] 1 test");
    return result;
}

}  // namespace kelvara::testing
