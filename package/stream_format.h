// The compressed stream's codes and reach, shared by the decoder
// (expand.cpp) and the encoder (compress.cpp, match_finder.h).
//
// A literal is the code bit 1 and its byte. A match begins with a 0. A short
// match (0 1) copies 2 bytes: 0 1 0 and a byte reach 1 to 256 bytes back,
// 0 1 1, a byte and 3 bits 257 to 2303. A long match (0 0) names an offset
// class by the zeros before a 1 (the farthest class has no 1), then a byte
// and the class's extra bits, then a length code. A match copies from
// offset + 1 bytes back.
#pragma once

#include <cstddef>

namespace package {

inline constexpr std::size_t WindowSize = 8192;       // farthest a long match reaches
inline constexpr std::size_t ShortMatchReach = 2303;  // farthest a 2-byte match reaches
inline constexpr std::size_t NearShortReach = 256;    // farthest with a byte alone
inline constexpr std::size_t MinLongMatch = 3;
inline constexpr std::size_t MaxMatchLength = 282;
// The far short match's last offset code ends the stream instead.
inline constexpr std::size_t EndMarkerOffset = ShortMatchReach;

// Offset classes of a long match, nearest first: class c is coded by c zeros
// after the leading 0 0 and a 1, the farthest by four zeros alone.
struct LongOffsetClass {
    std::size_t base;  // smallest offset of the class
    int extraBits;     // after the byte: offset = base + (byte << extraBits) + bits
};
inline constexpr int LongOffsetClassCount = 5;
inline constexpr LongOffsetClass LongOffsetClasses[LongOffsetClassCount] = {
    {0, 1}, {512, 1}, {1024, 2}, {2048, 3}, {4096, 4},
};
constexpr bool HasStopBit(int offsetClass) { return offsetClass < LongOffsetClassCount - 1; }

// Length codes of a long match: code c is c zeros, a 1 and the extra bits
// (length = base + bits); the last is five zeros and a byte (base + byte).
struct LengthCode {
    std::size_t base;
    int extraBits;
};
inline constexpr int LengthCodeCount = 6;
inline constexpr int ByteLengthCode = LengthCodeCount - 1;
inline constexpr LengthCode LengthCodes[LengthCodeCount] = {
    {3, 0}, {4, 0}, {5, 1}, {7, 2}, {11, 4}, {27, 8},
};

static_assert(LongOffsetClasses[LongOffsetClassCount - 1].base +
                  (std::size_t{256} << LongOffsetClasses[LongOffsetClassCount - 1].extraBits) ==
              WindowSize);
static_assert(LengthCodes[ByteLengthCode].base + 255 == MaxMatchLength);
static_assert(NearShortReach + 8 * 256 - 1 == ShortMatchReach);

}  // namespace package
