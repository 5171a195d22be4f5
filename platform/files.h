// Files and folders. Paths are ANSI (cp932) byte strings as the program
// keeps them; a drive letter and colon start an absolute path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/types.h"

namespace platform {

// Attribute bits, with the values Windows gives them.
inline constexpr std::uint32_t AttributeReadOnly = 0x01;
inline constexpr std::uint32_t AttributeHidden = 0x02;
inline constexpr std::uint32_t AttributeSystem = 0x04;
inline constexpr std::uint32_t AttributeFolder = 0x10;
inline constexpr std::uint32_t AttributeArchive = 0x20;
inline constexpr std::uint32_t AttributeNormal = 0x80;
// What GetAttributes returns for a path that does not exist.
inline constexpr std::uint32_t InvalidAttributes = 0xFFFFFFFF;
// True when attributes from GetAttributes name an existing file, no folder.
constexpr bool IsExistingFile(std::uint32_t attributes) {
    return attributes != InvalidAttributes && (attributes & AttributeFolder) == 0;
}
// MAX_PATH: the ANSI file calls take paths of one character less.
inline constexpr std::size_t PathCapacity = 260;
// What FileSize32 returns when the size can't be had.
inline constexpr std::uint32_t InvalidFileSize = 0xFFFFFFFF;

// An open file. Defined by each backend; closed by FileHandle.
struct FileObject;
struct FileCloser {
    void operator()(FileObject* file) const;
};
using FileHandle = std::unique_ptr<FileObject, FileCloser>;

// Opens an existing file for reading; others may read it meanwhile.
// Null when it can't be opened; `status` (optional) says why.
FileHandle OpenForRead(const char* path, Status* status = nullptr);

// Opens an existing file only to set its times (SetFileTimes); others may
// go on reading, writing or deleting it.
FileHandle OpenForStamping(const char* path, Status* status = nullptr);

// Creates a file that must not exist yet (for temporary names), for
// writing, unshared, with normal attributes.
FileHandle CreateNewForWrite(const char* path, Status* status = nullptr);

// The size of an open file as 32 bits; InvalidFileSize on failure.
std::uint32_t FileSize32(FileObject* file);

// One read or write request. `moved` receives the bytes really moved, also
// when the request fails part way. A request larger than a 32-bit count can
// tell (see FitsOneRequest) fails with error 87 and moves nothing.
inline bool FitsOneRequest(std::size_t size) { return size <= 0xFFFFFFFFu; }
Status ReadOnce(FileObject* file, std::span<std::uint8_t> buffer, std::uint32_t* moved);
Status WriteOnce(FileObject* file, std::span<const std::uint8_t> data, std::uint32_t* moved);

// Returns once the file's content and times, as written so far, are on the
// disk rather than in the system's cache, or at once where the drive
// keeps no cache to flush.
Status FlushToDisk(FileObject* file);

// The last-write time of an open file.
Status GetLastWriteTime(FileObject* file, FileTime* time);

// Sets creation, last-access and last-write time of an open file at once.
// A time that no file can be given fails (error 87) instead of leaving the
// times as they were: see IsSettableFileTime.
Status SetFileTimes(FileObject* file, FileTime time);

// Whether a file can be given `time`. Windows reads 0 as "leave the time
// as it is" and all ones as "stop updating it", and takes no time with the
// high bit set.
inline bool IsSettableFileTime(FileTime time) { return time != 0 && time < FileTime{1} << 63; }

// Attributes of a path, or InvalidAttributes when it does not exist.
std::uint32_t GetAttributes(const char* path);
Status SetAttributes(const char* path, std::uint32_t attributes);

Status RemoveFile(const char* path);

// Creates one folder level; the parent must exist.
Status MakeFolder(const char* path);

// Removes an empty folder.
Status RemoveFolder(const char* path);

// Moves `from` onto `to`, replacing a file that stands there. Fails,
// like Windows, when `to` is read-only or a folder.
Status MoveReplacing(const char* from, const char* to);

// The temporary folder, ending in a separator ("C:\\...\\Temp\\").
// Empty when it can't be had.
std::string TempFolder();

}  // namespace platform
