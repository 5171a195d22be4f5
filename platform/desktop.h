// Other programs' windows.
#pragma once

#include "platform/types.h"

namespace platform {

// A top-level window of class `className` whose title is `title`, or null.
Window FindTopWindow(const char* className, const char* title);

// A top-level window of the system dialog class whose title is `title`:
// another updater's wizard (or any dialog or message box so titled).
Window FindDialogWindow(const char* title);

// Shows the window and brings it to the foreground.
void ShowAndRaise(Window window);

}  // namespace platform
