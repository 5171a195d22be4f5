// A native file mapped read-only into memory, for the publisher's tool: a
// package of hundreds of MB is read where it lies, in the page cache,
// instead of being copied into the heap first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace platform {

// A mapped view. Defined by each backend; unmapped by MappedFile.
struct MappedFileObject;
struct MappedFileCloser {
    void operator()(MappedFileObject* file) const;
};
using MappedFile = std::unique_ptr<MappedFileObject, MappedFileCloser>;

enum class MapFailure {
    None,
    Missing,   // no such file
    CantOpen,  // no right to read it, or in use
    NotAFile,  // a folder or a device
    Empty,     // nothing to map
    CantMap,   // too large for the address space, or the system refused
};

// Whether a file of `size` bytes is one a view may hold: half the address
// space at most, so that any distance within the view fits a signed size.
constexpr bool FitsOneView(std::uint64_t size) { return size <= SIZE_MAX / 2; }

// Maps the whole file at `nativePath` (a native path, not one on the
// updater's drives; on Windows it reaches the file system in UTF-16, so any
// name does) for reading. Null when it can't be; `failure` says why. The
// file can't be written through the view; the Windows build also keeps
// others from writing it while it is mapped. On the host, where others may
// shorten it, a read of the view that the file can no longer back stops
// the process with a message naming the file and exit status 1.
MappedFile MapFileForRead(const std::filesystem::path& nativePath, MapFailure* failure);

// The mapped bytes, valid while the mapping lives.
std::span<const std::uint8_t> MappedBytes(const MappedFileObject* file);

// Marks the native file at `nativePath` as one being written, for as long as
// the mark lives: when the host stops the process because a view can't be
// read (above), or on Ctrl-C, SIGTERM, SIGHUP or SIGXFSZ (a write past the
// file size limit), it removes every marked file first, so that none is
// left half-written. Hold it only while that path names the unfinished
// file. The Windows build does nothing: there no program can shorten a
// mapped file (a Ctrl-C there still leaves the output's temporary file).
class UnfinishedOutput {
public:
    explicit UnfinishedOutput(const std::filesystem::path& nativePath);
    ~UnfinishedOutput();
    UnfinishedOutput(const UnfinishedOutput&) = delete;
    UnfinishedOutput& operator=(const UnfinishedOutput&) = delete;

private:
    int slot_ = -1;  // the host's record of the mark, if it has room
};

}  // namespace platform
