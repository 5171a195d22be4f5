// Files on the host: POSIX calls on the mapped folders, with the Windows
// rules root would otherwise escape (read-only files, folders that are not
// files) and what POSIX has no place for (attribute bits, creation time)
// kept in the machine's side table.
#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/machine.h"
#include "platform/text.h"

namespace platform {

struct FileObject {
    int fd = -1;
    std::string hostPath;
};

void FileCloser::operator()(FileObject* file) const {
    if (file->fd >= 0) ::close(file->fd);
    delete file;
}

namespace {

using host::ErrorAccessDenied;
using host::ErrorPathNotFound;
using host::Failure;
using host::Success;
using host::TheMachine;

constexpr std::uint32_t KeptAttributes =
    AttributeReadOnly | AttributeHidden | AttributeSystem | AttributeArchive;

// Why a path with no host folder behind it fails: a CD-ROM drive without
// a disc is not ready; anything else is a path that does not exist.
std::uint32_t UnresolvedError(const char* path) {
    if (path != nullptr && path[0] != '\0' && path[1] == ':') {
        const auto drive = TheMachine().cdromDrives.find(host::UpperAscii(path[0]));
        if (drive != TheMachine().cdromDrives.end() && !drive->second) return host::ErrorNotReady;
    }
    return ErrorPathNotFound;
}

bool IsFolder(const std::string& hostPath) {
    struct stat info;
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsReadOnly(const std::string& hostPath) {
    const auto extras = TheMachine().extras.find(hostPath);
    return extras != TheMachine().extras.end() &&
           (extras->second.attributes & AttributeReadOnly) != 0;
}

FileTime Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return host::FileTimeFromTimespec(now);
}

Status ErrnoStatus(const std::string& hostPath) {
    return Failure(host::WindowsError(errno, hostPath));
}

FileHandle Report(Status result, Status* status) {
    if (status != nullptr) *status = result;
    return nullptr;
}

// Windows takes no control character and none of < > " | ? * in a name.
// (A colon after the drive is left alone: on NTFS it names a stream.)
bool HasRefusedCharacter(const char* path) {
    for (const char* at = path; *at != '\0'; at = platform::NextChar(at)) {
        const auto byte = static_cast<unsigned char>(*at);
        if (platform::NextChar(at) - at == 1 && (byte < 32 || std::strchr("<>\"|?*", byte) != nullptr)) {
            return true;
        }
    }
    return false;
}

// The ANSI calls refuse a path of MAX_PATH characters or more.
bool TooLong(const char* path) {
    std::size_t characters = 0;
    for (const char* at = path; *at != '\0'; at = platform::NextChar(at)) ++characters;
    return characters >= PathCapacity;
}

// A Windows path that must resolve, for the calls that take one. With a
// separator at its end, a path of a file calls (all but the folder calls)
// is an invalid name, as on Windows.
struct Resolved {
    std::optional<std::string> hostPath;
    Status failure;
};
Resolved Resolve(const char* path, bool folderCall = false) {
    if (path != nullptr && HasRefusedCharacter(path)) return {std::nullopt, Failure(host::ErrorInvalidName)};
    if (path != nullptr && TooLong(path)) return {std::nullopt, Failure(host::ErrorFilenameTooLong)};
    Resolved resolved{host::ResolvePath(path), {}};
    if (!resolved.hostPath) {
        resolved.failure = Failure(UnresolvedError(path));
    } else if (!folderCall && host::EndsInSeparator(path) && !IsFolder(*resolved.hostPath)) {
        return {std::nullopt, Failure(host::ErrorInvalidName)};
    }
    return resolved;
}

}  // namespace

FileHandle OpenForRead(const char* path, Status* status) {
    const Resolved resolved = Resolve(path);
    if (!resolved.hostPath) return Report(resolved.failure, status);
    const std::string& hostPath = *resolved.hostPath;
    if (host::IsNoPlainFile(hostPath)) return Report(Failure(ErrorAccessDenied), status);
    const int fd = host::FaultFires(FaultKind::Open, EACCES)
                       ? -1
                       : ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Report(ErrnoStatus(hostPath), status);
    if (status != nullptr) *status = Success();
    return FileHandle(new FileObject{fd, hostPath});
}

// POSIX sets the times through a descriptor opened for reading.
FileHandle OpenForStamping(const char* path, Status* status) { return OpenForRead(path, status); }

// As CreateFileA with create-new: never a folder, never over a read-only
// file; the new file has normal attributes.
FileHandle CreateNewForWrite(const char* path, Status* status) {
    const Resolved resolved = Resolve(path);
    if (!resolved.hostPath) return Report(resolved.failure, status);
    const std::string& hostPath = *resolved.hostPath;
    if (IsFolder(hostPath) || IsReadOnly(hostPath)) {
        return Report(Failure(ErrorAccessDenied), status);
    }
    const int fd = host::FaultFires(FaultKind::Create, EACCES)
                       ? -1
                       : ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Report(ErrnoStatus(hostPath), status);
    host::FileExtras& extras = TheMachine().extras[hostPath];
    extras.attributes = 0;
    extras.creation = Now();
    if (status != nullptr) *status = Success();
    return FileHandle(new FileObject{fd, hostPath});
}

std::uint32_t FileSize32(FileObject* file) {
    struct stat info;
    const int result = host::FaultFires(FaultKind::FileSize, EIO) ? -1 : ::fstat(file->fd, &info);
    // A size that does not fit 32 bits must not pass for a smaller one.
    if (result != 0 || info.st_size >= static_cast<off_t>(InvalidFileSize)) return InvalidFileSize;
    return static_cast<std::uint32_t>(info.st_size);
}

Status ReadOnce(FileObject* file, std::span<std::uint8_t> buffer, std::uint32_t* moved) {
    *moved = 0;
    if (!FitsOneRequest(buffer.size())) return Failure(host::ErrorInvalidParameter);
    // One request reads everything up to the end of the file, as ReadFile does.
    while (*moved < buffer.size()) {
        const auto rest = buffer.subspan(*moved);
        const ssize_t got = host::FaultFires(FaultKind::Read, EIO)
                                ? -1
                                : ::read(file->fd, rest.data(), rest.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return ErrnoStatus(file->hostPath);
        }
        if (got == 0) break;
        *moved += static_cast<std::uint32_t>(got);
    }
    return Success();
}

Status WriteOnce(FileObject* file, std::span<const std::uint8_t> data, std::uint32_t* moved) {
    *moved = 0;
    if (!FitsOneRequest(data.size())) return Failure(host::ErrorInvalidParameter);
    std::size_t wanted = data.size();
    if (host::FaultFires(FaultKind::ShortWrite, 0)) wanted /= 2;
    while (*moved < wanted) {
        const auto rest = data.subspan(*moved, wanted - *moved);
        const ssize_t put = host::FaultFires(FaultKind::Write, ENOSPC)
                                ? -1
                                : ::write(file->fd, rest.data(), rest.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return ErrnoStatus(file->hostPath);
        }
        *moved += static_cast<std::uint32_t>(put);
    }
    return Success();
}

// The simulated machine never loses power, so nothing needs to reach the
// disk; only a planned fault makes the flush fail.
Status FlushToDisk(FileObject* file) {
    if (host::FaultFires(FaultKind::Flush, EIO)) return ErrnoStatus(file->hostPath);
    return Success();
}

Status GetLastWriteTime(FileObject* file, FileTime* time) {
    struct stat info;
    const int result = host::FaultFires(FaultKind::GetTime, EIO) ? -1 : ::fstat(file->fd, &info);
    if (result != 0) return ErrnoStatus(file->hostPath);
    *time = host::FileTimeFromTimespec(info.st_mtim);
    return Success();
}

Status SetFileTimes(FileObject* file, FileTime time) {
    if (!IsSettableFileTime(time)) return Failure(host::ErrorInvalidParameter);
    const timespec stamp = host::TimespecFromFileTime(time);
    const timespec both[2] = {stamp, stamp};
    const int result = host::FaultFires(FaultKind::SetTime, EIO) ? -1 : ::futimens(file->fd, both);
    if (result != 0) return ErrnoStatus(file->hostPath);
    TheMachine().extras[file->hostPath].creation = time;
    return Success();
}

std::uint32_t GetAttributes(const char* path) {
    const Resolved resolved = Resolve(path);
    const std::optional<std::string>& hostPath = resolved.hostPath;
    struct stat info;
    if (!hostPath || ::stat(hostPath->c_str(), &info) != 0) return InvalidAttributes;
    if (S_ISDIR(info.st_mode)) return AttributeFolder;
    const auto extras = TheMachine().extras.find(*hostPath);
    if (extras == TheMachine().extras.end() || extras->second.attributes == 0) {
        return AttributeNormal;
    }
    return extras->second.attributes;
}

Status SetAttributes(const char* path, std::uint32_t attributes) {
    const Resolved resolved = Resolve(path);
    if (!resolved.hostPath) return resolved.failure;
    struct stat info;
    const int result =
        host::FaultFires(FaultKind::SetAttributes, EACCES) ? -1 : ::stat(resolved.hostPath->c_str(), &info);
    if (result != 0) return ErrnoStatus(*resolved.hostPath);
    // Folders report themselves as folders only; their bits are not kept.
    if (!S_ISDIR(info.st_mode)) {
        TheMachine().extras[*resolved.hostPath].attributes = attributes & KeptAttributes;
    }
    return Success();
}

Status RemoveFile(const char* path) {
    const Resolved resolved = Resolve(path);
    if (!resolved.hostPath) return resolved.failure;
    const std::string& hostPath = *resolved.hostPath;
    if (IsFolder(hostPath) || IsReadOnly(hostPath)) return Failure(ErrorAccessDenied);
    const int result = host::FaultFires(FaultKind::Remove, EACCES) ? -1 : ::unlink(hostPath.c_str());
    if (result != 0) return ErrnoStatus(hostPath);
    TheMachine().extras.erase(hostPath);
    return Success();
}

Status MakeFolder(const char* path) {
    const Resolved resolved = Resolve(path, true);
    if (!resolved.hostPath) return resolved.failure;
    const int result =
        host::FaultFires(FaultKind::MakeFolder, EACCES) ? -1 : ::mkdir(resolved.hostPath->c_str(), 0755);
    if (result != 0) {
        return Failure(errno == EEXIST ? host::ErrorAlreadyExists
                                       : host::WindowsError(errno, *resolved.hostPath));
    }
    return Success();
}

Status RemoveFolder(const char* path) {
    const Resolved resolved = Resolve(path, true);
    if (!resolved.hostPath) return resolved.failure;
    if (::rmdir(resolved.hostPath->c_str()) != 0) {
        return Failure(errno == ENOTDIR ? host::ErrorDirectoryInvalid
                                        : host::WindowsError(errno, *resolved.hostPath));
    }
    return Success();
}

Status MoveReplacing(const char* from, const char* to) {
    const Resolved source = Resolve(from);
    if (!source.hostPath) return source.failure;
    const Resolved target = Resolve(to);
    if (!target.hostPath) return target.failure;
    if (IsFolder(*target.hostPath) || IsReadOnly(*target.hostPath)) {
        return Failure(ErrorAccessDenied);
    }
    // As NTFS and FAT do with a name reused within seconds ("tunnelling"),
    // the file that takes the place of another takes its creation time.
    const FileTime tunnelledCreation = HostFileTimes(to).creation;  // 0: nothing is replaced
    const int result = host::FaultFires(FaultKind::Replace, EACCES)
                           ? -1
                           : ::rename(source.hostPath->c_str(), target.hostPath->c_str());
    if (result != 0) return ErrnoStatus(*source.hostPath);
    auto& extras = TheMachine().extras;
    extras.erase(*target.hostPath);
    if (const auto moved = extras.find(*source.hostPath); moved != extras.end()) {
        extras[*target.hostPath] = moved->second;
        extras.erase(*source.hostPath);
    }
    if (tunnelledCreation != 0) extras[*target.hostPath].creation = tunnelledCreation;
    return Success();
}

std::string TempFolder() { return TheMachine().tempFolder; }

void HostSetTempFolder(const std::string& windowsPath) { TheMachine().tempFolder = windowsPath; }

// Test helpers: straight to the host files, past every fault plan.

void HostWriteFile(const char* windowsPath, const std::string& content) {
    const auto hostPath = host::ResolvePath(windowsPath);
    if (!hostPath) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(*hostPath).parent_path(), ignored);
    std::ofstream(*hostPath, std::ios::binary | std::ios::trunc) << content;
}

std::optional<std::string> HostReadFile(const char* windowsPath) {
    const auto hostPath = host::ResolvePath(windowsPath);
    if (!hostPath || IsFolder(*hostPath)) return std::nullopt;
    std::ifstream in(*hostPath, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FileTimes HostFileTimes(const char* windowsPath) {
    const auto hostPath = host::ResolvePath(windowsPath);
    struct stat info;
    if (!hostPath || ::stat(hostPath->c_str(), &info) != 0) return {};
    const auto extras = TheMachine().extras.find(*hostPath);
    const bool kept = extras != TheMachine().extras.end() && extras->second.creation;
    return FileTimes{kept ? *extras->second.creation : host::FileTimeFromTimespec(info.st_ctim),
                     host::FileTimeFromTimespec(info.st_atim),
                     host::FileTimeFromTimespec(info.st_mtim)};
}

FileTime HostFileTime(const char* windowsPath) { return HostFileTimes(windowsPath).lastWrite; }

void HostSetFileTime(const char* windowsPath, FileTime time) {
    const auto hostPath = host::ResolvePath(windowsPath);
    if (hostPath) host::SetLastWriteTime(*hostPath, time);
}

}  // namespace platform
