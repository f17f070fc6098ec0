#pragma once
// The terminal a command-line program writes to.

namespace kelvara {

// True when standard error is a terminal, where a progress bar can redraw itself in place.
bool StandardErrorIsTerminal();

// The terminal's width in characters, 80 when it cannot be told.
int TerminalColumns();

}  // namespace kelvara
