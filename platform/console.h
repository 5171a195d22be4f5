// What the publisher's command-line tool needs of the system beyond the
// updater's own seam: its native folders seen through the seam, and whether
// it talks to a terminal.
#pragma once

#include <string>

namespace platform {

// Makes the native folder `nativeFolder` readable through the seam and
// returns the path the seam knows it by (no trailing separator). The Windows
// build uses the folder's absolute path; the host build maps it to the drive
// letter `drive`, the only kind of path it knows.
std::string MountNativeFolder(char drive, const std::string& nativeFolder);

// Whether standard error is a terminal (progress is shown only there).
bool ErrorStreamIsTerminal();

// Puts standard output into binary mode, so entry content written there
// arrives byte for byte (Windows would otherwise turn LF into CR LF).
void UseBinaryStandardOutput();

}  // namespace platform
