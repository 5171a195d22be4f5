// The seam's opaque handles are the Windows handles themselves: only this
// backend converts between the two.
#pragma once

#include <windows.h>

#include "platform/types.h"

namespace platform::win32 {

inline HWND ToHwnd(Window window) { return reinterpret_cast<HWND>(window); }
inline Window FromHwnd(HWND window) { return reinterpret_cast<Window>(window); }
inline HMODULE ToHmodule(Module module) { return reinterpret_cast<HMODULE>(module); }

inline Status LastError() { return Status{false, ::GetLastError()}; }
inline Status StatusOf(BOOL succeeded) { return succeeded ? Status{true, 0} : LastError(); }

// A kernel handle closed when it goes out of scope; CreateFile's failure
// (INVALID_HANDLE_VALUE) and other calls' (null) both read as not valid.
struct OwnedHandle {
    explicit OwnedHandle(HANDLE owned) : handle(owned) {}
    HANDLE handle;
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (valid()) ::CloseHandle(handle);
    }
    bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
};

inline FileTime FromFiletime(const FILETIME& time) {
    return static_cast<FileTime>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
inline FILETIME ToFiletime(FileTime time) {
    return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

}  // namespace platform::win32
