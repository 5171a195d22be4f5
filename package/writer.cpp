#include "package/writer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "package/compress.h"
#include "package/entry.h"
#include "package/format.h"

namespace package {
namespace {

// Offsets and sizes in a package are 32-bit.
constexpr const char* PackageTooLargeText = "package larger than 4 GiB";

// An entry ready to go out: its stored bytes and its directory record.
struct EncodedEntry {
    std::vector<std::uint8_t> bytes;
    PackageEntry record{};
};

// A package goes to players who can't repair it, so every stream is
// expanded again and compared before it is used (a small cost beside the
// encoding): a fault in the encoder stops the build instead of shipping.
// It is read back as the updater reads it, through a bounded window, so the
// check holds no second copy of a large entry.
void CheckRestores(const std::string& what, std::span<const std::uint8_t> content,
                   std::span<const std::uint8_t> stream) {
    PackageEntry record{};
    record.flags = EntryCompressed;
    record.size = static_cast<std::uint32_t>(content.size());
    record.storedSize = static_cast<std::uint32_t>(stream.size());
    EntryReader reader;
    RestoreFailure failure = reader.Open(stream, record, 0);
    std::size_t checked = 0;
    while (failure == RestoreFailure::None) {
        const std::span<const std::uint8_t> piece = reader.Next(&failure);
        if (piece.empty()) break;
        if (piece.size() > content.size() - checked ||
            !std::equal(piece.begin(), piece.end(), content.begin() + checked))
            failure = RestoreFailure::Damaged;
        checked += piece.size();
    }
    if (failure == RestoreFailure::NoMemory) throw std::bad_alloc();
    if (failure != RestoreFailure::None || checked != content.size())
        throw std::logic_error("the encoder's stream for " + what +
                               " does not restore it; try another level");
}

// Why the package can't hold `entry`; empty when it can.
std::string EntryProblem(const WriterEntry& entry) {
    if (!ValidEntryName(entry.name))
        return "entry name empty or longer than 259 bytes: " + entry.name;
    if (entry.content.size() > UINT32_MAX) return "entry larger than 4 GiB: " + entry.name;
    return {};
}

// Compressed only when that saves space; scrambled after compression, as
// the reader undoes it in the other order. `entry` gives up its content.
EncodedEntry EncodeEntry(WriterEntry& entry, int level) {
    EncodedEntry encoded;
    bool compressed = false;
    if (entry.compress && !entry.content.empty()) {
        std::vector<std::uint8_t> stream = CompressBlock(entry.content, level);
        if (stream.size() < entry.content.size()) {
            CheckRestores(entry.name, entry.content, stream);
            encoded.bytes = std::move(stream);
            compressed = true;
        }
    }
    PackageEntry& record = encoded.record;
    std::memcpy(record.name, entry.name.data(), entry.name.size());
    record.flags = compressed ? EntryCompressed : 0;
    record.scrambled = entry.scramble ? 1 : 0;
    record.lastWriteTimeLow = static_cast<std::uint32_t>(entry.lastWriteTime);
    record.lastWriteTimeHigh = static_cast<std::uint32_t>(entry.lastWriteTime >> 32);
    record.size = static_cast<std::uint32_t>(entry.content.size());
    if (!compressed) encoded.bytes = std::move(entry.content);
    if (entry.scramble) ScrambleWords(encoded.bytes);
    record.storedSize = static_cast<std::uint32_t>(encoded.bytes.size());
    return encoded;
}

std::size_t Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// The entries on their way from the workers to the writing thread.
struct Pipeline {
    std::size_t count = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;     // the next entry to start
    std::size_t written = 0;  // entries handed to the sink
    std::map<std::size_t, EncodedEntry> ready;  // waiting for those before them
    std::uint64_t readyBytes = 0;
    std::uint64_t largest = 0;  // the largest content loaded so far
    bool stopped = false;
    std::string failure;

    // A few entries are always let in; more only while those waiting hold
    // less than the largest entry, so that a large entry being encoded does
    // not stall the small ones behind it (a third of the time on a game
    // folder) and memory stays within a few of the largest entries.
    bool MayStart() const {
        return next - written < EntriesInFlight() || readyBytes < largest;
    }

    void Stop(std::string why) {
        {
            std::lock_guard lock(mutex);
            if (stopped) return;
            stopped = true;
            failure = std::move(why);
        }
        changed.notify_all();
    }
};

// Entries are independent, so every core takes the next one in turn.
void EncodeWorker(Pipeline& pipeline, const EntryLoader& load, int level) {
    for (;;) {
        std::size_t index;
        {
            std::unique_lock lock(pipeline.mutex);
            pipeline.changed.wait(lock, [&] {
                return pipeline.stopped || pipeline.next == pipeline.count || pipeline.MayStart();
            });
            if (pipeline.stopped || pipeline.next == pipeline.count) return;
            index = pipeline.next++;
        }
        std::string error;
        try {
            WriterEntry entry;
            if (load(index, &entry, &error)) {
                error = EntryProblem(entry);
                if (error.empty()) {
                    {
                        std::lock_guard lock(pipeline.mutex);
                        pipeline.largest = std::max<std::uint64_t>(pipeline.largest,
                                                                   entry.content.size());
                    }
                    EncodedEntry encoded = EncodeEntry(entry, level);
                    {
                        std::lock_guard lock(pipeline.mutex);
                        pipeline.readyBytes += encoded.bytes.size();
                        pipeline.ready.emplace(index, std::move(encoded));
                    }
                    pipeline.changed.notify_all();
                    continue;
                }
            }
        } catch (const std::exception& failure) {
            error = failure.what();
        } catch (...) {
            error = "unexpected failure";
        }
        pipeline.Stop(error);
    }
}

// The workers, told to stop and joined on every way out of StreamPackage.
struct WorkerThreads {
    Pipeline& pipeline;
    std::vector<std::thread> threads;

