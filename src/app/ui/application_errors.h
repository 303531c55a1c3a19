#pragma once

// The application's one handler of errors in the UI: every command a user
// starts runs through it, so that a failure is an error box with the system's
// message instead of a crash or silence. Main thread only.

#include <functional>

class QWidget;

namespace tagsmith {

// Runs `body`; an exception it throws (tagsmith::Exception or any
// std::exception) is shown by ModalUi().ShowError with its message, any
// other with a generic one. Returns true when `body` finished, false when it
// threw.
bool RunGuarded(QWidget* parent, const std::function<void()>& body);

}  // namespace tagsmith
