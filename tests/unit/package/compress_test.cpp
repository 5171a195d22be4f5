#include "package/compress.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "package/expand.h"
#include "package/match_finder.h"
#include "tests/support/reference_expand.h"

namespace package {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::size_t size) {
    static const char* words[] = {"update ", "package ", "entry ", "stream ", "the ", "game ",
                                  "folder ", "file ", "of ", "and ", "install\r\n", "data "};
    std::mt19937 random(3);
    std::string s;
    while (s.size() < size) s += words[random() % 12];
    return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes Random(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(random());
    return b;
}

// Text, runs, random stretches and repeats of earlier stretches at every distance.
Bytes Mixed(std::size_t size) {
    std::mt19937 random(11);
    Bytes b;
    while (b.size() < size) {
        switch (random() % 4) {
            case 0: { Bytes t = Text(random() % 3000); b.insert(b.end(), t.begin(), t.end()); break; }
            case 1: b.insert(b.end(), random() % 600, static_cast<std::uint8_t>(random())); break;
            case 2: { Bytes r = Random(random() % 2000, random()); b.insert(b.end(), r.begin(), r.end()); break; }
            default:
                if (b.size() > 10) {
                    std::size_t distance = 1 + random() % std::min<std::size_t>(b.size(), 9000);
                    std::size_t length = random() % 400;
                    for (std::size_t i = 0; i < length; ++i) b.push_back(b[b.size() - distance]);
                }
        }
    }
    b.resize(size);
    return b;
}

Bytes RoundTrip(const Bytes& input, int level, reference::TokenCensus* census = nullptr) {
    Bytes stream = CompressBlock(input, level);
    Bytes fast(input.size()), slow(input.size());
    ExpandResult a = ExpandBlock(fast, stream);
    ExpandResult b = reference::ReferenceExpand(slow, stream, census);
    EXPECT_EQ(a.status, ExpandStatus::Ok);
    EXPECT_EQ(b.status, ExpandStatus::Ok);
    EXPECT_EQ(a.inputOffset, stream.size());
    EXPECT_EQ(fast, input);
    EXPECT_EQ(slow, input);
    return stream;
}

TEST(CompressBlock, EmptyInputIsTheEndMarkerAlone) {
    EXPECT_EQ(CompressBlock({}), (Bytes{0x00, 0x00, 0x00, 0x7C, 0xFF}));
}

TEST(CompressBlock, RoundTripsAtEveryLevel) {
    const std::vector<Bytes> inputs = {
        {},           {'x'},          {'a', 'b'},        Bytes(1000, 0),   Bytes(70000, 'z'),
        Text(5000),   Random(3000, 1), Mixed(100000),    Mixed(200000),
    };
    for (int level = FastestLevel; level <= BestLevel; ++level) {
        for (const Bytes& input : inputs) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", size " << input.size());
            RoundTrip(input, level);
        }
    }
}

TEST(CompressBlock, HigherLevelsCompressBetter) {
    Bytes input = Mixed(100000);
    std::size_t greedy = CompressBlock(input, 1).size();
    std::size_t best = CompressBlock(input, BestLevel).size();
    std::size_t exhaustive = CompressBlockWith(input, ExhaustiveSettings()).size();
    EXPECT_LT(best, greedy);
    EXPECT_LE(exhaustive, best);
    EXPECT_LE(best, exhaustive + exhaustive / 200);  // the default level stays within 0.5%
    EXPECT_LT(best, input.size() / 2);
}

// A block's last bytes may match past the block; the parse must not take
// those lengths (it once wrote beyond its arrays there).
TEST(CompressBlock, MatchesAcrossBlockEndsRoundTrip) {
    for (std::size_t size : {65537u, 65538u, 65539u, 131075u}) {
        Bytes input = Text(size);
        for (int level : {4, BestLevel}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", size " << size);
            RoundTrip(input, level);
        }
    }
}

// Mostly zeros with a few small values: long matches everywhere, so the
// parse files many positions in the tree by their first bytes only, and
// nodes replace equal ones over and over. The tree then misjudges what a
// node shares with the searched bytes, which must never become a match.
TEST(CompressBlock, SparseDataRoundTripsAtTheOptimalLevels) {
    std::mt19937 random(5);
    Bytes input;
    for (int i = 0; i < 300000; ++i) input.push_back(static_cast<std::uint8_t>(random() % 8 ? 0 : random() % 3));
    for (int level = 4; level <= BestLevel; ++level) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        RoundTrip(input, level);
    }
}

// The nearest earlier position matching at least `length` bytes, by brute force.
std::size_t NearestMatch(const Bytes& input, std::size_t position, std::size_t length) {
    for (std::size_t distance = 1; distance <= std::min(position, WindowSize - 1); ++distance) {
        std::size_t same = 0;
        while (same < length && position + same < input.size() &&
               input[position + same] == input[position + same - distance]) {
            ++same;
        }
        if (same == length) return distance;
    }
    return 0;
}

