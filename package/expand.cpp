#include "package/expand.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>

// EXPAND_PORTABLE_ONLY leaves out the build of the fast loop for newer
// processors, so that tests on one of them can reach the portable one.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(EXPAND_PORTABLE_ONLY)
#include <cpuid.h>
#include <tmmintrin.h>
#define EXPAND_HAS_NEWER_INSTRUCTION_BUILD 1
#endif

namespace package {
namespace {

// No token has more than 19 code bits, so it reads at most one new control
// word besides its two data bytes.
constexpr std::size_t MaxTokenInput = 4 + 2;
// Input that CheckedToken needs: a control word it may read first, then a token.
constexpr std::size_t CheckedTokenInput = 4 + MaxTokenInput;
// CopyMatch may write this many bytes past a match.
constexpr std::size_t MatchCopyOvershoot = 30;

// The fast loop decodes a literal run and the match after it per round
// without checking either end. A round reads at most one control word, a
// literal run of at most 32 bytes (the untaken bits of one word) copied as
// one 32-byte block, the next control word and two data bytes. It writes
// the literal block, then a match of at most 282 bytes plus the overshoot
// of its chunked copy.
constexpr std::size_t FastInputMargin = BlockExpander::MinInput;
constexpr std::size_t FastOutputMargin = BlockExpander::MinRoom;
static_assert(FastInputMargin >= 4 + 32 + MaxTokenInput);
static_assert(FastOutputMargin >= 32 + MaxMatchLength + MatchCopyOvershoot);

// Code tables, indexed by the next 10 code bits of a match (the
// first is the 0 that tells a match from a literal) and by the 9 bits
// after its offset code.
struct MatchLookup {
    std::uint8_t bits = 0;        // code and offset bits
    std::uint8_t codeBits = 0;    // of them, the ones before the data byte
    std::uint8_t byteShift = 0;   // offset = base + (data byte << byteShift)
    bool isShort = false;         // length 2, no length code follows
    std::uint8_t lengthBitsMask = 0;  // 0 when isShort, else all ones
    std::uint16_t base = 0;
};
struct LengthLookup {
    std::uint8_t bits = 0;
    std::uint16_t length = 0;     // 0: a data byte follows, length 27 + byte
};

constexpr int MatchIndexBits = 10;
constexpr int LengthIndexBits = 9;

constexpr std::array<MatchLookup, 1 << MatchIndexBits> MatchLookups = [] {
    std::array<MatchLookup, 1 << MatchIndexBits> table{};
    auto fill = [&](unsigned prefix, int prefixBits, int extraBits, bool isShort, std::size_t base) {
        const int bits = prefixBits + extraBits;
        for (unsigned t = 0; t < (1u << extraBits); ++t) {
            const unsigned start = ((prefix << extraBits) | t) << (MatchIndexBits - bits);
            for (unsigned rest = 0; rest < (1u << (MatchIndexBits - bits)); ++rest) {
                table[start | rest] = {static_cast<std::uint8_t>(bits),
                                       static_cast<std::uint8_t>(prefixBits),
                                       static_cast<std::uint8_t>(extraBits), isShort,
                                       static_cast<std::uint8_t>(isShort ? 0 : 0xFF),
                                       static_cast<std::uint16_t>(base + t)};
            }
        }
    };
    fill(0b010, 3, 0, true, 0);
    fill(0b011, 3, 3, true, NearShortReach);
    for (int c = 0; c < LongOffsetClassCount; ++c) {
        // 0 0, then c zeros and a 1; the farthest class ends on its zeros.
        const bool stop = HasStopBit(c);
        fill(stop ? 1u : 0u, 2 + c + (stop ? 1 : 0), LongOffsetClasses[c].extraBits, false,
             LongOffsetClasses[c].base);
    }
    return table;
}();

constexpr std::array<LengthLookup, 1 << LengthIndexBits> LengthLookups = [] {
    std::array<LengthLookup, 1 << LengthIndexBits> table{};
    for (unsigned index = 0; index < table.size(); ++index) {
        int zeros = 0;
        while (zeros < ByteLengthCode && !((index >> (LengthIndexBits - 1 - zeros)) & 1)) ++zeros;
        if (zeros == ByteLengthCode) {
            table[index] = {ByteLengthCode, 0};
            continue;
        }
        const LengthCode& code = LengthCodes[zeros];
        const int bits = zeros + 1 + code.extraBits;
        const unsigned extra = (index >> (LengthIndexBits - bits)) & ((1u << code.extraBits) - 1);
        table[index] = {static_cast<std::uint8_t>(bits), static_cast<std::uint16_t>(code.base + extra)};
    }
    return table;
}();

// Whole matches, indexed by the next TokenIndexBits code bits: most
// matches are decoded by this one lookup. A token whose code bits do not
// fit the index has `bits` TokenInSteps and goes through the two tables
// above.
constexpr int TokenIndexBits = 13;
constexpr unsigned TokenInSteps = 63;
// Each field sits in a byte or a half-word of its own, so that the fast
// loop gets it with one load and at most one mask or shift.
struct Token {
    std::uint8_t bits;             // all code bits, or TokenInSteps
    std::uint8_t count : 5;        // 0: a data byte follows, length 27 + byte
    std::uint8_t codeBits : 3;     // the code bits before the data byte, in every entry
    std::uint16_t base : 13;
    std::uint16_t byteShift : 3;
};
static_assert(sizeof(Token) == 4);

// Filled on first use rather than at compile time: its 32 KiB would
// otherwise be stored in the updater's executable.
class TokenTable {
public:
    static const TokenTable& Get() {
        static const TokenTable table;
        return table;
    }
    const Token& operator[](std::uint64_t index) const { return entries_[index]; }

private:
    TokenTable() {
        for (unsigned index = 0; index < entries_.size(); ++index) {
            const MatchLookup code = MatchLookups[index >> (TokenIndexBits - MatchIndexBits)];
            const unsigned afterCode = (index << code.bits) & ((1u << TokenIndexBits) - 1);
            const LengthLookup length = LengthLookups[afterCode >> (TokenIndexBits - LengthIndexBits)];
            const unsigned bits = code.bits + (code.isShort ? 0 : length.bits);
            if (bits > TokenIndexBits) {
                entries_[index].bits = TokenInSteps;
                entries_[index].codeBits = code.codeBits;
                continue;
            }
            entries_[index] = {static_cast<std::uint8_t>(bits),
                               static_cast<std::uint8_t>(code.isShort ? 2u : length.length),
                               code.codeBits, code.base, code.byteShift};
        }
    }
    std::array<Token, 1 << TokenIndexBits> entries_{};
};

std::uint64_t LoadWord(const std::uint8_t* at) {
    return static_cast<std::uint64_t>(at[0]) | static_cast<std::uint64_t>(at[1]) << 8 |
           static_cast<std::uint64_t>(at[2]) << 16 | static_cast<std::uint64_t>(at[3]) << 24;
}

void Copy16(std::uint8_t* to, const std::uint8_t* from) { std::memcpy(to, from, 16); }

#ifdef EXPAND_HAS_NEWER_INSTRUCTION_BUILD
// Byte shuffles for the first two 16-byte blocks of a match. Below a
// distance of 16, `first` repeats the period (the first `distance` bytes of
// the block that far back) and `second` continues it; `second` also turns
// any block of the repetition into the next. From 16 on (index 16) both
// leave the bytes as they are.
struct alignas(16) MatchShuffle {
    std::array<std::uint8_t, 16> first, second;
};
constexpr std::array<MatchShuffle, 17> MatchShuffles = [] {
    std::array<MatchShuffle, 17> table{};
    for (unsigned distance = 1; distance <= 16; ++distance) {
        for (unsigned i = 0; i < 16; ++i) {
            table[distance].first[i] = static_cast<std::uint8_t>(i % distance);
            table[distance].second[i] = static_cast<std::uint8_t>(distance == 16 ? i : (i + 16) % distance);
        }
    }
    return table;
}();

__m128i LoadBlock(const std::uint8_t* from) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)); }
void StoreBlock(std::uint8_t* to, __m128i block) { _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block); }

