#include "package/writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "package/entry.h"
#include "package/format.h"
#include "package_image.h"
#include "support/host_fixture.h"

namespace {

using namespace package;
using package_test::Bytes;

class WriterTest : public HostTest {};

std::vector<std::uint8_t> Varied(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> data(size);
    unsigned state = seed;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        // Runs of text-like bytes with some noise: compressible, not trivially.
        data[i] = (state >> 28) < 3 ? static_cast<std::uint8_t>(state >> 16)
                                    : static_cast<std::uint8_t>("abcdefgh  \r\n"[i % 12]);
    }
    return data;
}

TEST_F(WriterTest, RoundTripsEveryForm) {
    std::vector<WriterEntry> entries;
    for (bool compress : {false, true})
        for (bool scramble : {false, true})
            entries.push_back({"E" + std::to_string(entries.size()),
                               Varied(1000 + 333 * entries.size(), unsigned(entries.size())),
                               1000 + entries.size(), compress, scramble});
    entries.push_back({"EMPTY", {}, 5, true, true});
    entries.push_back({"TINY", Bytes("xyz"), 6, true, false});  // nothing to save
    for (bool compressDirectory : {false, true}) {
        for (int level : {FastestLevel, DefaultLevel}) {
            const auto image = WritePackage(entries, {compressDirectory, level});
            const PackageDirectory directory = LoadPackageDirectory(image);
            ASSERT_TRUE(directory.block);
            const PackageHeader header = directory.header();
            EXPECT_EQ(header.magic, PackageMagic);
            EXPECT_EQ(header.flags, compressDirectory ? DirectoryCompressed : 0u);
            EXPECT_EQ(header.directoryOffset % 16, 0u);
            ASSERT_EQ(directory.entries().size(), entries.size());
            std::uint32_t offset = HeaderSize;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const PackageEntry& record = directory.entries()[i];
                EXPECT_STREQ(record.name, entries[i].name.c_str());
                EXPECT_EQ(LastWriteTime(record), entries[i].lastWriteTime);
                EXPECT_EQ(record.scrambled, entries[i].scramble ? 1 : 0);
                EXPECT_EQ(record.flags, IsCompressed(record) ? EntryCompressed : 0);
                EXPECT_EQ(IsCompressed(record), record.storedSize < record.size);
                EXPECT_EQ(IsCompressed(record), entries[i].compress && i != 5 && i != 4) << i;
                RestoreFailure failure;
                const EntryContent content = RestoreEntry(image, record, offset, &failure);
                ASSERT_TRUE(content) << i;
                EXPECT_TRUE(std::equal(content.bytes.begin(), content.bytes.end(),
                                       entries[i].content.begin(), entries[i].content.end()))
                    << i;
                offset += PaddedSize(record.storedSize);
            }
        }
    }
}

TEST_F(WriterTest, ScramblesTheStoredBytes) {
    const auto content = Varied(64, 1);
    const auto image = WritePackage(std::vector<WriterEntry>{{"S", content, 0, false, true}},
                                    {false, DefaultLevel});
    auto stored = std::vector<std::uint8_t>(image.begin() + 16, image.begin() + 16 + 64);
    EXPECT_NE(stored, content);
    ScrambleWords(stored);
    EXPECT_EQ(stored, content);
}

TEST_F(WriterTest, StoresTheDirectoryPlainWhenCompressingWouldGrowIt) {
    // A name of bytes that never repeat within reach leaves nothing to match.
    std::string name;
    for (unsigned i = 0; i < NameSize - 1; ++i) name += static_cast<char>(1 + (i * 97) % 255);
    const std::vector<WriterEntry> entries{{name, Varied(100, 2), 0, true, false}};
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}}) {
        const auto image = WritePackage(std::span(entries).first(count), {true, DefaultLevel});
        EXPECT_LE(image.size(), LargestImageSize(count, 100 * count));
        const PackageDirectory directory = LoadPackageDirectory(image);
        ASSERT_TRUE(directory.block);
        EXPECT_EQ(directory.header().flags, 0u);
        EXPECT_EQ(image.size() - directory.header().directoryOffset, EntrySize * count);
        ASSERT_EQ(directory.entries().size(), count);
    }
}

