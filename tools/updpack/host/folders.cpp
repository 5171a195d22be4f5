#include "tools/updpack/folders.h"

#include <filesystem>

#include <unistd.h>

#include "platform/host/control.h"

namespace updpack {

// The host backend only knows drive letters; a spare one stands for the
// publisher's folder.
std::string MountFolder(char drive, const std::string& nativeFolder) {
    platform::HostMapDrive(drive, std::filesystem::absolute(nativeFolder).lexically_normal().string());
    return std::string{drive, ':'};
}

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace updpack
