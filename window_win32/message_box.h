#pragma once
// The program's message boxes: modal, owned by the window that asked, centred on it and in
// front of it (whatever other window is active), and sized from their text and title before
// they show. The text's control, and the buttons, carry the IDs a system message box gives them.

#include "window/message.h"
#include "window_win32/win32.h"

namespace kelvara::win32 {

// Shows `message` over `owner` (nullptr: the middle of the work area) until a button is
// pressed; true for OK or Yes. `titleWidth` is how wide the frame must be for the whole title.
bool ShowMessageBox(HWND owner, const Message& message, int titleWidth);

}  // namespace kelvara::win32