// The shuffle copies, for processors with SSSE3; inlined into the build of
// the fast loop for them.

// A match of up to 32 bytes, at any distance, without a branch on it: 32
// bytes are written.
[[gnu::target("ssse3")]] inline void CopyShortMatchByShuffle(std::uint8_t* out, std::size_t distance) {
    const std::uint8_t* from = out - distance;
    // 16 stands for every distance from 16 on.
    const std::size_t period = std::min<std::size_t>(distance, 16);
    const MatchShuffle& shuffle = MatchShuffles[period];
    StoreBlock(out, _mm_shuffle_epi8(LoadBlock(from), LoadBlock(shuffle.first.data())));
    // Under 16 the second block is shuffled from the same source block, from
    // 16 on it is the one 16 bytes later, read after the first is written
    // (for distances of 16 to 31).
    StoreBlock(out + 16, _mm_shuffle_epi8(LoadBlock(from + (period & 16)), LoadBlock(shuffle.second.data())));
}

// A match of any length at a distance of 1 to 15, in 16-byte blocks.
[[gnu::target("ssse3")]] inline void RepeatPeriodByShuffle(std::uint8_t* out, std::size_t distance,
                                                          std::size_t count) {
    const MatchShuffle& shuffle = MatchShuffles[distance];
    __m128i block = _mm_shuffle_epi8(LoadBlock(out - distance), LoadBlock(shuffle.first.data()));
    const __m128i next = LoadBlock(shuffle.second.data());
    StoreBlock(out, block);
    for (std::size_t i = 16; i < count; i += 16) {
        block = _mm_shuffle_epi8(block, next);
        StoreBlock(out + i, block);
    }
}

