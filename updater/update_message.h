// The update message of UPDATE.INI, as start-up shows it.
#pragma once

#include <span>

namespace updater {

// Copies `message` into `out` (cut to its size - 1), turning each pair of a
// backslash and a small n (`\n`, as UPDATE.INI writes a line break) into a
// carriage return. A double-byte character passes whole, so a second byte
// of 0x5C is never taken for a backslash.
void ConvertUpdateMessage(const char* message, std::span<char> out);

}  // namespace updater
