#include "package/entry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "package/compress.h"
#include "package/files.h"
#include "package/writer.h"
#include "package_image.h"
#include "platform/files.h"
#include "support/host_fixture.h"

namespace {

using namespace package;
using namespace package_test;
using platform::FaultKind;

constexpr std::uint64_t EntryTime = 133'000'000'000'000'000;  // 2022
const std::string Text = "The quick brown fox jumps over the lazy dog. The quick brown fox!";

class EntryTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        ResetFreeSpaceCache();
    }

    // The program's package holds these entries (through the writer).
    void Install(std::vector<WriterEntry> entries, bool compressDirectory = true) {
        for (WriterEntry& entry : entries)
            if (entry.lastWriteTime == 0) entry.lastWriteTime = EntryTime;
        image_ = WritePackage(entries, {compressDirectory, DefaultLevel});
        ASSERT_TRUE(InstallPackage(image_));
    }
    void InstallText(const std::string& name, bool compress, bool scramble) {
        Install({{name, Bytes(Text), EntryTime, compress, scramble}});
    }
    // The loaded records, to give an entry values the writer never would.
    PackageEntry& Entry(std::size_t i) {
        return reinterpret_cast<PackageEntry*>(updater::state.directory.block.data() + 16)[i];
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : platform::HostRecordedBoxes()) texts.push_back(box.text);
        return texts;
    }

    std::vector<std::uint8_t> image_;
};

using Texts = std::vector<std::string>;

TEST_F(EntryTest, FindEntryIsCaseBlindTakesTheFirstAndSumsPaddedSizes) {
    const auto image = RawImage({{"EMPTY", {}, 0},
                                 {"SIXTEEN", std::vector<std::uint8_t>(16), 16},
                                 {"SEVENTEEN", std::vector<std::uint8_t>(17), 17},
                                 PlainEntry("UPDATE.INI", "first"),
                                 PlainEntry("update.ini", "second")});
    const PackageDirectory directory = LoadPackageDirectory(image);
    ASSERT_TRUE(directory.block);
    struct Case { const char* name; std::uint32_t offset; std::size_t index; };
    for (const Case c : {Case{"EMPTY", 16, 0}, Case{"sixteen", 16, 1}, Case{"Seventeen", 32, 2},
                         Case{"update.ini", 64, 3}}) {
        std::uint32_t offset = 0;
        EXPECT_EQ(FindEntry(directory.entries(), c.name, &offset), &directory.entries()[c.index])
            << c.name;
        EXPECT_EQ(offset, c.offset) << c.name;
    }
    EXPECT_EQ(FindEntry(directory.entries(), "MISSING", nullptr), nullptr);
    EXPECT_EQ(FindEntry({}, "UPDATE.INI", nullptr), nullptr);
}

// Entry flags: only the value 2 means compressed; scrambled only when exactly 1.
TEST_F(EntryTest, RestoreReadsFlagsAsTheUpdaterDoes) {
    const std::string content = "plain bytes, stored as they are";
    for (std::uint8_t flags : {0, 1, 0x80}) {
        for (std::uint8_t scrambled : {0, 2, 0xFF}) {
            const auto image = RawImage({{"X", Bytes(content), std::uint32_t(content.size()),
                                          flags, scrambled}});
            const PackageDirectory directory = LoadPackageDirectory(image);
            RestoreFailure failure;
            const EntryContent restored = RestoreEntry(image, directory.entries()[0], 16, &failure);
            ASSERT_TRUE(restored);
            EXPECT_FALSE(static_cast<bool>(restored.owned));
            EXPECT_EQ(std::string(restored.bytes.begin(), restored.bytes.end()), content);
        }
    }
    const auto stream = CompressBlock(Bytes(content));
    for (std::uint8_t flags : {2, 3, 0xFF}) {
        const auto image = RawImage({{"X", stream, std::uint32_t(content.size()), flags}});
        const PackageDirectory directory = LoadPackageDirectory(image);
        RestoreFailure failure;
        const EntryContent restored = RestoreEntry(image, directory.entries()[0], 16, &failure);
        ASSERT_TRUE(restored) << int(flags);
        EXPECT_TRUE(static_cast<bool>(restored.owned));
        EXPECT_EQ(std::string(restored.bytes.begin(), restored.bytes.end()), content);
    }
}