// LZCNT and BMI2 for the bit handling, SSSE3 for the byte shuffle.
bool HasNewerInstructions() {
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        const bool ssse3 = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_SSSE3);
        const bool lzcnt = __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) && (ecx & bit_LZCNT);
        const bool bmi2 = __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_BMI2);
        return ssse3 && lzcnt && bmi2;
    }();
    return has;
}
#endif

// One call's decoding: the stream's bit state comes in and goes back out.
struct Decoder {
    const std::uint8_t* const inEnd;
    const std::uint8_t* in;
    std::uint8_t* const outBegin;
    std::uint8_t* const outEnd;
    std::uint8_t* out;
    const bool outputIsLast;
    const bool inputIsLast;
    std::uint64_t bits;
    int bitCount;

    ExpandStatus EndOfStream() const {
        return outputIsLast && out == outEnd ? ExpandStatus::Ok : ExpandStatus::OutputShort;
    }

    // Once every bit of the last control word is taken; the caller has
    // made sure that the input holds the next.
    void TakeControlWord() {
        bits = LoadWord(in) << 32;
        in += 4;
        bitCount = 32;
    }

    // Literal runs and matches with neither end in reach; returns NeedsRoom
    // as "not finished" once a margin is used up. Inlined into each build
    // of it below; `byShuffle` as for CopyMatch.
    template <bool byShuffle>
    [[gnu::always_inline]] ExpandStatus Fast(const std::uint8_t* inFastEnd, std::uint8_t* outFastEnd) {
        const TokenTable& tokens = TokenTable::Get();
        while (in <= inFastEnd && out <= outFastEnd) {
            if (bitCount == 0) TakeControlWord();
            // A run of 1 bits is a run of literals; the zeros below the
            // untaken bits (never more than 32) stop the count at their end.
            // Copying a block whatever the run costs less than a branch on it.
            const int run = std::countl_one(bits);
            if (run > 32) __builtin_unreachable();  // lets the compiler lay the loop out tighter
            std::memcpy(out, in, 32);
            in += run;
            out += run;
            bits <<= run;
            bitCount -= run;
            if (bitCount == 0) continue;

            const Match match = TakeMatch(tokens);
            if (match.Ends()) [[unlikely]]
                return EndOfStream();
            if (match.offset >= static_cast<std::size_t>(out - outBegin)) [[unlikely]]
                return ExpandStatus::DistanceTooFar;
            CopyMatch<byShuffle>(match.offset + 1, match.count);
        }
        return ExpandStatus::NeedsRoom;
    }

    struct Match {
        std::size_t offset;
        std::size_t count;
        // Only a short match, of length 2, can be the end marker.
        bool Ends() const { return offset == EndMarkerOffset && count == 2; }
    };

    // Takes a match's code bits and data bytes; the input must hold a
    // whole token (MaxTokenInput bytes).
    [[gnu::always_inline]] Match TakeMatch(const TokenTable& tokens) {
        const Token token = tokens[bits >> (64 - TokenIndexBits)];
        std::size_t offset, count;
        if (static_cast<int>(token.bits) <= bitCount) [[likely]] {
            bits <<= token.bits;
            bitCount -= token.bits;
            offset = token.base + (static_cast<std::size_t>(*in++) << token.byteShift);
            count = token.count;
        } else {
            TakeSplitMatch(tokens, token, offset, count);
        }
        if (count == 0) count = LengthCodes[ByteLengthCode].base + static_cast<std::size_t>(*in++);
        return {offset, count};
    }

