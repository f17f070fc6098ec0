#pragma once
// The drive combo: each time its list opens it asks for the drives again, so a card put in
// after start-up can be chosen and one taken out is gone.

#include <QComboBox>

#include "platform/platform.h"

namespace kelvara {

class DriveCombo : public QComboBox {
    Q_OBJECT

public:
    DriveCombo(Platform& platform, QWidget* parent);

    // "Select Drive", then the removable drives the platform lists now. The chosen entry stays
    // chosen, and stays listed even when its drive has gone: a running command reads its drive
    // string from here, and must not find another drive under it. Nothing is chosen anew, so no
    // drive selection runs.
    void RefreshDrives();

    void showPopup() override;

private:
    Platform& platform_;
};

}  // namespace kelvara