TEST_F(WriterTest, MemorySinkAppendsAfterWhatTheImageHolds) {
    const std::vector<WriterEntry> entries{{"A", Varied(300, 3), 0, true, false}};
    const auto alone = WritePackage(entries, {});
    std::vector<std::uint8_t> image = Bytes("PREFIX");
    const WriterEntry* source = entries.data();
    const EntryLoader load = [&](std::size_t, WriterEntry* entry, std::string*) {
        *entry = *source;
        return true;
    };
    std::string error;
    ASSERT_TRUE(StreamPackage(1, load, MemorySink(image), {}, &error)) << error;
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 6), Bytes("PREFIX"));
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 6, image.end()), alone);
}

TEST(ValidEntryName, FitsTheNameFieldWithItsTerminator) {
    EXPECT_FALSE(ValidEntryName(""));
    EXPECT_TRUE(ValidEntryName(std::string(259, 'n')));
    EXPECT_FALSE(ValidEntryName(std::string(260, 'n')));
    EXPECT_FALSE(ValidEntryName(std::string("A\0B", 3)));
    EXPECT_THROW(WritePackage(std::vector<WriterEntry>{{std::string(260, 'n'), {}}}, {}),
                 std::invalid_argument);
}

// Streams to a real file as the tool does: the header written over the
// zeros at the start once the rest is out.
std::optional<std::uint64_t> StreamToFile(const std::filesystem::path& path,
                                          std::span<const WriterEntry> entries,
                                          const WriterOptions& options, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const PackageSink sink{
        [&](std::span<const std::uint8_t> bytes, std::string*) {
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            return bool(out);
        },
        [&](std::span<const std::uint8_t> header, std::string*) {
            out.seekp(0);
            out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
            return bool(out);
        }};
    return StreamPackage(
        entries.size(),
        [&](std::size_t index, WriterEntry* entry, std::string*) {
            *entry = entries[index];
            return true;
        },
        sink, options, error);
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(WriterTest, StreamedFileEqualsTheImage) {
    std::vector<WriterEntry> entries;
    entries.push_back({"PLAIN", Varied(999, 1), 1, false, false});
    entries.push_back({"PACKED", Varied(5000, 2), 2, true, false});
    entries.push_back({"SCRAMBLED", Varied(3001, 3), 3, true, true});
    entries.push_back({"EMPTY", {}, 4, true, true});
    entries.push_back({"TINY", Bytes("xyz"), 5, true, false});
    // More large entries than may be in flight, so entries wait for
    // earlier ones and slots are reused.
    for (std::size_t i = 0; i < EntriesInFlight() + 2; ++i)
        entries.push_back({"LARGE" + std::to_string(i), Varied(200000 + 17 * i, unsigned(i)),
                           100 + i, i % 3 != 0, i % 2 == 0});
    entries.push_back({"LAST", Varied(77, 9), 6, true, false});
    for (bool compressDirectory : {false, true}) {
        const WriterOptions options{compressDirectory, FastestLevel};
        const auto path = root() / "streamed.fa2";
        std::string error;
        const auto size = StreamToFile(path, entries, options, &error);
        ASSERT_TRUE(size) << error;
        const auto image = WritePackage(entries, options);
        EXPECT_EQ(*size, image.size());
        EXPECT_TRUE(ReadFile(path) == image) << "compressDirectory " << compressDirectory;
    }
}

// Entries of one stored size, so the sink can tell how many are out.
struct CountingSink {
    std::size_t entrySize;
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<int> headers{0};
    int failAfterAppends = -1;
    int appends = 0;

    std::size_t EntriesOut() const {
        return bytes < HeaderSize ? 0 : (bytes - HeaderSize) / entrySize;
    }
    PackageSink Sink() {
        return {[this](std::span<const std::uint8_t> data, std::string* error) {
                    if (appends++ == failAfterAppends) {
                        *error = "disk full";
                        return false;
                    }
                    bytes += data.size();
                    return true;
                },
                [this](std::span<const std::uint8_t>, std::string*) {
                    ++headers;
                    return true;
                }};
    }
};

TEST(StreamPackage, HoldsOnlyTheEntriesInFlight) {
    constexpr std::size_t Size = 4096;
    const std::size_t count = 4 * EntriesInFlight() + 5;
    CountingSink counting{Size};
    std::atomic<std::size_t> beyond{0};
    std::string error;
    const auto size = StreamPackage(
        count,
        [&](std::size_t index, WriterEntry* entry, std::string*) {
            if (index >= counting.EntriesOut() + EntriesInFlight()) ++beyond;
            *entry = {"E" + std::to_string(index), std::vector<std::uint8_t>(Size, 7), 0, false};
            return true;
        },
        counting.Sink(), {}, &error);
    ASSERT_TRUE(size) << error;
    EXPECT_EQ(beyond, 0u);
    EXPECT_EQ(counting.headers, 1);
}

// A large entry being encoded must not hold back the small ones after it:
// the second entry's content only comes once many later ones have been
// loaded, which a plain count of entries in flight would never allow.
TEST(StreamPackage, SmallEntriesPassALargeOne) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "needs two cores";
    const std::size_t waitFor = 2 * EntriesInFlight() + 2;
    std::mutex mutex;
    std::condition_variable loaded;
    std::size_t highest = 0;
    bool passed = false;
    std::string error;
    const auto size = StreamPackage(
        waitFor + 5,
        [&](std::size_t index, WriterEntry* entry, std::string*) {
            std::unique_lock lock(mutex);
            highest = std::max(highest, index);
            loaded.notify_all();
            if (index == 1)
                passed = loaded.wait_for(lock, std::chrono::seconds(20),
                                         [&] { return highest >= waitFor; });
            *entry = {"E" + std::to_string(index),
                      std::vector<std::uint8_t>(index < 2 ? 100000 : 16, 1), 0, false};
            return true;
        },
        CountingSink{16}.Sink(), {}, &error);
    ASSERT_TRUE(size) << error;
    EXPECT_TRUE(passed);
}

