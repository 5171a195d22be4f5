// The encoder for ExpandBlock's stream format (publisher side).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace package {

inline constexpr int FastestLevel = 1;
inline constexpr int BestLevel = 9;
inline constexpr int DefaultLevel = BestLevel;

// Encodes `input` as one stream that ExpandBlock restores exactly.
std::vector<std::uint8_t> CompressBlock(std::span<const std::uint8_t> input,
                                        int level = DefaultLevel);

}  // namespace package
