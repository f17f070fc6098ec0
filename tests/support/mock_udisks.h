#pragma once
// A private system bus with a stand-in for udisks2 on it (mock_udisks.py beside this file),
// for the life of the object. Meanwhile DBUS_SYSTEM_BUS_ADDRESS of this process names that bus,
// so a platform made now asks the stand-in, as do programs started with environment().

#include <QProcess>
#include <QProcessEnvironment>
#include <memory>
#include <string>

#include "tests/support/temp_dir.h"

namespace kelvara::testing {

class MockUdisks {
public:
    MockUdisks();
    ~MockUdisks();
    MockUdisks(const MockUdisks&) = delete;
    MockUdisks& operator=(const MockUdisks&) = delete;

    // Empty when the bus and the stand-in run; otherwise why they do not, for a skip.
    const std::string& unavailable() const { return unavailable_; }
    const std::string& address() const { return address_; }
    // A folder that any user may enter, removed with the bus.
    const TempDir& dir() const { return dir_; }
    QProcessEnvironment environment() const;

    // One command of the stand-in ("add sdb card /tmp/card.img"); throws when it fails.
    // Returns what the answer says after "ok", if anything.
    std::string Command(const std::string& line);

private:
    TempDir dir_;
    QProcess bus_;
    QProcess service_;
    std::string address_;
    std::string unavailable_;
    std::string previous_;  // DBUS_SYSTEM_BUS_ADDRESS before
    bool hadPrevious_ = false;
};

}  // namespace kelvara::testing
