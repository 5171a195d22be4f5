#include "package/files.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/volumes.h"

namespace package {
namespace {

// The extended free-space query, once found; empty until then.
platform::ExtendedFreeSpaceQuery cachedQuery = nullptr;

// Temporary names are tried in turn, so one left behind by a crash is
// stepped over rather than reused.
unsigned temporaryCounter = 0;
constexpr int TemporaryNameTries = 16;

}  // namespace

std::size_t FolderLength(const char* path, bool backslashOnly) {
    std::size_t folder = 0;
    for (const char* p = path; *p; p = platform::NextChar(p))
        if (*p == '\\' || (*p == '/' && !backslashOnly)) folder = static_cast<std::size_t>(p - path) + 1;
    return folder;
}

FileReplacement::~FileReplacement() { Abandon(); }

void FileReplacement::Abandon() {
    if (!file_ && temporary_.empty()) return;
    file_.reset();
    platform::RemoveFile(temporary_.c_str());
    temporary_.clear();
}

bool FileReplacement::Begin(const char* path) {
    Abandon();
    unflushed_ = 0;
    // The write this stands for, a create-always with normal attributes,
    // fails on a hidden or system file; the move onto it would not, and the
    // file would lose the mark its owner gave it.
    const std::uint32_t attributes = platform::GetAttributes(path);
    if (attributes != platform::InvalidAttributes &&
        (attributes & (platform::AttributeHidden | platform::AttributeSystem)) != 0)
        return false;
    target_ = path;
    const std::string folder(path, FolderLength(path));
    for (int attempt = 0; attempt < TemporaryNameTries && !file_; ++attempt) {
        std::array<char, 24> name;
        std::snprintf(name.data(), name.size(), "~upd%x.tmp", temporaryCounter++);
        // Where the usual name would take the path past what the file calls
        // take, a shorter one does: a tilde and the attempt's digit, or the
        // digit alone beside a target whose own name is one character.
        const auto fits = [&] { return folder.size() + std::strlen(name.data()) < platform::PathCapacity; };
        if (!fits()) std::snprintf(name.data(), name.size(), "~%x", static_cast<unsigned>(attempt));
        if (!fits()) std::snprintf(name.data(), name.size(), "%x", static_cast<unsigned>(attempt));
        temporary_ = folder + name.data();
        file_ = platform::CreateNewForWrite(temporary_.c_str());
    }
    if (!file_) temporary_.clear();
    return static_cast<bool>(file_);
}

bool FileReplacement::Write(std::span<const std::uint8_t> data) {
    if (!file_) return false;
    std::uint32_t moved = 0;
    if (!platform::WriteOnce(file_.get(), data, &moved) || moved != data.size()) {
        Abandon();
        return false;
    }
    // Flushed as it goes: the flush before the move, which the user
    // interface waits out, then never has more than this left to write,
    // however large the file (a whole one at the end can take the disk
    // longer than Windows waits before it calls a window hung).
    unflushed_ += data.size();
    if (unflushed_ >= FlushEvery) {
        if (!platform::FlushToDisk(file_.get())) {
            Abandon();
            return false;
        }
        unflushed_ = 0;
    }
    return true;
}

bool FileReplacement::Commit(const platform::FileTime* time) {
    if (!file_) return false;
    // The content must be on the disk before the name is moved onto it: the
    // file system may make the move lasting first, and power lost between
    // the two would leave the target empty or holding garbage.
    const bool written = (!time || platform::SetFileTimes(file_.get(), *time)) &&
                         platform::FlushToDisk(file_.get());
    file_.reset();
    if (!written || !platform::MoveReplacing(temporary_.c_str(), target_.c_str())) {
        Abandon();
        return false;
    }
    temporary_.clear();
    // The file system may have handed the replaced file's creation time on
    // to its successor (it does so with a name reused within seconds), so
    // the times are set again where the file now stands. The content is in
    // place by now: a failure here costs no more than that creation time.
    if (time) {
        if (const platform::FileHandle placed = platform::OpenForStamping(target_.c_str()))
            (void)platform::SetFileTimes(placed.get(), *time);
    }
    return true;
}

platform::HeapBlock ReadWholeFile(const char* path, std::uint32_t* length) {
    platform::FileHandle file = platform::OpenForRead(path);
    if (!file) return {};
    const std::uint32_t size = platform::FileSize32(file.get());
    if (size == platform::InvalidFileSize) return {};
    platform::HeapBlock block = platform::AllocateBlock(size);
    if (!block) return {};
    std::uint32_t moved = 0;
    if (!platform::ReadOnce(file.get(), block.bytes(), &moved) || moved != size) return {};
    if (length) *length = size;
    return block;
}

int WriteWholeFile(const char* path, std::span<const std::uint8_t> data,
                   const platform::FileTime* time) {
    FileReplacement replacement;
    return replacement.Begin(path) && replacement.Write(data) && replacement.Commit(time) ? 1 : 0;
}

bool AppendPath(std::span<char> path, const char* name) {
    if (path.empty()) return false;
    const std::size_t length = strnlen(path.data(), path.size());
    // A path that ends in a separator is all folder.
    const bool separator = length > 0 && length < path.size() && FolderLength(path.data()) != length;
    const std::size_t nameLength = std::strlen(name);
    // The joined text, its terminator and the second zero byte.
    if (length >= path.size() || path.size() - length < separator + nameLength + 2) {
        path[0] = '\0';
        if (path.size() > 1) path[1] = '\0';
        return false;
    }
    char* end = path.data() + length;
    if (separator) *end++ = '\\';
    std::memcpy(end, name, nameLength);
    end[nameLength] = '\0';
    end[nameLength + 1] = '\0';
    return true;
}

int QueryFreeSpace(const char* path, std::uint64_t* freeToCaller, std::uint64_t* totalBytes,
                   std::uint64_t* totalFree) {
    // A bare drive name ("C:") is the drive's current folder to both
    // queries, which may lie on another volume or be gone: the drive's root
    // is meant. The cluster-based query takes nothing but a root.
    const char root[] = {path[0], ':', '\\', '\0'};
    const bool onDrive = path[0] != '\0' && path[1] == ':';
    if (!cachedQuery) cachedQuery = platform::LookUpExtendedFreeSpaceQuery();
    std::uint64_t free = 0, total = 0, allFree = 0;
    if (cachedQuery && platform::CallExtendedFreeSpaceQuery(cachedQuery, onDrive && path[2] == '\0' ? root : path,
                                                            &free, &total, &allFree)) {
        *freeToCaller = free;
        *totalBytes = total;
        if (totalFree) *totalFree = allFree;
        return 1;
    }
    platform::ClusterCounts counts;
    if (!platform::QueryClusterCounts(onDrive ? root : path, &counts)) return 0;
    // The old query's own arithmetic: a 32-bit cluster size, 64-bit totals.
    const std::uint32_t bytesPerCluster = counts.sectorsPerCluster * counts.bytesPerSector;
    *freeToCaller = std::uint64_t{bytesPerCluster} * counts.freeClusters;
    *totalBytes = std::uint64_t{bytesPerCluster} * counts.totalClusters;
    if (totalFree) *totalFree = *freeToCaller;
    return 1;
}

SpaceShortfall FreeSpaceShortfall(const char* path, std::uint64_t needed) {
    SpaceShortfall shortfall;
    std::strncpy(shortfall.drive.data(), path, 2);
    std::uint64_t freeToCaller = 0, totalBytes = 0;
    if (QueryFreeSpace(shortfall.drive.data(), &freeToCaller, &totalBytes, nullptr) &&
        needed > freeToCaller) {
        shortfall.bytes = needed - freeToCaller;
    }
    return shortfall;
}

void ResetFreeSpaceCache() { cachedQuery = nullptr; }

void ResetTemporaryNames() { temporaryCounter = 0; }

}  // namespace package
