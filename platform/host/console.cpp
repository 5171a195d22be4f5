#include "platform/console.h"

#include <filesystem>

#include <unistd.h>

#include "platform/host/control.h"

namespace platform {

std::string MountNativeFolder(char drive, const std::string& nativeFolder) {
    HostMapDrive(drive, std::filesystem::absolute(nativeFolder).lexically_normal().string());
    return std::string{drive, ':'};
}

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

// POSIX streams have no text mode.
void UseBinaryStandardOutput() {}

}  // namespace platform
