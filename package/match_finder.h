// Finds earlier occurrences of the bytes at a position within the stream
// format's reach: hash chains over 3-byte prefixes for matches of 3 bytes or
// more, and the last occurrence of each byte pair for 2-byte matches.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace package {

inline constexpr std::size_t WindowSize = 8192;         // farthest long match
inline constexpr std::size_t ShortMatchReach = 2303;    // farthest 2-byte match
inline constexpr std::size_t MaxMatchLength = 282;

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

class MatchFinder {
public:
    explicit MatchFinder(std::span<const std::uint8_t> input);

    // Positions must be inserted in increasing order, each once, and a
    // position is searched before it is inserted.
    void Insert(std::size_t position);
    void Find(std::size_t position, std::size_t maxLength, int chainDepth, MatchList& found) const;

private:
    static constexpr std::size_t NoPosition = static_cast<std::size_t>(-1);
    static constexpr std::size_t ChainSize = 2 * WindowSize;  // never overwritten within reach
    static constexpr int HashBits = 16;

    std::size_t Hash3(std::size_t position) const;
    std::size_t Pair(std::size_t position) const;

    std::span<const std::uint8_t> input_;
    std::vector<std::size_t> head_;
    std::vector<std::size_t> chain_;
    std::vector<std::size_t> lastPair_;
};

}  // namespace package
