// The shell's file copy, with its own progress window.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

inline constexpr std::uint16_t CopyNoConfirmation = 0x0010;
inline constexpr std::uint16_t CopyNoConfirmMakeFolder = 0x0200;
inline constexpr std::uint16_t CopyNoErrorUi = 0x0400;

// Copies the files or folders of the list `from` to `to`. Both are lists of
// strings closed by an empty string (a path followed by two zero bytes).
// Returns the shell's result (0 is success) and sets `aborted` when the
// user cancelled the operation. Input given before it started is dropped
// first, so that no key typed ahead cancels it.
int ShellCopy(Window owner, const char* from, const char* to, std::uint16_t flags,
              bool* aborted);

}  // namespace platform
