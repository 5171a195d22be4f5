// The shell's file copy, with its own progress window.
#include "platform/shell.h"

#include "platform/ui.h"
#include "platform/win32/handles.h"

// After windows.h, which it builds on.
#include <shellapi.h>

namespace platform {

int ShellCopy(Window owner, const char* from, const char* to, std::uint16_t flags, bool* aborted) {
    // Every field not named here stays zero: no progress title, no name
    // mappings.
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = win32::ToHwnd(owner);
    operation.wFunc = FO_COPY;
    operation.pFrom = from;
    operation.pTo = to;
    operation.fFlags = flags;
    DropTypedAhead();
    const int result = ::SHFileOperationA(&operation);
    if (aborted != nullptr) *aborted = operation.fAnyOperationsAborted != FALSE;
    return result;
}

}  // namespace platform