    // A match that runs into the next control word, or whose code bits are
    // more than the whole-token table's index; `first` is its entry there.
    // The next control word comes before the data byte when the code bits
    // themselves are split, else right after it. Codes are prefix-free, so
    // `first.codeBits` tells which even when the rest of `first` is wrong.
    void TakeSplitMatch(const TokenTable& tokens, const Token first, std::size_t& offset, std::size_t& count) {
        const std::size_t codeSplit = static_cast<int>(first.codeBits) > bitCount;
        const std::uint8_t* dataByte = in + 4 * codeSplit;
        const std::uint64_t joined = bits | LoadWord(in + 1 - codeSplit) << (32 - bitCount);
        int used;
        const Token token = tokens[joined >> (64 - TokenIndexBits)];
        if (token.bits != TokenInSteps) {
            used = token.bits;
            offset = token.base + (static_cast<std::size_t>(*dataByte) << token.byteShift);
            count = token.count;
        } else {
            const MatchLookup code = MatchLookups[joined >> (64 - MatchIndexBits)];
            const LengthLookup length = LengthLookups[(joined << code.bits) >> (64 - LengthIndexBits)];
            used = code.bits + (length.bits & code.lengthBitsMask);
            offset = code.base + (static_cast<std::size_t>(*dataByte) << code.byteShift);
            count = code.isShort ? 2 : length.length;
        }
        if (used > bitCount) {
            bits = joined << used;
            bitCount += 32 - used;
            in += 5;
        } else {
            bits <<= used;
            bitCount -= used;
            in += 1;
        }
    }

    // May write up to MatchCopyOvershoot bytes past the match, which the
    // caller leaves room for; later tokens overwrite them. `byShuffle` is
    // for the build for newer processors, which may use SSSE3: no branch on
    // the distance for the many matches of up to 32 bytes, and byte
    // shuffles for short periods.
    template <bool byShuffle = false>
    [[gnu::always_inline]] void CopyMatch(std::size_t distance, std::size_t count) {
#ifdef EXPAND_HAS_NEWER_INSTRUCTION_BUILD
        if constexpr (byShuffle) {
            if (count <= 32) [[likely]] {
                CopyShortMatchByShuffle(out, distance);
                out += count;
                return;
            }
        }
#endif
        const std::uint8_t* from = out - distance;
        if (distance >= 16) {
            // Each 16-byte block is read after the one before it is written,
            // so distances of 16 to 31 repeat correctly.
            Copy16(out, from);
            Copy16(out + 16, from + 16);
            for (std::size_t i = 32; i < count; i += 16) Copy16(out + i, from + i);
#ifdef EXPAND_HAS_NEWER_INSTRUCTION_BUILD
        } else if constexpr (byShuffle) {
            RepeatPeriodByShuffle(out, distance, count);
#endif
        } else if (distance >= 8) {
            for (std::size_t i = 0; i < count; i += 8) std::memcpy(out + i, from + i, 8);
        } else if (distance == 1) {
            const std::uint64_t repeated = from[0] * 0x0101010101010101u;
            for (std::size_t i = 0; i < count; i += 8) std::memcpy(out + i, &repeated, 8);
        } else {
            // A short period: lay the pattern down byte by byte up to a whole
            // number of periods of at least 8 bytes, then copy 8-byte chunks
            // from that many bytes back, which no longer overlap.
            const std::size_t step = distance * ((8 + distance - 1) / distance);
            for (std::size_t i = 0; i < step; ++i) out[i] = from[i];
            for (std::size_t i = step; i < count; i += 8) std::memcpy(out + i, out + i - step, 8);
        }
        out += count;
    }

    // ---- One token at a time with every bound checked, for the last bytes
    // of either buffer. Each step returns false when the input runs out.