TEST(TreeFinder, ReportsTheNearestMatchOfEveryLength) {
    Bytes input = Mixed(5000);
    TreeFinder finder(input);
    MatchList found;
    for (std::size_t position = 0; position < input.size(); ++position) {
        finder.FindAndInsert(position, 1 << 20, found);
        std::size_t reach = std::min(MaxMatchLength, input.size() - position);
        std::size_t length = 2;
        for (const Match& m : found) {
            ASSERT_TRUE(std::equal(&input[position], &input[position] + m.length, &input[position - m.distance]))
                << "position " << position;
            for (; length <= m.length; ++length) {
                // A slot shared with other prefixes may hide the nearest
                // pair or 3-byte match; from four bytes on none is hidden.
                const std::size_t nearest = NearestMatch(input, position, length);
                if (length < 4) {
                    ASSERT_GE(m.distance, nearest) << "position " << position << ", length " << length;
                } else {
                    ASSERT_EQ(m.distance, nearest) << "position " << position << ", length " << length;
                }
            }
        }
        if (length <= reach) {
            ASSERT_EQ(NearestMatch(input, position, std::max<std::size_t>(length, 4)), 0u) << "position " << position;
        }
    }
}

// Positions kept as 32-bit values are rebased now and then; moving the base
// must not change a single match.
TEST(MatchFinders, RebasingChangesNoMatch) {
    Bytes input = Mixed(120000);
    TreeFinder tree(input), rebasedTree(input, 3 * WindowSize);
    HashChainFinder chain(input), rebasedChain(input, false, 3 * WindowSize);
    MatchList a, b;
    for (std::size_t position = 0; position < input.size(); ++position) {
        tree.FindAndInsert(position, 32, a);
        rebasedTree.FindAndInsert(position, 32, b);
        ASSERT_EQ(a.count, b.count) << "tree, position " << position;
        for (std::size_t i = 0; i < a.count; ++i) {
            ASSERT_EQ(a.items[i].distance, b.items[i].distance);
            ASSERT_EQ(a.items[i].length, b.items[i].length);
        }
        std::size_t maxLength = std::min(MaxMatchLength, input.size() - position);
        chain.Find(position, maxLength, 32, a);
        rebasedChain.Find(position, maxLength, 32, b);
        chain.Insert(position);
        rebasedChain.Insert(position);
        ASSERT_EQ(a.count, b.count) << "chain, position " << position;
        for (std::size_t i = 0; i < a.count; ++i) {
            ASSERT_EQ(a.items[i].distance, b.items[i].distance);
            ASSERT_EQ(a.items[i].length, b.items[i].length);
        }
    }
}

TEST(CompressBlock, RandomDataGrowsOnlyByTheLiteralBits) {
    Bytes input = Random(65536, 9);
    std::size_t size = CompressBlock(input).size();
    EXPECT_LE(size, input.size() + input.size() / 32 * 4 + 16);
}

// The encoder must be able to produce every code the format has: crafted
// data offers each short-match kind, each long offset class and each length
// code where it is the cheapest choice.
TEST(CompressBlock, UsesEveryTokenKind) {
    Bytes input = Random(9000, 5);
    auto repeat = [&](std::size_t distance, std::size_t length) {
        // Fresh random bytes around the repeat keep it from growing.
        for (std::size_t i = 0; i < length; ++i) input.push_back(input[input.size() - distance]);
        Bytes noise = Random(40, static_cast<unsigned>(input.size()));
        input.insert(input.end(), noise.begin(), noise.end());
    };
    for (std::size_t distance : {5u, 300u, 700u, 1500u, 3000u, 8000u}) {
        for (std::size_t length : {2u, 3u, 4u, 6u, 9u, 20u, 100u, 282u}) repeat(distance, length);
    }
    for (int level : {1, 3, BestLevel}) {
        reference::TokenCensus census;
        RoundTrip(input, level, &census);
        SCOPED_TRACE(testing::Message() << "level " << level);
        EXPECT_GT(census.literals, 0u);
        EXPECT_GT(census.shortNear, 0u);
        EXPECT_GT(census.shortFar, 0u);
        for (std::size_t count : census.longOffsetClass) EXPECT_GT(count, 0u);
        for (std::size_t count : census.lengthCode) EXPECT_GT(count, 0u);
    }
}

TEST(CompressBlock, LevelsOutsideTheRangeAreClamped) {
    Bytes input = Text(3000);
    EXPECT_EQ(CompressBlock(input, 0), CompressBlock(input, FastestLevel));
    EXPECT_EQ(CompressBlock(input, 42), CompressBlock(input, BestLevel));
}

}  // namespace
}  // namespace package
