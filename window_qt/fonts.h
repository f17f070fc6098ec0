#pragma once
// The faces the windows are drawn in, and how wide their texts run.

#include <QFont>
#include <QString>

#include "window/layout.h"

namespace kelvara::qt {

// The layouts were drawn for the small system face of their day; today's default face would run
// captions past the edges of their controls. So 11 pixels, and for the main window a narrow face
// where one is installed.
QFont LayoutFont(WindowLayout::Face face);

// How wide a window must be for the window manager to show its whole title: the title in a bold
// face near the program's own size (as window managers draw titles), beside the frame's icon
// and buttons.
int TitleWidth(const QString& title, const QFont& font);

}  // namespace kelvara::qt