TEST_F(EntryTest, LoadEntryGivesViewsOfPlainEntriesAndBlocksOfRestoredOnes) {
    struct Case { bool compress; bool scramble; bool owned; };
    for (const Case c : {Case{false, false, false}, Case{true, false, true},
                         Case{false, true, true}, Case{true, true, true}}) {
        InstallText("TEXT.TXT", c.compress, c.scramble);
        const auto before = image_;
        std::uint32_t size = 0;
        const EntryContent content = LoadEntry("text.txt", &size);
        ASSERT_TRUE(content);
        EXPECT_EQ(static_cast<bool>(content.owned), c.owned);
        EXPECT_EQ(size, Text.size());
        EXPECT_EQ(std::string(content.bytes.begin(), content.bytes.end()), Text);
        EXPECT_EQ(image_, before);
        EXPECT_TRUE(Boxes().empty());
    }
}

TEST_F(EntryTest, LoadEntryFailuresShowTheirBoxes) {
    InstallText("TEXT.TXT", true, false);
    EXPECT_FALSE(LoadEntry("OTHER.TXT", nullptr));
    platform::HostPlanFault(FaultKind::Allocate, 1);
    EXPECT_FALSE(LoadEntry("TEXT.TXT", nullptr));
    Entry(0).size += 1;  // the stream now ends one byte early
    EXPECT_FALSE(LoadEntry("TEXT.TXT", nullptr));
    EXPECT_EQ(Boxes(), (Texts{"Can't Find File in Resource !!", "Can't Allocate Memory !!",
                              "RESOURCE READ ERROR"}));
}

