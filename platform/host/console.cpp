#include "platform/console.h"

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/host/machine.h"
#include "platform/text.h"

namespace platform {

std::string MountNativeFolder(char drive, const std::filesystem::path& absoluteFolder) {
    host::Machine& machine = host::TheMachine();
    machine.drives[host::UpperAscii(drive)] = absoluteFolder.native();
    machine.utf8Drives.insert(host::UpperAscii(drive));
    return std::string{drive, ':'};
}

std::string NarrowPath(const std::filesystem::path& path) { return path.native(); }

std::optional<FileTime> NativeLastWriteTime(const std::filesystem::path& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return host::FileTimeFromTimespec(info.st_mtim);
}

bool SetNativeLastWriteTime(const std::filesystem::path& path, FileTime time) {
    return IsSettableFileTime(time) && host::SetLastWriteTime(path.native(), time);
}

std::filesystem::path RunningExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

// POSIX arguments and output are UTF-8.
bool PrintableFromCp932(std::string_view cp932, std::string* printable) {
    return Utf8FromCp932(cp932, printable);
}

// The host's text is cp932 already.
const char* NextCp932Char(const char* text) { return NextChar(text); }

bool Cp932FromArgument(std::string_view argument, std::string* cp932) {
    return Cp932FromUtf8(argument, cp932);
}

bool UseSystemCodePageForNarrowText() { return true; }

// POSIX streams have no text mode.
void UseBinaryStandardOutput() {}

}  // namespace platform
