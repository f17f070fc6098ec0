#pragma once
// Message boxes of the Qt windows, shown from the core's data.

#include <functional>

#include "window/message.h"

class QWidget;

namespace kelvara::qt {

// Shows `message` modal over `parent`; true for OK or Yes.
bool ShowMessageBox(QWidget* parent, const Message& message);

// A responder answers instead of a real box (true: OK or Yes), so the window tests read and
// answer the boxes without a person at the screen; an empty one restores the real boxes.
using MessageResponder = std::function<bool(const Message&)>;
void SetMessageResponder(MessageResponder responder);

}  // namespace kelvara::qt