    bool TakeBit(std::size_t& bit) {
        if (bitCount == 0) {
            if (inEnd - in < 4) return false;
            TakeControlWord();
        }
        bit = static_cast<std::size_t>(bits >> 63);
        bits <<= 1;
        --bitCount;
        return true;
    }
    bool TakeBits(int count, std::size_t& value) {
        value = 0;
        for (std::size_t bit = 0; count-- > 0; value = value << 1 | bit) {
            if (!TakeBit(bit)) return false;
        }
        return true;
    }
    bool TakeByte(std::size_t& value) {
        if (in == inEnd) return false;
        value = *in++;
        return true;
    }
    // Counts the zeros before a 1, taking the 1, up to `limit` zeros.
    bool TakeZeros(int limit, int& zeros) {
        std::size_t bit = 0;
        for (zeros = 0; zeros < limit; ++zeros) {
            if (!TakeBit(bit)) return false;
            if (bit) break;
        }
        return true;
    }
    bool TakeLongOffset(std::size_t& offset) {
        int offsetClass;
        std::size_t far, high, low;
        // Past the zeros of the last class with a stop bit, one more bit
        // tells its 1 from the farthest class's last zero.
        constexpr int LastWithStopBit = LongOffsetClassCount - 2;
        static_assert(HasStopBit(LastWithStopBit) && !HasStopBit(LastWithStopBit + 1));
        if (!TakeZeros(LastWithStopBit, offsetClass)) return false;
        if (offsetClass == LastWithStopBit) {
            if (!TakeBit(far)) return false;
            offsetClass = far ? LastWithStopBit : LastWithStopBit + 1;
        }
        const LongOffsetClass& c = LongOffsetClasses[offsetClass];
        if (!TakeByte(high) || !TakeBits(c.extraBits, low)) return false;
        offset = c.base + (high << c.extraBits) + low;
        return true;
    }
    bool TakeLength(std::size_t& count) {
        int code;
        std::size_t extra;
        if (!TakeZeros(ByteLengthCode, code)) return false;
        if (code == ByteLengthCode) {
            if (!TakeByte(extra)) return false;
            count = LengthCodes[ByteLengthCode].base + extra;
            return true;
        }
        if (!TakeBits(LengthCodes[code].extraBits, extra)) return false;
        count = LengthCodes[code].base + extra;
        return true;
    }

    // Decodes one token through the tables, with the output checked; the
    // input must hold a control word and a whole token. NeedsRoom means
    // "not finished".
    ExpandStatus CheckedToken(const TokenTable& tokens) {
        if (bitCount == 0) TakeControlWord();
        if (bits >> 63) {
            // A run of literals, as far as Run() would go taking them one at
            // a time: it stops where either buffer is nearly used up.
            const std::size_t room = static_cast<std::size_t>(outEnd - out) - (outputIsLast ? 0 : MaxMatchLength - 1);
            const std::size_t input = static_cast<std::size_t>(inEnd - in) - (inputIsLast ? 0 : MaxTokenInput - 1);
            const std::size_t run = std::min({static_cast<std::size_t>(std::countl_one(bits)), room, input});
            if (run == 0) {
                // Only a full last output stops a run before it starts: the
                // literal is taken, and is the error.
                assert(outputIsLast && out == outEnd);
                bits <<= 1;
                --bitCount;
                ++in;
                return ExpandStatus::OutputOverflow;
            }
            std::memcpy(out, in, run);
            in += run;
            out += run;
            bits <<= run;
            bitCount -= static_cast<int>(run);
            return ExpandStatus::NeedsRoom;
        }
        const Match match = TakeMatch(tokens);
        if (match.Ends()) return EndOfStream();
        return CheckedCopy(match.offset, match.count);
    }

    // Decodes one token bit by bit, for the last bytes of the input.
    ExpandStatus Exact() {
        std::size_t isLiteral, isShort, offset, count;
        if (!TakeBit(isLiteral)) return ExpandStatus::InputTruncated;
        if (isLiteral) {
            std::size_t literal;
            if (!TakeByte(literal)) return ExpandStatus::InputTruncated;
            if (out == outEnd) return ExpandStatus::OutputOverflow;
            *out++ = static_cast<std::uint8_t>(literal);
            return ExpandStatus::NeedsRoom;
        }
        if (!TakeBit(isShort)) return ExpandStatus::InputTruncated;
        if (isShort) {
            std::size_t far, low;
            if (!TakeBit(far) || !TakeByte(offset)) return ExpandStatus::InputTruncated;
            if (far) {
                if (!TakeBits(3, low)) return ExpandStatus::InputTruncated;
                offset = NearShortReach + 8 * offset + low;
                if (offset == EndMarkerOffset) return EndOfStream();
            }
            count = 2;
        } else if (!TakeLongOffset(offset) || !TakeLength(count)) {
            return ExpandStatus::InputTruncated;
        }
        return CheckedCopy(offset, count);
    }

