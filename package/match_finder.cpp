#include "package/match_finder.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace package {
namespace {

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

}  // namespace

MatchFinder::MatchFinder(std::span<const std::uint8_t> input)
    : input_(input),
      head_(std::size_t{1} << HashBits, NoPosition),
      chain_(ChainSize, NoPosition),
      lastPair_(std::size_t{1} << 16, NoPosition) {
    static_assert(std::endian::native == std::endian::little, "CommonLength assumes little-endian loads");
}

std::size_t MatchFinder::Hash3(std::size_t position) const {
    std::uint32_t v = static_cast<std::uint32_t>(input_[position]) << 16 |
                      static_cast<std::uint32_t>(input_[position + 1]) << 8 | input_[position + 2];
    return (v * 2654435761u) >> (32 - HashBits);
}

std::size_t MatchFinder::Pair(std::size_t position) const {
    return static_cast<std::size_t>(input_[position]) << 8 | input_[position + 1];
}

void MatchFinder::Insert(std::size_t position) {
    if (position + 2 < input_.size()) {
        std::size_t& head = head_[Hash3(position)];
        chain_[position % ChainSize] = head;
        head = position;
    }
    if (position + 1 < input_.size()) lastPair_[Pair(position)] = position;
}

void MatchFinder::Find(std::size_t position, std::size_t maxLength, int chainDepth,
                       MatchList& found) const {
    found.count = 0;
    if (maxLength < 2) return;
    std::size_t pairAt = lastPair_[Pair(position)];
    if (pairAt != NoPosition && position - pairAt <= ShortMatchReach) {
        found.items[found.count++] = {position - pairAt, 2};
    }
    if (maxLength < 3) return;
    const std::uint8_t* here = input_.data() + position;
    std::size_t best = 2;
    std::size_t candidate = head_[Hash3(position)];
    for (int tried = 0; candidate != NoPosition && tried < chainDepth; ++tried) {
        assert(candidate < position);
        std::size_t distance = position - candidate;
        if (distance > WindowSize) break;
        const std::uint8_t* there = input_.data() + candidate;
        if (there[best] == here[best]) {
            std::size_t length = CommonLength(here, there, maxLength);
            if (length > best) {
                best = length;
                found.items[found.count++] = {distance, length};
                if (length == maxLength) break;
            }
        }
        candidate = chain_[candidate % ChainSize];
    }
}

}  // namespace package
