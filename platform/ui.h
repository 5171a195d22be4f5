// Message boxes, the modal dialog and its controls, cursors.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

enum class BoxKind {
    ErrorOk,   // the error icon and a single OK button
    OkCancel,  // OK and Cancel, no icon
};

enum class BoxAnswer { Ok, Cancel, Other };

// Drops the keys and clicks waiting for the program: input given while it
// was busy, which must not act on what it shows next.
void DropTypedAhead();

// Called between the pieces of a long write, which reads no messages
// otherwise: repaints what needs it and answers the messages other
// programs send, so that Windows doesn't take the program for hung and
// offer to end it halfway through; drops the input given meanwhile.
void StayResponsive();

// A modal message box with `text` and `caption`, owned by `owner` (may be
// null). Returns when the user closes it. Input given before it appeared is
// dropped first: a key meant for something else never answers it.
BoxAnswer ShowBox(Window owner, const char* text, const char* caption, BoxKind kind);

// What reaches a dialog procedure, in the seam's words.
enum class DialogEvent {
    Init,       // the dialog is being set up
    Command,    // a control's command: wParam's low word the id, high word the code
    SetCursor,  // the cursor is over the dialog
    Other,
};

using DialogProcedure = bool (*)(Window dialog, DialogEvent event, std::uintptr_t wParam,
                                 std::intptr_t lParam);

// Runs the modal dialog of template `templateId` from `module`'s resources,
// with no owner, until the procedure ends it. Returns the result given to
// EndModalDialog, or -1 when the dialog could not be made. An exception the
// procedure throws ends the dialog and comes out of this call.
std::intptr_t RunModalDialog(Module module, int templateId, DialogProcedure procedure);

// Ends the modal dialog; the end takes effect once the current message is
// handled.
void EndModalDialog(Window dialog, std::intptr_t result);

// Controls of a dialog, by id. A call on an id the dialog lacks does nothing.
void SetWindowTitle(Window window, const char* text);
void SetItemText(Window dialog, int id, const char* text);
void EnableItem(Window dialog, int id, bool enabled);
bool IsItemEnabled(Window dialog, int id);  // false for an id the dialog lacks
void ShowItem(Window dialog, int id, bool shown);
void FocusItem(Window dialog, int id);
// Checks `checked` and clears every other radio button from `first` to `last`.
void CheckRadio(Window dialog, int first, int last, int checked);

// The system's wait (hourglass) and arrow cursors.
void ShowWaitCursor();
void ShowArrowCursor();

}  // namespace platform