TEST(StreamPackage, StopsAtTheFirstFailure) {
    const std::size_t count = 4 * EntriesInFlight() + 10;
    const auto stored = [](std::size_t index, WriterEntry* entry) {
        *entry = {"E" + std::to_string(index), std::vector<std::uint8_t>(64, 3), 0, false};
    };
    {
        CountingSink counting{64};
        std::string error;
        EXPECT_FALSE(StreamPackage(
            count,
            [&](std::size_t index, WriterEntry* entry, std::string* why) {
                stored(index, entry);
                if (index != 3) return true;
                *why = "cannot read E3";
                return false;
            },
            counting.Sink(), {}, &error));
        EXPECT_EQ(error, "cannot read E3");
        EXPECT_LE(counting.EntriesOut(), 3u);
        EXPECT_EQ(counting.headers, 0);
    }
    {
        // A name the loader should not have let through is refused all the same.
        std::string error;
        EXPECT_FALSE(StreamPackage(
            count,
            [&](std::size_t index, WriterEntry* entry, std::string*) {
                stored(index, entry);
                if (index == 2) entry->name.assign(260, 'n');
                return true;
            },
            CountingSink{64}.Sink(), {}, &error));
        EXPECT_NE(error.find("longer than 259 bytes"), std::string::npos) << error;
    }
    {
        CountingSink counting{64};
        counting.failAfterAppends = 3;
        std::atomic<std::size_t> loads{0};
        std::string error;
        EXPECT_FALSE(StreamPackage(
            count,
            [&](std::size_t index, WriterEntry* entry, std::string*) {
                ++loads;
                stored(index, entry);
                return true;
            },
            counting.Sink(), {}, &error));
        EXPECT_EQ(error, "disk full");
        EXPECT_LT(loads, count);  // the workers stopped too
        EXPECT_EQ(counting.headers, 0);
    }
}

}  // namespace
