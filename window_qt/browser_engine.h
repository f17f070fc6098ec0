#pragma once
// The browser engine behind the preview pane and the help window, made ready for this
// process before the application object exists.

namespace kelvara::qt {

// Call before the QApplication is made. The engine refuses to start as root while its
// sandbox is on, and would take the program down at the first preview; so as root, and only
// then, its sandbox is turned off. Its report of the graphics set-up is kept off the terminal.
void PrepareBrowserEngine();

// True when this process runs as the administrator (root).
bool RunningAsRoot();

}  // namespace kelvara::qt
