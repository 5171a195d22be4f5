// The encoder for ExpandBlock's stream format (publisher side).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace package {

inline constexpr int FastestLevel = 1;
inline constexpr int BestLevel = 9;
inline constexpr int DefaultLevel = BestLevel;

// Encodes `input` as one stream that ExpandBlock restores exactly. Levels
// FastestLevel..BestLevel; a level outside that range is clamped into it.
std::vector<std::uint8_t> CompressBlock(std::span<const std::uint8_t> input,
                                        int level = DefaultLevel);

// How a level searches. Each level has its settings; the benchmark also runs an
// exhaustive search to see how far the default level is from the best parse.
struct ParseSettings {
    enum class Method {
        Greedy,      // the longest match at each step
        Lazy,        // greedy, but a literal first when the next byte starts a longer match
        Optimal,     // shortest path over the match tree's candidates
        Exhaustive,  // shortest path over every match in reach at every length; slow
    };
    Method method;
    int depth;               // hash chain links or tree nodes visited per position
    std::size_t niceLength;  // a match this long is taken without a search behind it
};

ParseSettings ExhaustiveSettings();
std::vector<std::uint8_t> CompressBlockWith(std::span<const std::uint8_t> input,
                                            const ParseSettings& settings);

}  // namespace package
