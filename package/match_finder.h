// Finds earlier occurrences of the bytes at a position within the stream
// format's reach.
//
// HashChainFinder serves the greedy and lazy levels and the exhaustive
// reference parse: hash chains over 3-byte prefixes, and the last occurrence
// of each byte pair for 2-byte matches.
//
// TreeFinder serves the optimal parse: the positions of the window sharing
// their first four bytes (by a hash of them) form a binary search tree
// ordered by the bytes that follow, the newest at the root. One descent both
// inserts a position and meets, for every length from four on, the nearest
// earlier position matching that long. The last occurrence of each 3-byte
// prefix and of each byte pair give the nearest shorter matches: a tree
// filed by three bytes walked many nodes to find what one lookup does.
//
// Both store positions as 32-bit values and rebase them now and then, so the
// tables stay small for any input size; they are sized by the input, so a
// small file does not pay for clearing tables meant for a large one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "package/stream_format.h"

namespace package {

struct Match {
    std::size_t distance;
    std::size_t length;
};

// Candidates with strictly increasing lengths, each at the smallest distance
// found for its length.
struct MatchList {
    std::array<Match, MaxMatchLength + 1> items;
    std::size_t count = 0;
    const Match* begin() const { return items.data(); }
    const Match* end() const { return items.data() + count; }
    std::size_t LongestLength() const { return count == 0 ? 0 : items[count - 1].length; }
};

// Positions stored as `position - base`, 0 meaning none. The base keeps the
// newest position at WindowSize + 1 or more, so that none lies farther back
// than any window; once the newest would pass `rebaseAt`, the base moves up.
class PositionStore {
public:
    static constexpr std::uint32_t DefaultRebaseAt = 1u << 31;
    static constexpr std::uint32_t None = 0;

    explicit PositionStore(std::uint32_t rebaseAt) : rebaseAt_(rebaseAt) {}

    std::uint32_t Stored(std::size_t position) const { return static_cast<std::uint32_t>(position - base_); }
    // Distance between two stored values, the first the newer.
    static std::uint32_t Distance(std::uint32_t newer, std::uint32_t older) { return newer - older; }
    std::size_t Distance(std::size_t position, std::uint32_t stored) const {
        return Distance(Stored(position), stored);
    }
    // Moves the base when `position` would store past the limit; returns
    // the amount every stored value must drop by (values older than the
    // window become None), or 0.
    std::uint32_t RebaseFor(std::size_t position);
    // Applies a rebase of `shift` to `table`.
    static void Shift(std::vector<std::uint32_t>& table, std::uint32_t shift);

private:
    std::uint32_t rebaseAt_;
    std::size_t base_ = static_cast<std::size_t>(0) - (WindowSize + 1);
};

class HashChainFinder {
public:
    // `exactPairs`: a slot for every byte pair, so the nearest 2-byte match
    // is never lost to another pair sharing its slot.
    explicit HashChainFinder(std::span<const std::uint8_t> input, bool exactPairs = false,
                             std::uint32_t rebaseAt = PositionStore::DefaultRebaseAt);

    // Positions must be inserted in increasing order, each once, and a
    // position is searched before it is inserted.
    void Insert(std::size_t position);
    void Find(std::size_t position, std::size_t maxLength, int chainDepth, MatchList& found) const;

private:
    static constexpr std::size_t ChainSize = 2 * WindowSize;  // never overwritten within reach

    std::size_t Hash3(std::size_t position) const;
    std::size_t PairSlot(std::size_t position) const;

    std::span<const std::uint8_t> input_;
    PositionStore store_;
    int hashShift_;
    int pairShift_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> chain_;
    std::vector<std::uint32_t> lastPair_;
};

class TreeFinder {
public:
    explicit TreeFinder(std::span<const std::uint8_t> input,
                        std::uint32_t rebaseAt = PositionStore::DefaultRebaseAt);

    // Every position is passed to exactly one of these, in increasing order.
    // `depth` bounds the tree nodes visited. Matches reach at most the end
    // of the input or MaxMatchLength.
    void FindAndInsert(std::size_t position, int depth, MatchList& found);
    // Inserting stops at the first node sharing `sameLength` bytes, which
    // the new one replaces: a position inside a long match meets its source
    // early. The tree is then ordered by fewer bytes there, which can only
    // cost later searches a match, never report a false one.
    void Insert(std::size_t position, int depth, std::size_t sameLength = MaxMatchLength);
    // Leaves the position out of the tree.
    void Pass(std::size_t position);

private:
    // A node per position in reach, by the position's low bits; the
    // farthest window position shares the newest one's node, so the tree
    // reaches one short of the window.
    static constexpr std::size_t TreeSlots = WindowSize;
    static constexpr std::uint32_t TreeReach = WindowSize - 1;
    // Children are the low 16 bits of their positions. A child link is
    // read at most two windows after it was written, so the distance those
    // bits give is exact; "no child" is written as a label half the label
    // range away from the writer, which stays out of reach until then.
    static constexpr std::uint16_t NoChild = 0x8000;

    template <bool Report>
    void Descend(std::size_t position, int depth, std::size_t sameLength, MatchList* found);
    // A position's slots in the pair, triple and root tables; those it has
    // too few bytes left for are 0.
    struct Slots {
        std::size_t pair, triple, root;
    };
    Slots SlotsAt(std::size_t position) const;

    std::span<const std::uint8_t> input_;
    PositionStore store_;
    int rootShift_;
    int tripleShift_;
    std::uint32_t pairMultiplier_;
    std::vector<std::uint32_t> roots_;
    std::vector<std::uint32_t> lastTriple_;  // twice the slots of the others: fewer prefixes share one
    std::vector<std::uint32_t> lastPair_;
    std::vector<std::uint16_t> children_;  // per slot: earlier suffixes below, then above
    std::size_t slotMask_;
    std::size_t next_ = 0;                 // the position expected next
    Slots nextSlots_{};                    // worked out by the descent before
    std::size_t nextSlotsFor_ = SIZE_MAX;  // the position they belong to
};

}  // namespace package
