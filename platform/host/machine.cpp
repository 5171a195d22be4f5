// The simulated machine's record, its reset, and the mapping of Windows
// paths onto the host's folders.
#include "platform/host/machine.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/text.h"

namespace platform {
namespace host {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& hostPath) {
    struct stat info;
    return ::lstat(hostPath.c_str(), &info) == 0;
}

// The entry of `folder` that the cp932 `name` means: itself when it exists,
// else the first entry equal to it case-blind, else `name` (a path yet to
// be made). With `utf8Names`, the host names are UTF-8 as a rule: `name`
// is looked for in that form first, and each entry's name is compared in
// cp932; a name that is no UTF-8 (one unpacked as cp932 bytes) is compared
// as it stands.
std::string MatchComponent(const std::string& folder, const std::string& name, bool utf8Names) {
    std::string hostName = name;
    if (utf8Names) (void)platform::Utf8FromCp932(name, &hostName);
    if (Exists(folder + "/" + hostName)) return hostName;
    if (hostName != name && Exists(folder + "/" + name)) return name;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return hostName;
    std::string found = hostName;
    while (const dirent* entry = ::readdir(dir)) {
        std::string entryName = entry->d_name;
        if (utf8Names) (void)platform::Cp932FromUtf8(entry->d_name, &entryName);
        if (platform::EqualNoCase(entryName.c_str(), name.c_str())) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

std::optional<std::string> ResolvePath(const char* windowsPath) {
    if (windowsPath == nullptr) return std::nullopt;
    std::string_view path(windowsPath);
    const Machine& machine = TheMachine();
    if (path.size() < 2 || path[1] != ':') {
        // Relative to the current folder, when there is one; a path from
        // the current drive's root ("\\GAME") or a share resolves nowhere.
        if (machine.currentFolder.empty() || path.empty() || path[0] == '\\' || path[0] == '/')
            return std::nullopt;
        return ResolvePath((machine.currentFolder + "\\" + std::string(path)).c_str());
    }
    const char drive = UpperAscii(path[0]);
    const auto mapped = machine.drives.find(drive);
    if (mapped == machine.drives.end() || mapped->second.empty()) return std::nullopt;

    std::string host = mapped->second;
    const std::string base = host;
    std::size_t pos = 2;
    while (pos < path.size()) {
        // The second byte of a double-byte character (0x5C in some) is no
        // separator.
        std::size_t end = pos;
        while (end < path.size() && path[end] != '\\' && path[end] != '/')
            end = static_cast<std::size_t>(platform::NextChar(path.data() + end) - path.data());
        std::string name(path.substr(pos, end - pos));
        const bool last = end >= path.size();
        pos = std::min(end + 1, path.size());
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            // Never above the drive's root, as on Windows.
            if (host.size() > base.size()) host.erase(host.rfind('/'));
            continue;
        }
        // Windows drops the dots and blanks that end the last name ("a.txt."
        // is "a.txt", "..." the folder itself) and one dot that ends a
        // folder's name. Neither byte is ever a double-byte character's second.
        if (last) {
            name.erase(name.find_last_not_of(". ") + 1);
            if (name.empty()) continue;
        } else if (name.back() == '.' && name.find_first_not_of('.') != std::string::npos) {
            name.pop_back();
        }
        const std::string component = MatchComponent(host, name, machine.utf8Drives.count(drive) != 0);
        host += '/';
        host += component;
    }
    return host;
}

bool EndsInSeparator(const char* windowsPath) {
    const char* last = nullptr;
    for (const char* at = windowsPath; *at != '\0'; at = platform::NextChar(at)) last = at;
    return last != nullptr && platform::NextChar(last) - last == 1 && (*last == '\\' || *last == '/');
}

bool IsNoPlainFile(const std::string& hostPath) {
    struct stat info;
    return ::stat(hostPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

std::uint32_t WindowsError(int posixError, const std::string& hostPath) {
    switch (posixError) {
    case ENOENT: {
        const fs::path parent = fs::path(hostPath).parent_path();
        std::error_code ignored;
        return fs::is_directory(parent, ignored) ? ErrorFileNotFound : ErrorPathNotFound;
    }
    case ENOTDIR: return ErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return ErrorAccessDenied;
    case EEXIST: return ErrorFileExists;
    case ENOSPC: return ErrorDiskFull;
    case ENOTEMPTY: return ErrorDirNotEmpty;
    case EIO: return ErrorIoDevice;
    default: return ErrorGeneric;
    }
}

Status Failure(std::uint32_t windowsError) { return Status{false, windowsError}; }
Status Success() { return Status{true, 0}; }

Window NewWindow(const std::string& className, const std::string& title) {
    auto window = std::make_unique<WindowObject>();
    window->className = className;
    window->title = title;
    TheMachine().windows.push_back(std::move(window));
    return TheMachine().windows.back().get();
}

// A FILETIME with the high bit set counts as one before 1601, so it comes
// back as 0. Both conversions shift by whole seconds, so none overflows, and
// every FILETIME from 1601 on converts there and back unchanged.
FileTime FileTimeFromTimespec(const timespec& time) {
    const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + SecondsFrom1601To1970;
    if (seconds < 0) return 0;
    return static_cast<FileTime>(seconds) * FileTimeTicksPerSecond + static_cast<FileTime>(time.tv_nsec / 100);
}

timespec TimespecFromFileTime(FileTime time) {
    const auto ticks = static_cast<std::int64_t>(time);
    std::int64_t seconds = ticks / FileTimeTicksPerSecond - SecondsFrom1601To1970;
    std::int64_t rest = ticks % FileTimeTicksPerSecond;
    if (rest < 0) {
        rest += FileTimeTicksPerSecond;
        --seconds;
    }
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(rest * 100);
    return result;
}

bool SetLastWriteTime(const std::string& hostPath, FileTime time) {
    const timespec times[2] = {{0, UTIME_OMIT}, TimespecFromFileTime(time)};
    return ::utimensat(AT_FDCWD, hostPath.c_str(), times, 0) == 0;
}

}  // namespace host

void HostReset(const std::string& root) {
    host::Machine& machine = host::TheMachine();
    machine = host::Machine{};
    const std::string drive = root + "/C";
    std::error_code ignored;
    std::filesystem::create_directories(drive + "/TEMP", ignored);
    machine.drives['C'] = drive;
    machine.tempFolder = "C:\\TEMP\\";
}

void HostSetCurrentFolder(const std::string& windowsFolder) { host::TheMachine().currentFolder = windowsFolder; }

std::string HostPath(const char* windowsPath) {
    return host::ResolvePath(windowsPath).value_or("");
}

void HostAddCdromDrive(char drive, const std::string& folder) {
    const char letter = host::UpperAscii(drive);
    host::TheMachine().drives[letter] = folder;
    host::TheMachine().utf8Drives.erase(letter);
    host::TheMachine().cdromDrives[letter] = !folder.empty();
}

}  // namespace platform
