// The tool's view of the publisher's folders through the platform seam, so
// that UPDATE.INI and SETUP.INI are read by the updater's own readers.
#pragma once

#include <string>

namespace updpack {

// Makes the native folder `nativeFolder` readable through the seam and
// returns the path the seam knows it by (no trailing separator). The
// backend decides how: the Windows build uses the folder's absolute path,
// the host build maps it to the drive `drive`.
std::string MountFolder(char drive, const std::string& nativeFolder);

// Whether standard error is a terminal (progress is shown only there).
bool ErrorStreamIsTerminal();

}  // namespace updpack