TEST_F(EntryTest, ExtractRestoresEveryFormWithTheEntryTimeOnAllStamps) {
    for (bool compress : {false, true}) {
        for (bool scramble : {false, true}) {
            InstallText("TEXT.TXT", compress, scramble);
            const auto before = image_;
            for (int round = 0; round < 2; ++round) {
                ASSERT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 1);
                const platform::FileTimes times = platform::HostFileTimes("C:\\OUT.TXT");
                EXPECT_EQ(times.creation, EntryTime);
                EXPECT_EQ(times.lastAccess, EntryTime);
                EXPECT_EQ(times.lastWrite, EntryTime);
                EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), Text);
            }
            EXPECT_EQ(image_, before);
        }
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(EntryTest, ExtractsLargeEntriesExactly) {
    std::vector<std::uint8_t> content(3'000'000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>((i * i) >> 7 ^ (i % 251));
    Install({{"BIG.BIN", content, EntryTime, true, true}});
    ASSERT_EQ(ExtractEntry("BIG.BIN", "C:\\BIG.BIN", 0), 1);
    const auto written = platform::HostReadFile("C:\\BIG.BIN");
    ASSERT_TRUE(written);
    ASSERT_EQ(written->size(), content.size());
    EXPECT_EQ(std::mismatch(content.begin(), content.end(),
                            reinterpret_cast<const std::uint8_t*>(written->data())).first -
                  content.begin(),
              std::ptrdiff_t(content.size()));
}

// A long write serves the window every 4 MiB, counted across entries: a
// run of small entries serves it as one large entry does.
TEST_F(EntryTest, WritesServeTheWindowEveryFewMebibytesAcrossEntries) {
    Install({{"A.BIN", std::vector<std::uint8_t>(3'000'000, 'x'), EntryTime, true, false}});
    const int before = platform::HostTimesServed();
    for (int entry = 0; entry < 6; ++entry) ASSERT_EQ(ExtractEntry("A.BIN", "C:\\A.BIN", 0), 1);
    // 18 MB, and what earlier tests left short of 4 MiB.
    const int served = platform::HostTimesServed() - before;
    EXPECT_GE(served, 4);
    EXPECT_LE(served, 5);
}

// Extraction streams: its memory does not grow with the entry, while the
// whole-buffer LoadEntry needs the entry's size.
TEST_F(EntryTest, ExtractionMemoryIsBoundedWhateverTheEntrySize) {
    std::vector<std::uint8_t> content(6'000'000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i % 7919 < 40 ? i * 31 : "0123456789"[i % 10]);
    Install({{"BIG.BIN", content, EntryTime, true, true}});
    platform::HostLimitAllocation(3 << 20);
    ASSERT_EQ(ExtractEntry("BIG.BIN", "C:\\BIG.BIN", 0), 1);
    EXPECT_FALSE(LoadEntry("BIG.BIN", nullptr));
    EXPECT_EQ(Boxes(), Texts{"Can't Allocate Memory !!"});
    const auto written = platform::HostReadFile("C:\\BIG.BIN");
    ASSERT_TRUE(written);
    EXPECT_TRUE(std::equal(content.begin(), content.end(),
                           reinterpret_cast<const std::uint8_t*>(written->data()),
                           reinterpret_cast<const std::uint8_t*>(written->data()) + written->size()));
}

// A scrambled plain entry may store more than its size; the word that holds
// its last byte is unscrambled whole.
TEST_F(EntryTest, ScrambledPlainEntryShorterThanItsStoredData) {
    std::vector<std::uint8_t> stored = Bytes("0123456789");
    ScrambleWords(stored);
    image_ = RawImage({{"S", stored, 7, 0, 1, EntryTime}});
    ASSERT_TRUE(InstallPackage(image_));
    ASSERT_EQ(ExtractEntry("S", "C:\\S", 0), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\S"), "0123456");
    const EntryContent loaded = LoadEntry("S", nullptr);
    EXPECT_EQ(std::string(loaded.bytes.begin(), loaded.bytes.end()), "0123456");
}

TEST_F(EntryTest, FreeSpaceCheckComesFirstAndCountsTheWholeSize) {
    InstallText("TEXT.TXT", true, false);
    platform::HostSetFreeSpace('C', Text.size(), 1 << 30, Text.size());
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 1);
    platform::HostSetFreeSpace('C', Text.size() - 1, 1 << 30, Text.size() - 1);
    platform::MakeFolder("C:\\FOLDER");
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\FOLDER", 0), 0);  // even for a folder
    EXPECT_EQ(Boxes(), (Texts{"ディスク容量が足りません。C: ドライブに 1 バイトの空き容量が必要です"}));
}

TEST_F(EntryTest, ShortfallsBeyondTwoGigabytesShowInFull) {
    InstallText("TEXT.TXT", false, false);
    Entry(0).size = 0xC0000000;  // never restored: the check refuses it first
    platform::HostSetFreeSpace('C', 0, 1 << 30, 0);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
    EXPECT_EQ(Boxes(),
              (Texts{"ディスク容量が足りません。C: ドライブに 3221225472 バイトの空き容量が必要です"}));
}

TEST_F(EntryTest, UnknownFreeSpaceLetsTheExtractionGoAhead) {
    InstallText("TEXT.TXT", false, false);
    platform::HostSetExtendedQuery(platform::ExtendedQuery::Unavailable);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 1);
}

TEST_F(EntryTest, ExtractFailuresOfThePackageShowTheirBoxesAndWriteNothing) {
    InstallText("TEXT.TXT", true, true);
    EXPECT_EQ(ExtractEntry("NONE.TXT", "C:\\OUT.TXT", 0), 0);
    platform::HostPlanFault(FaultKind::Allocate, 1, true);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
    platform::HostClearFaults();
    Entry(0).size -= 1;  // the stream now overflows its output
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
    EXPECT_EQ(Boxes(), (Texts{"Can't Find File in Resource !!", "Can't Allocate Memory !!",
                              "RESOURCE READ ERROR"}));
    EXPECT_FALSE(platform::HostReadFile("C:\\OUT.TXT"));
}

