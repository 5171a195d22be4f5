#include "package/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <numeric>

#include "package/compress.h"
#include "package/entry.h"
#include "package_image.h"
#include "support/host_fixture.h"

namespace {

using namespace package;
using namespace package_test;

class FormatTest : public HostTest {};

void SetField(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value) {
    std::memcpy(image.data() + offset, &value, 4);
}

TEST(PaddedSize, RoundsUpToSixteen) {
    EXPECT_EQ(PaddedSize(0), 0u);
    EXPECT_EQ(PaddedSize(1), 16u);
    EXPECT_EQ(PaddedSize(16), 16u);
    EXPECT_EQ(PaddedSize(17), 32u);
}

TEST_F(FormatTest, LoadsHeaderAndRecordsInOrder) {
    const auto image = RawImage({PlainEntry("A.TXT", "alpha"), PlainEntry("B.TXT", "beta")});
    LoadFailure failure = LoadFailure::NoMemory;
    const PackageDirectory directory = LoadPackageDirectory(image, &failure);
    ASSERT_TRUE(directory.block);
    EXPECT_EQ(failure, LoadFailure::None);
    EXPECT_EQ(directory.block.size(), 16u + 2 * 280u);
    EXPECT_EQ(0, std::memcmp(directory.block.data(), image.data(), 16));
    ASSERT_EQ(directory.entries().size(), 2u);
    EXPECT_STREQ(directory.entries()[1].name, "B.TXT");
    EXPECT_EQ(directory.header().directoryOffset, 48u);
}

TEST_F(FormatTest, EmptyPackageInBothDirectoryForms) {
    EXPECT_EQ(LoadPackageDirectory(RawImage({})).block.size(), 16u);
    // A compressed directory of no records is the lone end marker.
    auto image = RawImage({});
    image.insert(image.end(), {0x00, 0x00, 0x00, 0x7C, 0xFF});
    SetField(image, 4, DirectoryCompressed);
    const PackageDirectory directory = LoadPackageDirectory(image);
    ASSERT_TRUE(directory.block);
    EXPECT_TRUE(directory.entries().empty());
}

// Only bit 0 of the header's flags means "compressed"; the magic is never
// tested.
TEST_F(FormatTest, HeaderFlagsAndMagicAsTheUpdaterReadsThem) {
    struct Case { std::uint32_t flags; std::uint32_t magic; };
    for (const Case c : {Case{1, PackageMagic}, Case{3, PackageMagic}, Case{0xFFFFFFFF, PackageMagic},
                         Case{0, PackageMagic}, Case{2, PackageMagic}, Case{0, 0x12345678},
                         Case{1, 0}}) {
        const auto image = RawImage({PlainEntry("X", "content")}, 0, c.magic);
        auto stored = RawImage({PlainEntry("X", "content")}, c.flags & 1, c.magic);
        SetField(stored, 4, c.flags);
        const PackageDirectory directory = LoadPackageDirectory(stored);
        ASSERT_TRUE(directory.block) << c.flags;
        ASSERT_EQ(directory.entries().size(), 1u);
        EXPECT_EQ(0, std::memcmp(directory.entries().data(), image.data() + 32, 280)) << c.flags;
        EXPECT_EQ(directory.header().magic, c.magic);
    }
}

TEST_F(FormatTest, EntriesOfSizeZeroAndAtTheDataAreaEndAreAccepted) {
    RawEntry full{"FULL", std::vector<std::uint8_t>(17, 'x'), 17};
    const auto image = RawImage({PlainEntry("EMPTY", ""), full, PlainEntry("LAST", "")});
    EXPECT_TRUE(LoadPackageDirectory(image).block);
}

struct Refusal {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    LoadFailure expected;
};

TEST_F(FormatTest, RefusesEveryBrokenBound) {
    const std::vector<RawEntry> entries = {PlainEntry("A.TXT", "alpha"),
                                           PlainEntry("B.TXT", "beta")};
    const std::vector<Refusal> refusals = {
        {"shorter than the header", [](auto& i) { i.resize(15); }, LoadFailure::TooSmall},
        {"directory inside the header", [](auto& i) { SetField(i, 8, 15); },
         LoadFailure::DirectoryOutside},
        {"directory past the end", [](auto& i) { SetField(i, 8, std::uint32_t(i.size() + 1)); },
         LoadFailure::DirectoryOutside},
        {"one record more than the file holds", [](auto& i) { SetField(i, 12, 3); },
         LoadFailure::DirectoryTooLarge},
        {"a count whose records overflow 32 bits", [](auto& i) { SetField(i, 12, 0xFFFFFFFF); },
         LoadFailure::DirectoryTooLarge},
        {"a record's name filling its 260 bytes",
         [](auto& i) { std::memset(i.data() + 48, 'N', 260); }, LoadFailure::NameNotTerminated},
        {"stored data running into the directory",
         [](auto& i) { SetField(i, 48 + 280 + 276, 17); }, LoadFailure::DataOutside},
        {"a stored size that would wrap the offsets",
         [](auto& i) { SetField(i, 48 + 276, 0xFFFFFFF8); }, LoadFailure::DataOutside},
        {"a plain entry larger than its stored data",
         [](auto& i) { SetField(i, 48 + 272, 6); }, LoadFailure::PlainEntryTooLarge},
        {"a compressed entry beyond any expansion",
         [](auto& i) {
             i[48 + 260] = EntryCompressed;
             SetField(i, 48 + 272, 5 * 91 + 1);
         },
         LoadFailure::EntrySizeImpossible},
    };
    for (const Refusal& refusal : refusals) {
        auto image = RawImage(entries);
        refusal.damage(image);
        LoadFailure failure = LoadFailure::None;
        EXPECT_FALSE(LoadPackageDirectory(image, &failure).block) << refusal.what;
        EXPECT_EQ(failure, refusal.expected) << refusal.what;
    }
}

TEST_F(FormatTest, RefusesACompressedDirectoryOfTheWrongLength) {
    for (std::uint32_t claimed : {1u, 3u, 0u}) {
        auto image = RawImage({PlainEntry("A", "a"), PlainEntry("B", "b")}, DirectoryCompressed);
        SetField(image, 12, claimed);
        LoadFailure failure = LoadFailure::None;
        EXPECT_FALSE(LoadPackageDirectory(image, &failure).block) << claimed;
        EXPECT_EQ(failure, LoadFailure::DirectoryStreamDamaged) << claimed;
    }
    auto truncated = RawImage({PlainEntry("A", "a")}, DirectoryCompressed);
    truncated.pop_back();
    EXPECT_FALSE(LoadPackageDirectory(truncated).block);
}

TEST_F(FormatTest, AllocationFailureLeavesNothing) {
    const auto image = RawImage({PlainEntry("A", "a")});
    platform::HostPlanFault(platform::FaultKind::Allocate, 1);
    LoadFailure failure = LoadFailure::None;
    EXPECT_FALSE(LoadPackageDirectory(image, &failure).block);
    EXPECT_EQ(failure, LoadFailure::NoMemory);
}

TEST(ScrambleWords, FirstWordsFollowTheKeySchedule) {
    // L = 1000 has six one bits: rotation 19; the key starts rotated right by 8.
    std::vector<std::uint8_t> buffer(1000, 0);
    ScrambleWords(buffer);
    std::uint32_t first, second;
    std::memcpy(&first, buffer.data(), 4);
    std::memcpy(&second, buffer.data() + 4, 4);
    const std::uint32_t key = std::rotr(1000u ^ 0x7A3C19E5u, 8);
    EXPECT_EQ(first, key);
    EXPECT_EQ(second, std::rotl(key, 19));
    // Packages already made hold these words. L = 100 (three one bits:
    // rotation 11; the key rotated right by 4) pins the schedule where
    // L = 1000 would let a key rotated by L mod 31 pass too.
    std::vector<std::uint8_t> shorter(100, 0);
    ScrambleWords(shorter);
    std::memcpy(&first, shorter.data(), 4);
    std::memcpy(&second, shorter.data() + 4, 4);
    EXPECT_EQ(first, 0x17A3C198u);
    EXPECT_EQ(second, 0x1E0CC0BDu);
}

TEST(ScrambleWords, LeavesTheTailAndTinyBuffersAlone) {
    for (std::size_t length = 0; length < 8; ++length) {
        std::vector<std::uint8_t> buffer(length, 0xAB);
        ScrambleWords(buffer);
        for (std::size_t i = 0; i < length; ++i)
            EXPECT_EQ(buffer[i] == 0xAB, i >= length / 4 * 4) << length << " " << i;
    }
}

TEST(ScrambleWords, IsItsOwnInverseAndWorksPieceByPiece) {
    for (std::size_t length : {4u, 9u, 1000u, 4099u}) {
        std::vector<std::uint8_t> original(length);
        std::iota(original.begin(), original.end(), std::uint8_t{7});
        auto whole = original;
        ScrambleWords(whole);
        EXPECT_NE(whole, original);
        auto pieces = original;
        ScrambleKey key = StartScramble(static_cast<std::uint32_t>(length));
        for (std::size_t at = 0; at < length; at += 8)
            ContinueScramble(key, std::span(pieces).subspan(at, std::min<std::size_t>(8, length - at)));
        EXPECT_EQ(pieces, whole) << length;
        ScrambleWords(whole);
        EXPECT_EQ(whole, original) << length;
    }
}

}  // namespace
