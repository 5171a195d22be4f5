// The package writer (publisher side): header, 16-byte-aligned data area,
// directory of 280-byte records at the end, plain or compressed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/compress.h"

namespace package {

struct WriterEntry {
    std::string name;                   // cp932, at most 259 bytes
    std::vector<std::uint8_t> content;
    std::uint64_t lastWriteTime = 0;    // FILETIME
    bool compress = true;               // compressed when that saves space
    bool scramble = false;
};

struct WriterOptions {
    bool compressDirectory = true;  // when that saves space, as for entries
    int level = DefaultLevel;
};

// Entry `index` of a streamed package, asked for when a worker starts on
// it, so only the entries in flight are ever held. Called on the workers'
// threads, several at once; false with `error` set when it can't be had.
using EntryLoader =
    std::function<bool(std::size_t index, WriterEntry* entry, std::string* error)>;

// Where a streamed package goes, called on the thread that streams it.
// Each returns false with `error` set to stop the writer.
struct PackageSink {
    // The image in order from its first byte, the 16 header bytes as zeros:
    // where the directory lies is known only at the end.
    std::function<bool(std::span<const std::uint8_t> bytes, std::string* error)> append;
    // The header, to go over those first 16 bytes, once all else is out.
    std::function<bool(std::span<const std::uint8_t> header, std::string* error)> writeHeader;
};

// Writes the package of `count` entries to `sink`, encoding on every core
// and handing the entries over in directory order. Memory stays within a
// few of the largest entries: a worker starts the next entry while fewer
// than EntriesInFlight() are loaded but not yet written, or while those
// encoded and waiting for earlier ones hold fewer bytes than the largest
// entry so far. The image's size, or nullopt with `error` set when an
// entry can't be loaded or is refused (ValidEntryName, 4 GiB), the sink
// fails or the package would pass 4 GiB; the sink may then hold part of
// an image.
std::optional<std::uint64_t> StreamPackage(std::size_t count, const EntryLoader& load,
                                           const PackageSink& sink,
                                           const WriterOptions& options, std::string* error);
std::size_t EntriesInFlight();

// A sink that appends the image to `image`, which must outlive it.
PackageSink MemorySink(std::vector<std::uint8_t>& image);
// The most an image of `count` entries holding `contentBytes` in all can
// take: nothing compresses. Reserved ahead, it keeps a memory image from
// moving as it grows; capacity that stays untouched costs no memory.
std::uint64_t LargestImageSize(std::size_t count, std::uint64_t contentBytes);

// The whole package image, streamed into memory. Throws
// std::invalid_argument for an entry StreamPackage would refuse.
std::vector<std::uint8_t> WritePackage(std::span<const WriterEntry> entries,
                                       const WriterOptions& options);

bool ValidEntryName(const std::string& name);

}  // namespace package