    ExpandStatus CheckedCopy(std::size_t offset, std::size_t count) {
        if (offset >= static_cast<std::size_t>(out - outBegin)) return ExpandStatus::DistanceTooFar;
        if (count > static_cast<std::size_t>(outEnd - out)) return ExpandStatus::OutputOverflow;
        if (static_cast<std::size_t>(outEnd - out) >= count + MatchCopyOvershoot) {
            CopyMatch(offset + 1, count);
            return ExpandStatus::NeedsRoom;
        }
        // Byte by byte at the very end: the source may overlap the bytes
        // being written.
        const std::uint8_t* from = out - offset - 1;
        for (std::size_t i = 0; i < count; ++i) out[i] = from[i];
        out += count;
        return ExpandStatus::NeedsRoom;
    }

#ifdef EXPAND_HAS_NEWER_INSTRUCTION_BUILD
    // The fast loop for processors with LZCNT, BMI2 and SSSE3: their count
    // and shift instructions shorten the chain of dependent steps from one
    // token to the next, and byte shuffles copy most matches without a
    // branch on their distance.
    [[gnu::target("lzcnt,bmi2,ssse3")]] ExpandStatus FastWithNewerInstructions(const std::uint8_t* inFastEnd,
                                                                              std::uint8_t* outFastEnd) {
        // Run on a local copy, which stays in registers: the loop's writes
        // through `out` could otherwise touch this object's fields.
        Decoder local = *this;
        const ExpandStatus status = local.Fast<true>(inFastEnd, outFastEnd);
        in = local.in;
        out = local.out;
        bits = local.bits;
        bitCount = local.bitCount;
        return status;
    }
#endif

    ExpandStatus FastOnThisProcessor(const std::uint8_t* inFastEnd, std::uint8_t* outFastEnd) {
#ifdef EXPAND_HAS_NEWER_INSTRUCTION_BUILD
        if (HasNewerInstructions()) return FastWithNewerInstructions(inFastEnd, outFastEnd);
#endif
        return Fast<false>(inFastEnd, outFastEnd);
    }

    ExpandStatus Run() {
        // The fast loop's last starting points, when either buffer has any.
        if (static_cast<std::size_t>(inEnd - in) >= FastInputMargin &&
            static_cast<std::size_t>(outEnd - out) >= FastOutputMargin) {
            const ExpandStatus status = FastOnThisProcessor(inEnd - FastInputMargin, outEnd - FastOutputMargin);
            if (status != ExpandStatus::NeedsRoom) return status;
        }
        const TokenTable& tokens = TokenTable::Get();
        for (;;) {
            if (!outputIsLast && static_cast<std::size_t>(outEnd - out) < MaxMatchLength)
                return ExpandStatus::NeedsRoom;
            if (!inputIsLast && static_cast<std::size_t>(inEnd - in) < MaxTokenInput)
                return ExpandStatus::NeedsInput;
            const ExpandStatus status = static_cast<std::size_t>(inEnd - in) >= CheckedTokenInput
                                            ? CheckedToken(tokens)
                                            : Exact();
            if (status != ExpandStatus::NeedsRoom) return status;
        }
    }
};

}  // namespace

ExpandStatus BlockExpander::Expand(std::span<std::uint8_t> output, std::size_t& outputPosition,
                                   bool outputIsLast, std::span<const std::uint8_t> input,
                                   std::size_t& inputPosition, bool inputIsLast) {
    assert(outputPosition <= output.size() && inputPosition <= input.size());
    Decoder decoder{input.data() + input.size(), input.data() + inputPosition,
                    output.data(), output.data() + output.size(), output.data() + outputPosition,
                    outputIsLast, inputIsLast, bits_, bitCount_};
    const ExpandStatus status = decoder.Run();
    bits_ = decoder.bits;
    bitCount_ = decoder.bitCount;
    inputPosition = static_cast<std::size_t>(decoder.in - input.data());
    outputPosition = static_cast<std::size_t>(decoder.out - output.data());
    return status;
}

ExpandResult ExpandBlock(std::span<std::uint8_t> output, std::span<const std::uint8_t> input) {
    BlockExpander expander;
    ExpandResult result{ExpandStatus::Ok, 0, 0};
    result.status = expander.Expand(output, result.outputOffset, true, input, result.inputOffset, true);
    return result;
}

}  // namespace package
