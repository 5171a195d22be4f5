// Handles and small records shared by every part of the platform seam.
//
// Everything above platform/ sees the operating system only through the
// headers in this folder. Handles are opaque: each backend defines the
// struct behind them (win32/ around the real Windows objects, host/ around
// its simulation), so nothing above the seam can reach inside one.
#pragma once

#include <cstdint>

namespace platform {

// A window: the wizard dialog, a message box's owner, another program's
// top-level window. Null means "no window".
struct WindowObject;
using Window = WindowObject*;

// The running module (the exe), the place its resources come from.
struct ModuleObject;
using Module = ModuleObject*;

// A Windows FILETIME as one number: 100-nanosecond ticks since 1601-01-01 UTC.
using FileTime = std::uint64_t;
inline constexpr std::int64_t FileTimeTicksPerSecond = 10'000'000;
// From FILETIME's start to POSIX time's, 1970-01-01 UTC.
inline constexpr std::int64_t SecondsFrom1601To1970 = 11'644'473'600;

// Result of a call that can fail: the OS error code travels with it so a
// caller (or a test) can tell why. Seam functions never throw, but for
// RunModalDialog, which passes on its dialog procedure's exception.
struct Status {
    bool ok = false;
    std::uint32_t osError = 0;
    explicit operator bool() const { return ok; }
};

}  // namespace platform
