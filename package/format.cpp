#include "package/format.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "package/expand.h"

namespace package {
namespace {

constexpr std::uint32_t ScrambleSeed = 0x7A3C19E5;
constexpr int ScrambleRotations[8] = {3, 5, 7, 11, 13, 17, 19, 23};

// A stream can't yield more than 282 bytes (a longest match) per 25 bits
// (its code, offset byte and bit, and length code with its byte), so no
// stream expands beyond 91 times its size. This bounds what a small image
// may make us allocate.
constexpr std::uint64_t MaxExpansion = 91;
static_assert(MaxMatchLength * 8 < MaxExpansion * 25);

// One place where a package is refused, so a breakpoint here catches all.
PackageDirectory Refuse(LoadFailure reason, LoadFailure* failure) {
    if (failure) *failure = reason;
    return {};
}

// Checks every record of a decoded directory against the data area.
LoadFailure CheckRecords(std::span<const PackageEntry> entries, std::uint32_t directoryOffset) {
    std::uint64_t offset = HeaderSize;
    for (const PackageEntry& entry : entries) {
        if (std::memchr(entry.name, 0, NameSize) == nullptr) return LoadFailure::NameNotTerminated;
        if (offset + entry.storedSize > directoryOffset) return LoadFailure::DataOutside;
        if (IsCompressed(entry)) {
            if (entry.size > entry.storedSize * MaxExpansion) return LoadFailure::EntrySizeImpossible;
        } else if (entry.size > entry.storedSize) {
            return LoadFailure::PlainEntryTooLarge;
        }
        // The check above keeps storedSize at least 16 below 2^32, so its
        // padding can't wrap.
        offset += PaddedSize(entry.storedSize);
    }
    return LoadFailure::None;
}

}  // namespace

std::uint32_t PaddedSize(std::uint32_t storedSize) {
    return (storedSize + (DataAlignment - 1)) & ~std::uint32_t{DataAlignment - 1};
}

PackageHeader PackageDirectory::header() const {
    PackageHeader header{};
    if (block.size() >= HeaderSize) std::memcpy(&header, block.data(), HeaderSize);
    return header;
}

std::span<const PackageEntry> PackageDirectory::entries() const {
    if (block.size() < HeaderSize) return {};
    return {reinterpret_cast<const PackageEntry*>(block.data() + HeaderSize),
            (block.size() - HeaderSize) / EntrySize};
}

PackageDirectory LoadPackageDirectory(std::span<const std::uint8_t> image, LoadFailure* failure) {
    if (failure) *failure = LoadFailure::None;
    if (image.size() < HeaderSize) return Refuse(LoadFailure::TooSmall, failure);
    PackageHeader header;
    std::memcpy(&header, image.data(), HeaderSize);

    if (header.directoryOffset < HeaderSize || header.directoryOffset > image.size())
        return Refuse(LoadFailure::DirectoryOutside, failure);
    const std::span<const std::uint8_t> stored = image.subspan(header.directoryOffset);
    const bool compressed = (header.flags & DirectoryCompressed) != 0;
    // 64 bits: 280 x a 32-bit count can't overflow here, and the bound below
    // keeps the block within what the image could possibly describe.
    const std::uint64_t recordBytes = std::uint64_t{EntrySize} * header.entryCount;
    const std::uint64_t room = compressed ? stored.size() * MaxExpansion : stored.size();
    if (recordBytes > room) return Refuse(LoadFailure::DirectoryTooLarge, failure);

    platform::HeapBlock block = platform::AllocateBlock(HeaderSize + recordBytes);
    if (!block) return Refuse(LoadFailure::NoMemory, failure);
    std::memcpy(block.data(), &header, HeaderSize);
    const std::span<std::uint8_t> records = block.bytes().subspan(HeaderSize);
    if (compressed) {
        if (ExpandBlock(records, stored).status != ExpandStatus::Ok)
            return Refuse(LoadFailure::DirectoryStreamDamaged, failure);
    } else if (!records.empty()) {
        std::memcpy(records.data(), stored.data(), records.size());
    }

    PackageDirectory directory{std::move(block)};
    if (LoadFailure reason = CheckRecords(directory.entries(), header.directoryOffset);
        reason != LoadFailure::None)
        return Refuse(reason, failure);
    return directory;
}

ScrambleKey StartScramble(std::uint32_t length) {
    ScrambleKey key;
    key.rotation = ScrambleRotations[std::popcount(length) % 8];
    key.key = std::rotr(length ^ ScrambleSeed, static_cast<int>(length % 32));
    key.wordsLeft = length / 4;
    return key;
}

void ContinueScramble(ScrambleKey& key, std::span<std::uint8_t> chunk) {
    assert(chunk.size() % 4 == 0 || chunk.size() / 4 >= key.wordsLeft);
    std::size_t words = chunk.size() / 4;
    if (words > key.wordsLeft) words = key.wordsLeft;
    for (std::size_t i = 0; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, chunk.data() + 4 * i, 4);
        word ^= key.key;
        std::memcpy(chunk.data() + 4 * i, &word, 4);
        key.key = std::rotl(key.key, key.rotation);
    }
    key.wordsLeft -= static_cast<std::uint32_t>(words);
}

void ScrambleWords(std::span<std::uint8_t> buffer) {
    assert(buffer.size() <= UINT32_MAX);
    ScrambleKey key = StartScramble(static_cast<std::uint32_t>(buffer.size()));
    ContinueScramble(key, buffer);
}

const char* DescribeLoadFailure(LoadFailure failure) {
    switch (failure) {
    case LoadFailure::None: return "the package is sound";
    case LoadFailure::NoMemory: return "not enough memory for the directory";
    case LoadFailure::TooSmall: return "the file is shorter than the 16-byte package header";
    case LoadFailure::DirectoryOutside:
        return "the header's directory offset lies outside the file (or inside the header)";
    case LoadFailure::DirectoryTooLarge:
        return "the header's entry count needs a larger directory than the file can hold";
    case LoadFailure::DirectoryStreamDamaged:
        return "the compressed directory is damaged: it does not expand to exactly 280 bytes "
               "per entry";
    case LoadFailure::NameNotTerminated:
        return "an entry's name is not terminated within its 260 bytes";
    case LoadFailure::DataOutside:
        return "an entry's stored data runs past the data area into the directory";
    case LoadFailure::PlainEntryTooLarge:
        return "an uncompressed entry claims more bytes than it stores";
    case LoadFailure::EntrySizeImpossible:
        return "a compressed entry claims more bytes than its stored stream can expand to";
    }
    return "unknown failure";
}

}  // namespace package
