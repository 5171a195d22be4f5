// Access to the loaded package's entries: content in memory, or written to a
// file with the free-space check, its time stamp and the newer-file rule.
// They work on the program's package (the UpdateState's image and
// directory) and report problems with the package, memory or free space in
// the updater's error box.
#pragma once

#include <cstdint>
#include <span>

#include "package/format.h"
#include "platform/memory.h"

namespace package {

// An entry's content: a view of the image (plain entries) or a block the
// holder owns (restored entries). Empty data() means failure.
struct EntryContent {
    std::span<const std::uint8_t> bytes;
    platform::HeapBlock owned;  // set when `bytes` lies in it

    const std::uint8_t* data() const { return bytes.data(); }
    bool ownsBlock() const { return static_cast<bool>(owned); }
    explicit operator bool() const { return bytes.data() != nullptr; }
};

// Finds `name` (case-blind, the first match) in the directory. Null when
// there is none. `offset` receives the offset of its stored data.
const PackageEntry* FindEntry(std::span<const PackageEntry> entries, const char* name,
                              std::uint32_t* offset);

// Restores an entry's content from the image (unscramble, then expand) in
// whatever form it needs: a view when it is plain, else an owned block.
// The directory must have been loaded (bounds checked) from this image.
enum class RestoreFailure { None, NoMemory, Damaged };
EntryContent RestoreEntry(std::span<const std::uint8_t> image, const PackageEntry& entry,
                          std::uint32_t offset, RestoreFailure* failure);

// The program's operations, as the updater uses them.
EntryContent LoadEntry(const char* name, std::uint32_t* size);
int ExtractEntry(const char* name, const char* target, int keepNewer);

}  // namespace package
