// Other programs' top-level windows.
#include "platform/desktop.h"

#include "platform/win32/handles.h"

namespace platform {

namespace {
// The class atom of dialogs and message boxes ("#32770").
constexpr WORD DialogClassAtom = 0x8002;
}  // namespace

Window FindTopWindow(const char* className, const char* title) {
    return win32::FromHwnd(::FindWindowA(className, title));
}

Window FindDialogWindow(const char* title) {
    return win32::FromHwnd(::FindWindowA(MAKEINTATOM(DialogClassAtom), title));
}

void ShowAndRaise(Window window) {
    ::ShowWindow(win32::ToHwnd(window), SW_SHOW);
    ::SetForegroundWindow(win32::ToHwnd(window));
}

}  // namespace platform
