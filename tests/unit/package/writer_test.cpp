#include "package/writer.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST(ValidEntryName, FitsTheNameFieldWithItsTerminator) {
    EXPECT_FALSE(ValidEntryName(""));
    EXPECT_TRUE(ValidEntryName(std::string(259, 'n')));
    EXPECT_FALSE(ValidEntryName(std::string(260, 'n')));
    EXPECT_FALSE(ValidEntryName(std::string("A\0B", 3)));
    EXPECT_THROW(WritePackage(std::vector<WriterEntry>{{std::string(260, 'n'), {}}}, {}),
                 std::invalid_argument);
}

}  // namespace
