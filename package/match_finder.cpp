#include "package/match_finder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace package {
namespace {

// Bytes are compared eight at a time, and a tree node's two child links
// loaded as one word, in little-endian order.
static_assert(std::endian::native == std::endian::little);

std::size_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
    std::size_t length = 0;
    while (length + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) {
            // Little-endian loads: the first differing byte is the lowest.
            return length + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// `a` when `first`, else `b`, without a branch: for choices that go either
// way as often, where a mispredicted branch costs more than both values.
std::size_t Choose(bool first, std::size_t a, std::size_t b) {
    const std::size_t mask = 0 - static_cast<std::size_t>(first);
    return (a & mask) | (b & ~mask);
}

// Knuth's multiplicative hash: about 2^32 divided by the golden ratio.
constexpr std::uint32_t HashMultiplier = 2654435761u;

// Table bits for an input: about one slot per byte, within [10, 16].
int TableBits(std::size_t inputSize) {
    return std::clamp(static_cast<int>(std::bit_width(inputSize)), 10, 16);
}

std::uint32_t PairKey(const std::uint8_t* at) { return static_cast<std::uint32_t>(at[0]) << 8 | at[1]; }

// A whole 16-bit table takes the pair itself; a smaller one a hash of it.
std::uint32_t PairMultiplier(int bits) { return bits == 16 ? 1u << 16 : HashMultiplier; }

}  // namespace

std::uint32_t PositionStore::RebaseFor(std::size_t position) {
    if (position - base_ < rebaseAt_) return 0;
    // The newest position in reach then stores as WindowSize + 1.
    std::size_t newBase = position - WindowSize - 1;
    auto shift = static_cast<std::uint32_t>(newBase - base_);
    base_ = newBase;
    return shift;
}

void PositionStore::Shift(std::vector<std::uint32_t>& table, std::uint32_t shift) {
    for (std::uint32_t& v : table) v = v > shift ? v - shift : None;
}

HashChainFinder::HashChainFinder(std::span<const std::uint8_t> input, bool exactPairs,
                                 std::uint32_t rebaseAt)
    : input_(input),
      store_(rebaseAt),
      hashShift_(32 - TableBits(input.size())),
      pairShift_(exactPairs ? 16 : hashShift_),
      head_(std::size_t{1} << TableBits(input.size()), PositionStore::None),
      chain_(std::min(std::bit_ceil(input.size()), ChainSize), PositionStore::None),
      lastPair_(std::size_t{1} << (32 - pairShift_), PositionStore::None) {
    assert(rebaseAt > 2 * WindowSize);
}

std::size_t HashChainFinder::Hash3(std::size_t position) const {
    std::uint32_t v = static_cast<std::uint32_t>(input_[position]) << 16 |
                      static_cast<std::uint32_t>(input_[position + 1]) << 8 | input_[position + 2];
    return (v * HashMultiplier) >> hashShift_;
}

std::size_t HashChainFinder::PairSlot(std::size_t position) const {
    return (PairKey(&input_[position]) * PairMultiplier(32 - pairShift_)) >> pairShift_;
}

void HashChainFinder::Insert(std::size_t position) {
    if (std::uint32_t shift = store_.RebaseFor(position)) {
        PositionStore::Shift(head_, shift);
        PositionStore::Shift(chain_, shift);
        PositionStore::Shift(lastPair_, shift);
    }
    std::uint32_t stored = store_.Stored(position);
    if (position + 2 < input_.size()) {
        std::uint32_t& head = head_[Hash3(position)];
        chain_[position & (chain_.size() - 1)] = head;
        head = stored;
    }
    if (position + 1 < input_.size()) lastPair_[PairSlot(position)] = stored;
}

void HashChainFinder::Find(std::size_t position, std::size_t maxLength, int chainDepth,
                           MatchList& found) const {
    found.count = 0;
    if (maxLength < 2) return;
    const std::uint8_t* here = input_.data() + position;
    std::size_t pairDistance = store_.Distance(position, lastPair_[PairSlot(position)]);
    // A smaller table shares slots between pairs: the bytes decide.
    if (pairDistance <= ShortMatchReach && PairKey(here - pairDistance) == PairKey(here)) {
        found.items[found.count++] = {pairDistance, 2};
    }
    if (maxLength < 3) return;
    std::size_t best = 2;
    std::uint32_t candidate = head_[Hash3(position)];
    for (int tried = 0; tried < chainDepth; ++tried) {
        std::size_t distance = store_.Distance(position, candidate);
        if (distance > WindowSize) break;
        assert(distance > 0 && distance <= position);
        const std::uint8_t* there = here - distance;
        if (there[best] == here[best]) {
            std::size_t length = CommonLength(here, there, maxLength);
            if (length > best) {
                best = length;
                found.items[found.count++] = {distance, length};
                if (length == maxLength) break;
            }
        }
        candidate = chain_[(position - distance) & (chain_.size() - 1)];
    }
}

TreeFinder::TreeFinder(std::span<const std::uint8_t> input, std::uint32_t rebaseAt)
    : input_(input),
      store_(rebaseAt),
      rootShift_(32 - TableBits(input.size())),
      tripleShift_(32 - TableBits(input.size()) - 1),
      pairMultiplier_(PairMultiplier(TableBits(input.size()))),
      roots_(std::size_t{1} << TableBits(input.size()), PositionStore::None),
      lastTriple_(roots_.size() * 2, PositionStore::None),
      lastPair_(roots_.size(), PositionStore::None),
      children_(2 * std::min(std::bit_ceil(input.size()), TreeSlots)),
      slotMask_(children_.size() / 2 - 1) {
    assert(rebaseAt > 2 * WindowSize);
}

TreeFinder::Slots TreeFinder::SlotsAt(std::size_t position) const {
    const std::uint8_t* at = &input_[position];
    const std::size_t left = input_.size() - position;
    Slots slots{(PairKey(at) * pairMultiplier_) >> rootShift_, 0, 0};
    if (left >= 3) slots.triple = ((PairKey(at) << 8 | at[2]) * HashMultiplier) >> tripleShift_;
    if (left >= 4) {
        std::uint32_t v;
        std::memcpy(&v, at, 4);
        slots.root = (v * HashMultiplier) >> rootShift_;
    }
    return slots;
}

void TreeFinder::FindAndInsert(std::size_t position, int depth, MatchList& found) {
    Descend<true>(position, depth, MaxMatchLength, &found);
}

void TreeFinder::Insert(std::size_t position, int depth, std::size_t sameLength) {
    Descend<false>(position, depth, sameLength, nullptr);
}

void TreeFinder::Pass(std::size_t position) {
    assert(position == next_);
    next_ = position + 1;
}

template <bool Report>
void TreeFinder::Descend(std::size_t position, int depth, std::size_t sameLength, MatchList* found) {
    assert(position == next_);
    if constexpr (Report) found->count = 0;
    next_ = position + 1;

    const std::size_t limit = std::min(sameLength, input_.size() - position);
    if (limit < 2) return;  // the last byte has no pair to file it under
    if (std::uint32_t shift = store_.RebaseFor(position)) {
        PositionStore::Shift(roots_, shift);
        PositionStore::Shift(lastTriple_, shift);
        PositionStore::Shift(lastPair_, shift);
    }
    const std::uint8_t* const cur = input_.data() + position;
    const std::uint32_t stored = store_.Stored(position);
    const Slots slots = nextSlotsFor_ == position ? nextSlots_ : SlotsAt(position);
    if (limit > 4) {
        // The next position's slots, worked out and fetched while this one descends.
        nextSlots_ = SlotsAt(position + 1);
        nextSlotsFor_ = position + 1;
        __builtin_prefetch(&lastPair_[nextSlots_.pair], 1);
        __builtin_prefetch(&lastTriple_[nextSlots_.triple], 1);
        __builtin_prefetch(&roots_[nextSlots_.root], 1);
    }
    std::uint32_t& pairAt = lastPair_[slots.pair];
    if constexpr (Report) {
        std::uint32_t distance = PositionStore::Distance(stored, pairAt);
        // A smaller table shares slots between pairs: the bytes decide.
        if (distance <= ShortMatchReach && PairKey(cur - distance) == PairKey(cur)) {
            found->items[found->count++] = {distance, 2};
        }
    }
    pairAt = stored;
    if (limit < 3) return;
    std::size_t best = 2;  // the longest match reported
    std::uint32_t& tripleAt = lastTriple_[slots.triple];
    if constexpr (Report) {
        // The nearest 3-byte match is the nearest for every length it
        // reaches; the tree, filed by four bytes, goes on from there.
        const std::uint32_t distance = PositionStore::Distance(stored, tripleAt);
        if (distance <= WindowSize && std::memcmp(cur - distance, cur, 3) == 0) {
            best = CommonLength(cur, cur - distance, limit);
            found->items[found->count++] = {distance, best};
        }
    }
    tripleAt = stored;
    if (limit < 4) return;
    std::uint32_t& root = roots_[slots.root];
    std::uint32_t distance = PositionStore::Distance(stored, root);
    root = stored;

    // The new position becomes the root: the walk splits the old tree into
    // the suffixes below it and those above, hooking each node it passes on
    // the side it belongs to. Every node on the path shares with the new
    // suffix at least the shorter of the two sides' common lengths. `below`
    // and `above` index, in `nodes`, the link each side hooks next.
    std::uint16_t* const nodes = children_.data();
    const std::size_t mask = slotMask_;
    const auto low = static_cast<std::uint16_t>(position);
    std::size_t below = 2 * (position & mask);
    std::size_t above = below + 1;
    std::size_t belowLength = 0, aboveLength = 0;
    Match* out = Report ? found->items.data() + found->count : nullptr;
    for (;;) {
        if (distance > TreeReach || --depth < 0) {
            nodes[below] = nodes[above] = static_cast<std::uint16_t>(low + NoChild);
            break;
        }
        assert(distance > 0 && distance <= position);
        const std::size_t pair = 2 * ((position - distance) & mask);
        // Both children in one load (the lower link in the low half), issued
        // before the comparison picks one.
        std::uint32_t children;
        std::memcpy(&children, nodes + pair, 4);
        const std::uint8_t* const there = cur - distance;
        std::size_t length = std::min(belowLength, aboveLength);
        bool thereBelow;
        if (length + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, cur + length, 8);
            std::memcpy(&y, there + length, 8);
            if (x != y) {
                // Byte-swapped, the words compare as the bytes do.
                thereBelow = __builtin_bswap64(y) < __builtin_bswap64(x);
                length += static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
            } else {
                length += 8 + CommonLength(cur + length + 8, there + length + 8, limit - length - 8);
                thereBelow = length < limit && there[length] < cur[length];
            }
        } else {
            length += CommonLength(cur + length, there + length, limit - length);
            thereBelow = length < limit && there[length] < cur[length];
        }
        if constexpr (Report) {
            if (length > best) {
                // Nodes on the path get older, so the first to reach a length
                // is the nearest for it. The bytes taken as common unseen are
                // checked: where Insert filed positions by fewer bytes, the
                // tree can be wrong about them.
                const std::size_t seen = std::min(belowLength, aboveLength);
                std::size_t verified = CommonLength(cur, there, seen);
                if (verified == seen) verified = length;
                if (verified > best) {
                    best = verified;
                    *out++ = {distance, verified};
                }
            }
        }
        if (length == limit) {
            // Equal as far as a match can reach: the new node takes its
            // place. Links handed on this way could age without end, so those
            // out of reach are cut here, keeping every link's age exact.
            auto fresh = [&](std::uint16_t child) {
                return static_cast<std::uint16_t>(low - child) > TreeReach ? static_cast<std::uint16_t>(low + NoChild)
                                                                           : child;
            };
            nodes[below] = fresh(static_cast<std::uint16_t>(children));
            nodes[above] = fresh(static_cast<std::uint16_t>(children >> 16));
            break;
        }
        // A node below the new suffix hooks on the lower side, and the walk
        // goes on to its upper child; one above, the other way round.
        nodes[Choose(thereBelow, below, above)] = static_cast<std::uint16_t>(position - distance);
        below = Choose(thereBelow, pair + 1, below);
        above = Choose(thereBelow, above, pair);
        belowLength = Choose(thereBelow, length, belowLength);
        aboveLength = Choose(thereBelow, aboveLength, length);
        distance = static_cast<std::uint16_t>(low - static_cast<std::uint16_t>(children >> (16 * thereBelow)));
    }
    if constexpr (Report) found->count = static_cast<std::size_t>(out - found->items.data());
}

}  // namespace package