    ~WorkerThreads() {
        pipeline.Stop("stopped");
        for (std::thread& thread : threads) thread.join();
    }
};

// The records follow the data, compressed or not; the header says where.
bool WriteDirectory(const std::vector<std::uint8_t>& records, std::uint64_t dataEnd,
                    const PackageSink& sink, const WriterOptions& options,
                    std::uint64_t* end, std::string* error) {
    // Compressed, like an entry, only when that saves space.
    std::vector<std::uint8_t> directory;
    if (options.compressDirectory) directory = CompressBlock(records, options.level);
    const bool compressed = options.compressDirectory && directory.size() < records.size();
    if (compressed)
        CheckRestores("the directory", records, directory);
    else
        directory = records;
    *end = dataEnd + directory.size();
    if (*end > UINT32_MAX) {
        *error = PackageTooLargeText;
        return false;
    }
    const PackageHeader header{PackageMagic, compressed ? DirectoryCompressed : 0u,
                               static_cast<std::uint32_t>(dataEnd),
                               static_cast<std::uint32_t>(records.size() / EntrySize)};
    std::uint8_t bytes[HeaderSize];
    std::memcpy(bytes, &header, HeaderSize);
    return sink.append(directory, error) && sink.writeHeader(bytes, error);
}

}  // namespace

bool ValidEntryName(const std::string& name) {
    return !name.empty() && name.size() < NameSize && name.find('\0') == std::string::npos;
}

std::size_t EntriesInFlight() { return Cores() + 1; }

std::optional<std::uint64_t> StreamPackage(std::size_t count, const EntryLoader& load,
                                           const PackageSink& sink,
                                           const WriterOptions& options, std::string* error) {
    static constexpr std::uint8_t Zeros[DataAlignment] = {};
    Pipeline pipeline;
    pipeline.count = count;
    std::uint64_t dataEnd = HeaderSize;
    try {
        if (!sink.append(std::span(Zeros, HeaderSize), error)) return std::nullopt;
        std::vector<std::uint8_t> records;
        records.reserve(EntrySize * count);
        WorkerThreads workers{pipeline, {}};
        for (std::size_t i = 0; i < std::min(Cores(), count); ++i)
            workers.threads.emplace_back(EncodeWorker, std::ref(pipeline), std::cref(load),
                                         options.level);
        // This thread writes each entry as soon as all before it are out.
        for (std::size_t index = 0; index < count; ++index) {
            EncodedEntry entry;
            {
                std::unique_lock lock(pipeline.mutex);
                pipeline.changed.wait(lock, [&] {
                    return pipeline.stopped || pipeline.ready.contains(index);
                });
                if (pipeline.stopped) {
                    *error = pipeline.failure;
                    return std::nullopt;
                }
                entry = std::move(pipeline.ready.extract(index).mapped());
                pipeline.readyBytes -= entry.bytes.size();
            }
            // Checked before padding, so PaddedSize can't wrap; the padding
            // itself is caught with the directory.
            if (dataEnd + entry.bytes.size() > UINT32_MAX) {
                *error = PackageTooLargeText;
                return std::nullopt;
            }
            const std::uint32_t padded = PaddedSize(entry.record.storedSize);
            dataEnd += padded;
            const auto* record = reinterpret_cast<const std::uint8_t*>(&entry.record);
            records.insert(records.end(), record, record + EntrySize);
            const std::size_t padding = padded - entry.bytes.size();
            if (!sink.append(entry.bytes, error) ||
                (padding && !sink.append(std::span(Zeros, padding), error)))
                return std::nullopt;
            {
                std::lock_guard lock(pipeline.mutex);
                pipeline.written = index + 1;
            }
            pipeline.changed.notify_all();
        }
        std::uint64_t end = 0;
        if (!WriteDirectory(records, dataEnd, sink, options, &end, error)) return std::nullopt;
        return end;
    } catch (const std::exception& failure) {
        *error = failure.what();
        return std::nullopt;
    }
}

PackageSink MemorySink(std::vector<std::uint8_t>& image) {
    const std::size_t start = image.size();
    return PackageSink{
        [&image](std::span<const std::uint8_t> bytes, std::string*) {
            image.insert(image.end(), bytes.begin(), bytes.end());
            return true;
        },
        [&image, start](std::span<const std::uint8_t> header, std::string*) {
            std::copy(header.begin(), header.end(), image.begin() + static_cast<std::ptrdiff_t>(start));
            return true;
        }};
}

std::uint64_t LargestImageSize(std::size_t count, std::uint64_t contentBytes) {
    return HeaderSize + DataAlignment + (EntrySize + DataAlignment) * std::uint64_t{count} +
           contentBytes;
}

std::vector<std::uint8_t> WritePackage(std::span<const WriterEntry> entries,
                                       const WriterOptions& options) {
    std::uint64_t contentBytes = 0;
    for (const WriterEntry& entry : entries) {
        if (const std::string problem = EntryProblem(entry); !problem.empty())
            throw std::invalid_argument(problem);
        contentBytes += entry.content.size();
    }
    std::vector<std::uint8_t> image;
    image.reserve(LargestImageSize(entries.size(), contentBytes));
    const EntryLoader copy = [&](std::size_t index, WriterEntry* entry, std::string*) {
        *entry = entries[index];
        return true;
    };
    std::string error;
    if (!StreamPackage(entries.size(), copy, MemorySink(image), options, &error))
        throw std::runtime_error(error);
    return image;
}

}  // namespace package
