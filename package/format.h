// The package image: a 16-byte header, the entries' stored data, and a
// directory of 280-byte records at the end, plain or compressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/memory.h"

namespace package {

inline constexpr std::uint32_t PackageMagic = 0x00324146;  // "FA2\0"
inline constexpr std::uint32_t DirectoryCompressed = 1;     // header flags bit 0
inline constexpr std::uint8_t EntryCompressed = 2;          // entry flags value
inline constexpr std::size_t HeaderSize = 16;
inline constexpr std::size_t EntrySize = 280;
inline constexpr std::size_t NameSize = 260;
inline constexpr std::size_t DataAlignment = 16;

struct PackageHeader {
    std::uint32_t magic;
    std::uint32_t flags;
    std::uint32_t directoryOffset;
    std::uint32_t entryCount;
};
static_assert(sizeof(PackageHeader) == HeaderSize);

// One directory record, laid out exactly as in the image (little-endian;
// the program only runs on little-endian machines).
struct PackageEntry {
    char name[NameSize];
    std::uint8_t flags;
    std::uint8_t reserved1;
    std::uint8_t scrambled;  // exactly 1: scrambled
    std::uint8_t reserved2;
    std::uint32_t lastWriteTimeLow;
    std::uint32_t lastWriteTimeHigh;
    std::uint32_t size;
    std::uint32_t storedSize;
};
static_assert(sizeof(PackageEntry) == EntrySize);

inline bool IsCompressed(const PackageEntry& entry) { return (entry.flags & EntryCompressed) != 0; }
inline bool IsScrambled(const PackageEntry& entry) { return entry.scrambled == 1; }
inline std::uint64_t LastWriteTime(const PackageEntry& entry) {
    return (std::uint64_t{entry.lastWriteTimeHigh} << 32) | entry.lastWriteTimeLow;
}

// Why a package was refused. The updater only tells "loaded or not"; the
// publisher's tool says precisely what is wrong.
enum class LoadFailure {
    None,
    NoMemory,
    TooSmall,                 // the image can't hold the header
    DirectoryOutside,         // directoryOffset beyond the image
    DirectoryTooLarge,        // 280 x entryCount does not fit the image
    DirectoryStreamDamaged,   // the compressed directory doesn't expand to 280 x entryCount
    NameNotTerminated,        // a record's name fills its 260 bytes
    DataOutside,              // an entry's stored data runs into the directory
    PlainEntryTooLarge,       // a plain entry whose size exceeds its storedSize
    EntrySizeImpossible,      // a compressed entry's size beyond what its stream can yield
};
const char* DescribeLoadFailure(LoadFailure failure);

// The loaded directory: one heap block of 16 + 280 x entryCount bytes, the
// header as read followed by the records in directory order.
struct PackageDirectory {
    platform::HeapBlock block;

    PackageHeader header() const;
    std::span<const PackageEntry> entries() const;
};

// Copies the header and decodes the directory of `image`, checking every
// bound so that later entry access stays inside the image. An empty block on
// any failure; `failure` (optional) says which.
PackageDirectory LoadPackageDirectory(std::span<const std::uint8_t> image,
                                      LoadFailure* failure = nullptr);

// The room an entry's stored data takes in the data area: `storedSize`
// rounded up to 16. Entry i starts at 16 + the padded sizes before it.
std::uint32_t PaddedSize(std::uint32_t storedSize);

// Scrambles (or unscrambles: it is its own inverse) the whole 32-bit words
// of `buffer`; the key sequence depends on buffer.size() alone.
void ScrambleWords(std::span<std::uint8_t> buffer);

// The same scrambling applied piece by piece, for data that never sits in
// memory whole: start with the total length, then hand over consecutive
// chunks from the start, each a whole number of words except the last.
struct ScrambleKey {
    std::uint32_t key = 0;
    int rotation = 0;
    std::uint32_t wordsLeft = 0;
};
ScrambleKey StartScramble(std::uint32_t length);
void ContinueScramble(ScrambleKey& key, std::span<std::uint8_t> chunk);

}  // namespace package
