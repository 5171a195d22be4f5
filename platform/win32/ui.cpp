// Message boxes, the modal dialog and its controls, cursors.
#include "platform/ui.h"

#include <exception>
#include <utility>

#include "platform/win32/handles.h"

namespace platform {
namespace {

using win32::FromHwnd;
using win32::ToHwnd;

DialogEvent EventOf(UINT message) {
    switch (message) {
    case WM_INITDIALOG: return DialogEvent::Init;
    case WM_COMMAND: return DialogEvent::Command;
    case WM_SETCURSOR: return DialogEvent::SetCursor;
    default: return DialogEvent::Other;
    }
}

// What a dialog procedure threw, until RunModalDialog has returned.
std::exception_ptr pendingException;

// Translates messages into seam events. The seam procedure travels in the
// lParam of WM_INITDIALOG and is kept in the dialog's user slot, so no
// global is needed.
INT_PTR CALLBACK DialogThunk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        lParam = 0;
    }
    const auto procedure = reinterpret_cast<DialogProcedure>(::GetWindowLongPtrA(dialog, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT) find no procedure yet.
    if (procedure == nullptr) return FALSE;
    const DialogEvent event = EventOf(message);
    bool handled = false;
    try {
        handled = procedure(FromHwnd(dialog), event, wParam, lParam);
    } catch (...) {
        // An exception must not unwind through the system's dialog code,
        // which may swallow it and carry on. The dialog ends, and
        // RunModalDialog throws it again to its own caller.
        pendingException = std::current_exception();
        ::EndDialog(dialog, -1);
        return TRUE;
    }
    // A handled WM_SETCURSOR must answer TRUE, or the system resets the cursor.
    if (handled && event == DialogEvent::SetCursor) ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return handled ? TRUE : FALSE;
}

HWND Item(Window dialog, int id) { return ::GetDlgItem(ToHwnd(dialog), id); }

}  // namespace

void DropTypedAhead() {
    MSG message;
    for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                                     {WM_MOUSEFIRST, WM_MOUSELAST},
                                     {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
        while (::PeekMessageA(&message, nullptr, first, last, PM_REMOVE)) {
        }
    }
}

void StayResponsive() {
    DropTypedAhead();
    // Only repaints are taken from the queue; a message sent by another
    // thread is answered within the peek itself. A WM_PAINT stays queued
    // until its window validates itself; the bound keeps a window that never
    // does from holding the update here.
    MSG message;
    for (int served = 0; served < 64 && ::PeekMessageA(&message, nullptr, 0, 0,
                                                        PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE);
         ++served) {
        ::DispatchMessageA(&message);
    }
}

BoxAnswer ShowBox(Window owner, const char* text, const char* caption, BoxKind kind) {
    DropTypedAhead();
    const UINT style = kind == BoxKind::ErrorOk ? MB_OK | MB_ICONERROR : MB_OKCANCEL;
    switch (::MessageBoxA(ToHwnd(owner), text, caption, style)) {
    case IDOK: return BoxAnswer::Ok;
    case IDCANCEL: return BoxAnswer::Cancel;
    default: return BoxAnswer::Other;
    }
}

std::intptr_t RunModalDialog(Module module, int templateId, DialogProcedure procedure) {
    const INT_PTR result = ::DialogBoxParamA(win32::ToHmodule(module), MAKEINTRESOURCEA(templateId),
                                             nullptr, DialogThunk, reinterpret_cast<LPARAM>(procedure));
    if (pendingException) std::rethrow_exception(std::exchange(pendingException, nullptr));
    return result;
}

void EndModalDialog(Window dialog, std::intptr_t result) { ::EndDialog(ToHwnd(dialog), result); }

void SetWindowTitle(Window window, const char* text) { ::SetWindowTextA(ToHwnd(window), text); }

void SetItemText(Window dialog, int id, const char* text) {
    ::SetDlgItemTextA(ToHwnd(dialog), id, text);
}

void EnableItem(Window dialog, int id, bool enabled) {
    if (const HWND item = Item(dialog, id)) ::EnableWindow(item, enabled ? TRUE : FALSE);
}

bool IsItemEnabled(Window dialog, int id) {
    const HWND item = Item(dialog, id);
    return item != nullptr && ::IsWindowEnabled(item) != FALSE;
}

void ShowItem(Window dialog, int id, bool shown) {
    if (const HWND item = Item(dialog, id)) ::ShowWindow(item, shown ? SW_SHOW : SW_HIDE);
}

void FocusItem(Window dialog, int id) {
    // Through the dialog manager, so that a push button given the focus also
    // becomes the one Enter presses.
    if (const HWND item = Item(dialog, id))
        ::SendMessageA(ToHwnd(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void CheckRadio(Window dialog, int first, int last, int checked) {
    ::CheckRadioButton(ToHwnd(dialog), first, last, checked);
}

void ShowWaitCursor() { ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT)); }

void ShowArrowCursor() { ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW)); }

}  // namespace platform
