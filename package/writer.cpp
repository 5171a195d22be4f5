#include "package/writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>

#include "package/compress.h"
#include "package/expand.h"
#include "package/format.h"

namespace package {
namespace {

struct StoredEntry {
    std::vector<std::uint8_t> bytes;
    bool compressed = false;
};

// A package goes to players who can't repair it, so every stream is
// expanded again and compared before it is used (a small cost beside the
// encoding): a fault in the encoder stops the build instead of shipping.
void CheckRestores(const std::string& what, std::span<const std::uint8_t> content,
                   std::span<const std::uint8_t> stream) {
    std::vector<std::uint8_t> restored(content.size());
    if (ExpandBlock(restored, stream).status != ExpandStatus::Ok ||
        !std::equal(restored.begin(), restored.end(), content.begin()))
        throw std::logic_error("the encoder's stream for " + what +
                               " does not restore it; try another level");
}

// Compressed only when that saves space; scrambled after compression, as
// the reader undoes it in the other order.
StoredEntry EncodeEntry(const WriterEntry& entry, int level) {
    StoredEntry stored;
    if (entry.compress && !entry.content.empty()) {
        std::vector<std::uint8_t> stream = CompressBlock(entry.content, level);
        if (stream.size() < entry.content.size()) {
            CheckRestores(entry.name, entry.content, stream);
            stored.bytes = std::move(stream);
            stored.compressed = true;
        }
    }
    if (!stored.compressed) stored.bytes = entry.content;
    if (entry.scramble) ScrambleWords(stored.bytes);
    return stored;
}

// Entries are independent, so every core takes the next one in turn.
std::vector<StoredEntry> EncodeAll(std::span<const WriterEntry> entries, int level) {
    std::vector<StoredEntry> stored(entries.size());
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (std::size_t i; !failed && (i = next++) < entries.size();) {
            try {
                stored[i] = EncodeEntry(entries[i], level);
            } catch (...) {
                if (!failed.exchange(true)) failure = std::current_exception();
            }
        }
    };
    const std::size_t workers =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, entries.size() + 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
    if (failure) std::rethrow_exception(failure);
    return stored;
}

template <typename T>
void Put(std::vector<std::uint8_t>& out, std::size_t at, T value) {
    std::memcpy(out.data() + at, &value, sizeof value);
}

}  // namespace

bool ValidEntryName(const std::string& name) {
    return !name.empty() && name.size() < NameSize && name.find('\0') == std::string::npos;
}

std::vector<std::uint8_t> WritePackage(std::span<const WriterEntry> entries,
                                       const WriterOptions& options) {
    for (const WriterEntry& entry : entries) {
        if (!ValidEntryName(entry.name))
            throw std::invalid_argument("entry name empty or longer than 259 bytes: " + entry.name);
        if (entry.content.size() > UINT32_MAX)
            throw std::length_error("entry larger than 4 GiB: " + entry.name);
    }
    const std::vector<StoredEntry> stored = EncodeAll(entries, options.level);

    std::vector<std::uint8_t> records(EntrySize * entries.size());
    std::uint64_t dataEnd = HeaderSize;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PackageEntry record{};
        std::memcpy(record.name, entries[i].name.data(), entries[i].name.size());
        record.flags = stored[i].compressed ? EntryCompressed : 0;
        record.scrambled = entries[i].scramble ? 1 : 0;
        record.lastWriteTimeLow = static_cast<std::uint32_t>(entries[i].lastWriteTime);
        record.lastWriteTimeHigh = static_cast<std::uint32_t>(entries[i].lastWriteTime >> 32);
        record.size = static_cast<std::uint32_t>(entries[i].content.size());
        record.storedSize = static_cast<std::uint32_t>(stored[i].bytes.size());
        std::memcpy(records.data() + EntrySize * i, &record, EntrySize);
        dataEnd += PaddedSize(record.storedSize);
    }
    std::vector<std::uint8_t> directory = records;
    if (options.compressDirectory) {
        directory = CompressBlock(records, options.level);
        CheckRestores("the directory", records, directory);
    }
    if (dataEnd + directory.size() > UINT32_MAX)
        throw std::length_error("package larger than 4 GiB");

    std::vector<std::uint8_t> image(dataEnd + directory.size());
    Put(image, 0, PackageMagic);
    Put(image, 4, options.compressDirectory ? DirectoryCompressed : std::uint32_t{0});
    Put(image, 8, static_cast<std::uint32_t>(dataEnd));
    Put(image, 12, static_cast<std::uint32_t>(entries.size()));
    std::size_t offset = HeaderSize;
    for (const StoredEntry& entry : stored) {
        std::copy(entry.bytes.begin(), entry.bytes.end(), image.begin() + offset);
        offset += PaddedSize(static_cast<std::uint32_t>(entry.bytes.size()));
    }
    std::copy(directory.begin(), directory.end(), image.begin() + dataEnd);
    return image;
}

}  // namespace package
