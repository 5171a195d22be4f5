#include "platform/console.h"

#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <io.h>

namespace platform {

// The profile reader takes a relative path as one in the Windows folder, so
// the folder is made absolute.
std::string MountNativeFolder(char, const std::string& nativeFolder) {
    std::string path = std::filesystem::absolute(nativeFolder).lexically_normal().string();
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

bool ErrorStreamIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

void UseBinaryStandardOutput() { ::_setmode(::_fileno(stdout), _O_BINARY); }

}  // namespace platform
