#pragma once
// How wide a window must be for the window manager to show its whole title.

#include <QFont>
#include <QString>

namespace kelvara {

// The title in a bold face like `font` (the window manager draws titles bold, near the program's
// own size), beside the frame's icon and buttons.
int TitleWidth(const QString& title, const QFont& font);

}  // namespace kelvara
