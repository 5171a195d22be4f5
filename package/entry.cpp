#include "package/entry.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "package/expand.h"
#include "package/files.h"
#include "platform/files.h"
#include "platform/text.h"
#include "updater/state.h"

namespace package {
namespace {

constexpr const char* MissingEntryText = "Can't Find File in Resource !!";
constexpr const char* NoMemoryText = "Can't Allocate Memory !!";
constexpr const char* DamagedText = "RESOURCE READ ERROR";

// Finds `name` in the program's package, or says that it is missing.
const PackageEntry* FindProgramEntry(const char* name, std::uint32_t* offset) {
    const PackageEntry* entry = FindEntry(updater::state.entries, name, offset);
    if (!entry) updater::ShowUpdateError(MissingEntryText);
    return entry;
}

void ShowRestoreFailure(RestoreFailure failure) {
    updater::ShowUpdateError(failure == RestoreFailure::NoMemory ? NoMemoryText : DamagedText);
}

// True when the drive of `target` has room for `size` bytes, or when its
// free space can't be had at all (then the write itself will tell).
bool CheckFreeSpace(const char* target, std::uint32_t size) {
    std::array<char, 3> drive{};
    std::strncpy(drive.data(), target, 2);
    std::uint64_t freeToCaller = 0, totalBytes = 0;
    if (!QueryFreeSpace(drive.data(), &freeToCaller, &totalBytes, nullptr)) return true;
    if (size <= freeToCaller) return true;
    updater::MessageText message{};
    std::snprintf(message.data(), message.size(),
                  "ディスク容量が足りません。%s ドライブに %" PRIu64 " バイトの空き容量が必要です",
                  drive.data(), std::uint64_t{size} - freeToCaller);
    updater::ShowUpdateError(message.data());
    return false;
}

// Applies the attribute step and the newer-file rule to an existing target.
// Returns false when the target must not be written: it is a folder
// (`result` 0) or a newer file that stays (`result` 1).
bool MayWrite(const char* target, const PackageEntry& entry, int keepNewer, int* result) {
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

}  // namespace

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
    if (offset > image.size() || entry.storedSize > image.size() - offset) return {};
    std::span<const std::uint8_t> stored = image.subspan(offset, entry.storedSize);

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
        if (entry.size > stored.size()) return {};
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

    RestoreFailure failure;
    const EntryContent content =
        RestoreEntry(updater::state.packageImage, *entry, offset, &failure);
    if (!content) {
        ShowRestoreFailure(failure);
        return 0;
    }
    int result = 0;
    if (!MayWrite(target, *entry, keepNewer, &result)) return result;
    const platform::FileTime time = LastWriteTime(*entry);
    return WriteWholeFile(target, content.bytes, &time);
}

}  // namespace package
