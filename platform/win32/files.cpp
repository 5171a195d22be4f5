// Files through the Win32 file API.
#include "platform/files.h"

#include <array>

#include "platform/win32/handles.h"

namespace platform {

struct FileObject {
    HANDLE handle;
};

void FileCloser::operator()(FileObject* file) const {
    ::CloseHandle(file->handle);
    delete file;
}

namespace {

using win32::LastError;
using win32::StatusOf;

FileHandle Open(const char* path, DWORD access, DWORD sharing, DWORD creation, Status* status) {
    const HANDLE handle =
        ::CreateFileA(path, access, sharing, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (status != nullptr) *status = LastError();
        return nullptr;
    }
    if (status != nullptr) *status = Status{true, 0};
    return FileHandle(new FileObject{handle});
}

}  // namespace

FileHandle OpenForRead(const char* path, Status* status) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, status);
}

FileHandle OpenForStamping(const char* path, Status* status) {
    return Open(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                OPEN_EXISTING, status);
}

FileHandle CreateNewForWrite(const char* path, Status* status) {
    return Open(path, GENERIC_WRITE, 0, CREATE_NEW, status);
}

std::uint32_t FileSize32(FileObject* file) {
    // A file of 4 GiB or more must not pass for its low 32 bits.
    DWORD high = 0;
    const DWORD low = ::GetFileSize(file->handle, &high);
    return high != 0 ? InvalidFileSize : low;
}

Status ReadOnce(FileObject* file, std::span<std::uint8_t> buffer, std::uint32_t* moved) {
    *moved = 0;
    if (!FitsOneRequest(buffer.size())) return Status{false, ERROR_INVALID_PARAMETER};
    DWORD got = 0;
    const BOOL ok = ::ReadFile(file->handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                               nullptr);
    *moved = got;
    return StatusOf(ok);
}

Status WriteOnce(FileObject* file, std::span<const std::uint8_t> data, std::uint32_t* moved) {
    *moved = 0;
    if (!FitsOneRequest(data.size())) return Status{false, ERROR_INVALID_PARAMETER};
    DWORD put = 0;
    const BOOL ok =
        ::WriteFile(file->handle, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    *moved = put;
    return StatusOf(ok);
}

Status FlushToDisk(FileObject* file) {
    if (::FlushFileBuffers(file->handle)) return Status{true, 0};
    // Some network, RAM and virtual drives have no flush to offer: their
    // writes are as lasting as they will ever be.
    const DWORD error = ::GetLastError();
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) return Status{true, 0};
    return Status{false, error};
}

Status GetLastWriteTime(FileObject* file, FileTime* time) {
    FILETIME lastWrite{};
    if (!::GetFileTime(file->handle, nullptr, nullptr, &lastWrite)) return LastError();
    *time = win32::FromFiletime(lastWrite);
    return Status{true, 0};
}

Status SetFileTimes(FileObject* file, FileTime time) {
    if (!IsSettableFileTime(time)) return Status{false, ERROR_INVALID_PARAMETER};
    const FILETIME stamp = win32::ToFiletime(time);
    return StatusOf(::SetFileTime(file->handle, &stamp, &stamp, &stamp));
}

std::uint32_t GetAttributes(const char* path) { return ::GetFileAttributesA(path); }

Status SetAttributes(const char* path, std::uint32_t attributes) {
    return StatusOf(::SetFileAttributesA(path, attributes));
}

Status RemoveFile(const char* path) { return StatusOf(::DeleteFileA(path)); }

Status MakeFolder(const char* path) { return StatusOf(::CreateDirectoryA(path, nullptr)); }

Status RemoveFolder(const char* path) { return StatusOf(::RemoveDirectoryA(path)); }

Status MoveReplacing(const char* from, const char* to) {
    return StatusOf(::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING));
}

std::string TempFolder() {
    std::array<char, MAX_PATH> buffer{};
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    // 0 is failure; a length beyond the buffer means it did not fit.
    if (length == 0 || length >= buffer.size()) return {};
    return std::string(buffer.data(), length);
}

}  // namespace platform
