// Access to the loaded package's entries: content in memory, or written to a
// file with the free-space check, its time stamp and the newer-file rule.
// They work on the program's package (the UpdateState's image and
// directory) and report problems with the package, memory or free space in
// the updater's error box.
#pragma once

#include <cstdint>
#include <span>

#include "package/expand.h"
#include "package/format.h"
#include "platform/memory.h"

namespace package {

// An entry's content: a view of the image (an entry stored as it is, neither
// scrambled nor compressed) or a block the holder owns (any other). Empty
// data() means failure.
struct EntryContent {
    std::span<const std::uint8_t> bytes;
    platform::HeapBlock owned;  // set when `bytes` lies in it

    const std::uint8_t* data() const { return bytes.data(); }
    explicit operator bool() const { return bytes.data() != nullptr; }
};

// Finds `name` (case-blind, the first match) in the directory. Null when
// there is none. `offset` receives the offset of its stored data.
const PackageEntry* FindEntry(std::span<const PackageEntry> entries, const char* name,
                              std::uint32_t* offset);

// Restores an entry's content from the image (unscramble, then expand) in
// whatever form it needs: a view of the image when the entry is stored as it
// is, else an owned block. The record's sizes and `offset` are checked
// against `image` here, as EntryReader::Open checks them.
enum class RestoreFailure { None, NoMemory, Damaged };
EntryContent RestoreEntry(std::span<const std::uint8_t> image, const PackageEntry& entry,
                          std::uint32_t offset, RestoreFailure* failure);

// An entry's content piece by piece, in memory that does not grow with the
// entry: the stored data is unscrambled a piece at a time and expanded
// through a bounded window. For writing entries to files.
class EntryReader {
public:
    // Content comes in pieces of up to this size (the first piece of a
    // compressed entry up to BlockExpander::History bytes more). Small
    // enough that the window stays in the core's own cache while the
    // expander fills it and the system copies it out: with 1 MiB pieces,
    // writing them cost the system up to three times as much.
    static constexpr std::size_t PieceSize = 1 << 18;

    // Prepares reading; NoMemory when its buffers can't be had, Damaged when
    // the stored data lies outside the image or a plain entry claims more
    // content than it stores. The image must outlive it.
    RestoreFailure Open(std::span<const std::uint8_t> image, const PackageEntry& entry,
                        std::uint32_t offset);
    // The next piece of content, valid until the next call; empty once the
    // whole content has come. Damaged when the stored data turns out not to
    // restore to the entry's size.
    std::span<const std::uint8_t> Next(RestoreFailure* failure);

private:
    std::span<const std::uint8_t> NextStored(std::size_t wanted);
    std::span<const std::uint8_t> NextExpanded(RestoreFailure* failure);
    void RefillInput();

    std::span<const std::uint8_t> stored_;
    std::size_t storedTaken_ = 0;
    std::uint64_t contentLeft_ = 0;  // not yet handed out
    bool scrambled_ = false;
    bool compressed_ = false;
    ScrambleKey key_;
    // Unscrambled stored data: inputStart_ is where the expander goes on.
    platform::HeapBlock input_;
    std::size_t inputStart_ = 0, inputEnd_ = 0;
    // Expanded content: the History bytes before windowEnd_ stay for the
    // matches that reach back into them.
    BlockExpander expander_;
    ExpandStatus expandStatus_ = ExpandStatus::NeedsRoom;
    platform::HeapBlock window_;
    std::size_t windowEnd_ = 0;
};

// The program's operations, as the updater uses them.
EntryContent LoadEntry(const char* name, std::uint32_t* size);
int ExtractEntry(const char* name, const char* target, int keepNewer);

}  // namespace package