TEST_F(EntryTest, SilentFailuresLeaveTheTargetAlone) {
    InstallText("TEXT.TXT", false, false);
    platform::MakeFolder("C:\\FOLDER");
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\FOLDER", 0), 0);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\MISSING\\OUT.TXT", 0), 0);  // no folder is made
    platform::HostWriteFile("C:\\OUT.TXT", "old");
    for (FaultKind kind : {FaultKind::Create, FaultKind::Write, FaultKind::ShortWrite,
                           FaultKind::SetTime, FaultKind::Flush, FaultKind::Replace}) {
        platform::HostPlanFault(kind, 1, true);
        EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
        platform::HostClearFaults();
        EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), "old");
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(EntryTest, NewerFileRule) {
    InstallText("TEXT.TXT", false, false);
    struct Case { std::uint64_t existing; int keepNewer; bool rewritten; };
    for (const Case c : {Case{EntryTime, 1, true}, Case{EntryTime + 1, 1, false},
                         Case{EntryTime - 1, 1, true}, Case{EntryTime + 1, 0, true},
                         Case{~std::uint64_t{0}, 0, true}}) {
        platform::HostWriteFile("C:\\OUT.TXT", "old");
        platform::HostSetFileTime("C:\\OUT.TXT", c.existing);
        EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", c.keepNewer), 1);
        EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), c.rewritten ? Text : "old")
            << c.existing - EntryTime << " " << c.keepNewer;
    }
    // A target whose time can't be read is rewritten.
    platform::HostSetFileTime("C:\\OUT.TXT", EntryTime + 1);
    platform::HostPlanFault(FaultKind::GetTime, 1);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 1), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), Text);
    // The times compare as unsigned numbers: an entry stamped with the high
    // bit set is newer than the file, so it is written, and fails as its
    // time can't be given to a file.
    Install({{"LATE.TXT", Bytes(Text), 0x8000'0000'0000'0000ull, false, false}});
    platform::HostWriteFile("C:\\OUT.TXT", "old");
    platform::HostSetFileTime("C:\\OUT.TXT", EntryTime);
    EXPECT_EQ(ExtractEntry("LATE.TXT", "C:\\OUT.TXT", 1), 0);
    EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), "old");
}

TEST_F(EntryTest, ReadOnlyTargetsLoseTheAttributeEvenWhenKept) {
    InstallText("TEXT.TXT", false, false);
    for (std::uint64_t existing : {EntryTime - 1, EntryTime + 1}) {
        platform::HostWriteFile("C:\\OUT.TXT", "old");
        platform::HostSetFileTime("C:\\OUT.TXT", existing);
        platform::SetAttributes("C:\\OUT.TXT", platform::AttributeReadOnly);
        EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 1), 1);
        EXPECT_EQ(platform::GetAttributes("C:\\OUT.TXT") & platform::AttributeReadOnly, 0u);
        EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), existing < EntryTime ? Text : "old");
    }
    // An attribute that can't be cleared keeps the file as it is: the write fails.
    platform::HostWriteFile("C:\\OUT.TXT", "old");
    platform::SetAttributes("C:\\OUT.TXT", platform::AttributeReadOnly);
    platform::HostPlanFault(FaultKind::SetAttributes, 1);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
    EXPECT_EQ(platform::HostFaultsFired(FaultKind::SetAttributes), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), "old");
    EXPECT_NE(platform::GetAttributes("C:\\OUT.TXT") & platform::AttributeReadOnly, 0u);
    // Clearing the read-only mark clears a hidden one too, which then no
    // longer stops the write.
    platform::HostWriteFile("C:\\OUT.TXT", "old");
    platform::SetAttributes("C:\\OUT.TXT", platform::AttributeReadOnly | platform::AttributeHidden);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\OUT.TXT"), Text);
    platform::SetAttributes("C:\\OUT.TXT", platform::AttributeHidden);
    EXPECT_EQ(ExtractEntry("TEXT.TXT", "C:\\OUT.TXT", 0), 0);
}

}  // namespace
