#include "package/entry.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <optional>

#include "package/expand.h"
#include "package/files.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "updater/state.h"

namespace package {
namespace {

constexpr const char* MissingEntryText = "Can't Find File in Resource !!";

// Finds `name` in the program's package, or says that it is missing.
const PackageEntry* FindProgramEntry(const char* name, std::uint32_t* offset) {
    const PackageEntry* entry = FindEntry(updater::state.entries, name, offset);
    if (!entry) updater::ShowUpdateError(MissingEntryText);
    return entry;
}

void ShowRestoreFailure(RestoreFailure failure) {
    updater::ShowUpdateError(failure == RestoreFailure::NoMemory ? updater::NoMemoryText
                                                                 : updater::DamagedPackageText);
}

// True when the drive of `target` has room for `size` bytes, or when its
// free space can't be had at all (then the write itself will tell).
bool CheckFreeSpace(const char* target, std::uint32_t size) {
    const SpaceShortfall shortfall = FreeSpaceShortfall(target, size);
    if (shortfall.bytes == 0) return true;
    updater::ShowFormattedUpdateError(
        "ディスク容量が足りません。%s ドライブに %" PRIu64 " バイトの空き容量が必要です",
        shortfall.drive.data(), shortfall.bytes);
    return false;
}

// Applies the attribute step and the newer-file rule to an existing target:
// a read-only file loses that attribute, even one that then stays. Returns
// false when the target must not be written: it is a folder (`result` 0)
// or a newer file that stays (`result` 1).
bool PrepareTarget(const char* target, const PackageEntry& entry, int keepNewer, int* result) {
    const std::uint32_t attributes = platform::GetAttributes(target);
    if (attributes == platform::InvalidAttributes) return true;
    if (attributes & platform::AttributeFolder) {
        *result = 0;
        return false;
    }
    if (attributes & platform::AttributeReadOnly)
        platform::SetAttributes(target, platform::AttributeNormal);
    if (!keepNewer) return true;
    platform::FileHandle existing = platform::OpenForRead(target);
    platform::FileTime existingTime = 0;
    if (existing && platform::GetLastWriteTime(existing.get(), &existingTime) &&
        existingTime > LastWriteTime(entry)) {
        *result = 1;
        return false;
    }
    return true;
}

// Writes serve the window every few MiB, counted across entries so that
// many small ones serve it too: often enough for any disk (Windows takes a
// program for hung after 5 s without an answer), seldom enough to cost
// nothing.
constexpr std::size_t BytesBetweenServes = std::size_t{4} << 20;
std::size_t bytesSinceServed = 0;

std::size_t RoundUpToWord(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

// The entry's stored bytes in `image`; nothing when they reach past its end
// or when a plain entry claims more content than it stores.
std::optional<std::span<const std::uint8_t>> StoredData(std::span<const std::uint8_t> image,
                                                        const PackageEntry& entry, std::uint32_t offset) {
    if (offset > image.size() || entry.storedSize > image.size() - offset) return std::nullopt;
    if (!IsCompressed(entry) && entry.size > entry.storedSize) return std::nullopt;
    return image.subspan(offset, entry.storedSize);
}

}  // namespace

RestoreFailure EntryReader::Open(std::span<const std::uint8_t> image, const PackageEntry& entry,
                                 std::uint32_t offset) {
    const auto stored = StoredData(image, entry, offset);
    if (!stored) return RestoreFailure::Damaged;
    stored_ = *stored;
    storedTaken_ = 0;
    scrambled_ = IsScrambled(entry);
    compressed_ = IsCompressed(entry);
    contentLeft_ = entry.size;
    inputStart_ = inputEnd_ = 0;
    if (scrambled_) {
        key_ = StartScramble(entry.storedSize);
        input_ = platform::AllocateBlock(PieceSize);
        if (!input_) return RestoreFailure::NoMemory;
    }
    if (compressed_) {
        expander_ = BlockExpander();
        expandStatus_ = ExpandStatus::NeedsRoom;
        windowEnd_ = 0;
        window_ = platform::AllocateBlock(static_cast<std::size_t>(
            std::min<std::uint64_t>(entry.size, BlockExpander::History + PieceSize)));
        if (!window_) return RestoreFailure::NoMemory;
    }
    return RestoreFailure::None;
}

// The next `wanted` stored bytes (fewer at the end): a view of the image, or
// when scrambled an unscrambled copy appended to the input buffer.
std::span<const std::uint8_t> EntryReader::NextStored(std::size_t wanted) {
    const std::size_t count = std::min(wanted, stored_.size() - storedTaken_);
    const std::span<const std::uint8_t> piece = stored_.subspan(storedTaken_, count);
    storedTaken_ += count;
    if (!scrambled_) return piece;
    const std::span<std::uint8_t> copy = input_.bytes().subspan(inputEnd_, count);
    if (count) std::memcpy(copy.data(), piece.data(), count);
    ContinueScramble(key_, copy);
    inputEnd_ += count;
    return copy;
}

// Keeps the few bytes of a token not yet begun and unscrambles whole words
// behind them.
void EntryReader::RefillInput() {
    const std::size_t keep = inputEnd_ - inputStart_;
    std::memmove(input_.data(), input_.data() + inputStart_, keep);
    inputStart_ = 0;
    inputEnd_ = keep;
    NextStored((input_.size() - keep) & ~std::size_t{3});
}

std::span<const std::uint8_t> EntryReader::NextExpanded(RestoreFailure* failure) {
    for (;;) {
        if (expandStatus_ == ExpandStatus::Ok) return {};
        if (expandStatus_ != ExpandStatus::NeedsRoom && expandStatus_ != ExpandStatus::NeedsInput) {
            *failure = RestoreFailure::Damaged;
            return {};
        }
        // Room for the next piece; the last History bytes stay behind it.
        if (window_.size() - windowEnd_ < BlockExpander::MinRoom && windowEnd_ > BlockExpander::History) {
            std::memmove(window_.data(), window_.data() + windowEnd_ - BlockExpander::History,
                         BlockExpander::History);
            windowEnd_ = BlockExpander::History;
        }
        const std::size_t start = windowEnd_;
        const std::size_t room = window_.size() - windowEnd_;
        const bool outputIsLast = contentLeft_ <= room;
        const std::span<std::uint8_t> output = window_.bytes().first(
            outputIsLast ? windowEnd_ + static_cast<std::size_t>(contentLeft_) : window_.size());
        if (scrambled_) {
            if (expandStatus_ == ExpandStatus::NeedsInput) RefillInput();
            expandStatus_ = expander_.Expand(output, windowEnd_, outputIsLast,
                                             input_.bytes().first(inputEnd_), inputStart_,
                                             storedTaken_ == stored_.size());
        } else {
            expandStatus_ = expander_.Expand(output, windowEnd_, outputIsLast, stored_, storedTaken_, true);
        }
        const std::span<const std::uint8_t> piece = window_.bytes().subspan(start, windowEnd_ - start);
        contentLeft_ -= piece.size();
        if (!piece.empty()) return piece;
    }
}

std::span<const std::uint8_t> EntryReader::Next(RestoreFailure* failure) {
    *failure = RestoreFailure::None;
    if (compressed_) return NextExpanded(failure);
    if (contentLeft_ == 0) return {};
    // Whole words are unscrambled even where the content ends inside one.
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(PieceSize, contentLeft_));
    contentLeft_ -= count;
    inputEnd_ = 0;
    return NextStored(scrambled_ ? RoundUpToWord(count) : count).first(count);
}

const PackageEntry* FindEntry(std::span<const PackageEntry> entries, const char* name,
                              std::uint32_t* offset) {
    std::uint32_t position = HeaderSize;
    for (const PackageEntry& entry : entries) {
        if (platform::EqualNoCase(entry.name, name)) {
            if (offset) *offset = position;
            return &entry;
        }
        position += PaddedSize(entry.storedSize);
    }
    return nullptr;
}

EntryContent RestoreEntry(std::span<const std::uint8_t> image, const PackageEntry& entry,
                          std::uint32_t offset, RestoreFailure* failure) {
    *failure = RestoreFailure::Damaged;
    const auto storedData = StoredData(image, entry, offset);
    if (!storedData) return {};
    std::span<const std::uint8_t> stored = *storedData;

    platform::HeapBlock unscrambled;
    if (IsScrambled(entry)) {
        unscrambled = platform::AllocateBlock(entry.storedSize);
        if (!unscrambled) {
            *failure = RestoreFailure::NoMemory;
            return {};
        }
        if (!stored.empty()) std::memcpy(unscrambled.data(), stored.data(), stored.size());
        ScrambleWords(unscrambled.bytes());
        stored = unscrambled.bytes();
    }

    EntryContent content;
    if (IsCompressed(entry)) {
        platform::HeapBlock expanded = platform::AllocateBlock(entry.size);
        if (!expanded) {
            *failure = RestoreFailure::NoMemory;
            return {};
        }
        if (ExpandBlock(expanded.bytes(), stored).status != ExpandStatus::Ok) return {};
        content.bytes = expanded.bytes();
        content.owned = std::move(expanded);
    } else {
        content.bytes = stored.first(entry.size);
        content.owned = std::move(unscrambled);
    }
    *failure = RestoreFailure::None;
    return content;
}

EntryContent LoadEntry(const char* name, std::uint32_t* size) {
    std::uint32_t offset = 0;
    const PackageEntry* entry = FindProgramEntry(name, &offset);
    if (!entry) return {};
    RestoreFailure failure;
    EntryContent content = RestoreEntry(updater::state.packageImage, *entry, offset, &failure);
    if (!content) {
        ShowRestoreFailure(failure);
        return {};
    }
    if (size) *size = entry->size;
    return content;
}

int ExtractEntry(const char* name, const char* target, int keepNewer) {
    std::uint32_t offset = 0;
    const PackageEntry* entry = FindProgramEntry(name, &offset);
    if (!entry) return 0;
    if (!CheckFreeSpace(target, entry->size)) return 0;

    // The content streams from the image into the file, so memory stays
    // bounded whatever the entry's size.
    EntryReader reader;
    RestoreFailure failure = reader.Open(updater::state.packageImage, *entry, offset);
    if (failure != RestoreFailure::None) {
        ShowRestoreFailure(failure);
        return 0;
    }
    int result = 0;
    if (!PrepareTarget(target, *entry, keepNewer, &result)) return result;
    FileReplacement file;
    if (!file.Begin(target)) return 0;
    for (;;) {
        const std::span<const std::uint8_t> piece = reader.Next(&failure);
        if (failure != RestoreFailure::None) {
            ShowRestoreFailure(failure);
            return 0;
        }
        if (piece.empty()) break;
        if (!file.Write(piece)) return 0;
        bytesSinceServed += piece.size();
        if (bytesSinceServed >= BytesBetweenServes) {
            platform::StayResponsive();
            bytesSinceServed = 0;
        }
    }
    const platform::FileTime time = LastWriteTime(*entry);
    return file.Commit(&time) ? 1 : 0;
}

}  // namespace package
