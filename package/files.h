// Whole-file reading and writing, path joining, free space of a volume.
// These show nothing: their callers decide what a failure means.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/files.h"
#include "platform/memory.h"
#include "platform/types.h"

namespace package {

// The whole content of the file (nothing after it), or an empty block on
// any failure. `length` (optional) receives the file's size.
platform::HeapBlock ReadWholeFile(const char* path, std::uint32_t* length);

// Creates or replaces `path` with `data`. The content goes to a temporary
// file in the same folder first, gets `time` (optional) as its creation,
// last-access and last-write time, is flushed to the disk, and only then
// replaces the target, so a failure (or a power cut) leaves the old file as
// it was and a failure no temporary file behind.
// 1 on success, 0 on any failure.
int WriteWholeFile(const char* path, std::span<const std::uint8_t> data,
                   const platform::FileTime* time);

// A file written in place of another: the content goes to a temporary file
// in the target's folder, which replaces the target only at Commit, once the
// whole content and the time stamps are in place. Any failure, or dropping
// it before Commit, removes the temporary file and leaves the target alone.
// As a file created over the target would, Begin fails on a hidden or
// system target.
class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    bool Begin(const char* path);
    // One write request; false when it fails or falls short. The file is
    // flushed to the disk each time FlushEvery bytes have gathered.
    bool Write(std::span<const std::uint8_t> data);
    static constexpr std::size_t FlushEvery = std::size_t{8} << 20;
    // Sets creation, last-access and last-write time to `time` (optional),
    // flushes the file to the disk, closes it and moves it onto the target.
    bool Commit(const platform::FileTime* time);

private:
    void Abandon();
    platform::FileHandle file_;
    std::string temporary_;
    std::string target_;
    std::size_t unflushed_ = 0;
};

// Length of the folder part of `path`, its last separator included; 0 when
// it names no folder. The second byte of a double-byte character may be
// 0x5C and is no separator. A slash counts as a separator too, unless
// `backslashOnly`.
std::size_t FolderLength(const char* path, bool backslashOnly = false);

// Appends `name` to the path in `path`, with one separator between them,
// and a second zero byte after the terminator (the form the shell takes a
// list of one path in). A path that ends in a separator gets none; an empty
// path gets none. When the joined text and its two zero bytes don't fit,
// `path` becomes empty and the result is false, so no file operation can hit
// a wrong, shortened path.
bool AppendPath(std::span<char> path, const char* name);

// Free bytes to the caller and size of the volume that holds `path`, and
// (optional) all its free bytes. The extended query is looked up until it
// is found, then cached; the cluster-based query is the fallback. 0 when
// both fail, and the outputs are left as they were.
int QueryFreeSpace(const char* path, std::uint64_t* freeToCaller, std::uint64_t* totalBytes,
                   std::uint64_t* totalFree);

// The drive (the first two characters of `path`, "C:") and the bytes by
// which its free space falls short of `needed`: 0 when it has room, or when
// its free space can't be had (then the write itself will tell). Messages
// print `bytes` unsigned and whole: cut to a signed 32-bit number, a
// shortfall of 2 GiB or more would show as negative.
struct SpaceShortfall {
    std::array<char, 3> drive{};
    std::uint64_t bytes = 0;
};
SpaceShortfall FreeSpaceShortfall(const char* path, std::uint64_t needed);

// Forgets the cached query (tests: the cache is program-wide).
void ResetFreeSpaceCache();
// Starts the temporary names again from the first, as a new process does
// (tests: the count is program-wide).
void ResetTemporaryNames();

}  // namespace package
