#include "package/expand.h"

#include <array>
#include <bit>
#include <cassert>
#include <cstring>

namespace package {
namespace {

constexpr std::size_t MaxMatchLength = 282;

// The fast loop decodes a literal run and the match after it per round
// without checking either end. A round reads at most two control words
// (8 bytes), a literal run of at most 32 bytes, copied as one 32-byte block,
// and two data bytes. It writes the 32-byte literal block, then at most a
// match of 282 bytes plus the overshoot of its chunked copy (at most 15 bytes).
constexpr std::size_t FastInputMargin = 8 + 32 + 2;
constexpr std::size_t FastOutputMargin = 32 + MaxMatchLength + 16;

constexpr std::size_t OffsetBase[5] = {0, 512, 1024, 2048, 4096};
constexpr int OffsetExtraBits[5] = {1, 1, 2, 3, 4};
constexpr std::size_t LengthBase[5] = {3, 4, 5, 7, 11};
constexpr int LengthExtraBits[5] = {0, 0, 1, 2, 4};
constexpr std::size_t EndMarkerOffset = 2303;

// Whole-token tables for a match whose code bits all lie in the current
// control word, indexed by its next 10 code bits (the first is the 0 that
// tells a match from a literal) and then by the 9 bits after them.
struct MatchCode {
    std::uint8_t bits = 0;        // code and offset bits taken
    std::uint8_t byteShift = 0;   // offset = base + (data byte << byteShift)
    bool isShort = false;         // length 2, no length code follows
    std::uint16_t base = 0;
};
struct LengthCode {
    std::uint8_t bits = 0;
    std::uint16_t length = 0;     // 0: a data byte follows, length 27 + byte
};

constexpr int MatchIndexBits = 10;
constexpr int LengthIndexBits = 9;

constexpr std::array<MatchCode, 1 << MatchIndexBits> MatchCodes = [] {
    std::array<MatchCode, 1 << MatchIndexBits> table{};
    auto fill = [&](unsigned prefix, int prefixBits, int extraBits, MatchCode code, std::size_t base) {
        int bits = prefixBits + extraBits;
        for (unsigned t = 0; t < (1u << extraBits); ++t) {
            unsigned start = ((prefix << extraBits) | t) << (MatchIndexBits - bits);
            for (unsigned rest = 0; rest < (1u << (MatchIndexBits - bits)); ++rest) {
                code.bits = static_cast<std::uint8_t>(bits);
                code.base = static_cast<std::uint16_t>(base + t);
                table[start | rest] = code;
            }
        }
    };
    fill(0b010, 3, 0, {0, 0, true, 0}, 0);
    fill(0b011, 3, 3, {0, 3, true, 0}, 256);
    for (int c = 0; c < 5; ++c) {
        // Classes 0..3: 0 0, then c zeros and a 1; class 4: six zeros.
        unsigned prefix = c < 4 ? 1u : 0u;
        int prefixBits = c < 4 ? 3 + c : 6;
        fill(prefix, prefixBits, OffsetExtraBits[c],
             {0, static_cast<std::uint8_t>(OffsetExtraBits[c]), false, 0}, OffsetBase[c]);
    }
    return table;
}();

constexpr std::array<LengthCode, 1 << LengthIndexBits> LengthCodes = [] {
    std::array<LengthCode, 1 << LengthIndexBits> table{};
    for (unsigned index = 0; index < table.size(); ++index) {
        int zeros = 0;
        while (zeros < 5 && !((index >> (LengthIndexBits - 1 - zeros)) & 1)) ++zeros;
        if (zeros == 5) {
            table[index] = {5, 0};
            continue;
        }
        int bits = zeros + 1 + LengthExtraBits[zeros];
        unsigned extra = (index >> (LengthIndexBits - bits)) & ((1u << LengthExtraBits[zeros]) - 1);
        table[index] = {static_cast<std::uint8_t>(bits), static_cast<std::uint16_t>(LengthBase[zeros] + extra)};
    }
    return table;
}();

struct Decoder {
    const std::uint8_t* const inBegin;
    const std::uint8_t* const inEnd;
    const std::uint8_t* in;
    std::uint8_t* const outBegin;
    std::uint8_t* const outEnd;
    std::uint8_t* out;
    // The control bits not yet taken, left-aligned at bit 63; the bits below
    // them are zero, so counting leading ones or zeros never runs past them.
    std::uint64_t word = 0;
    int bitsLeft = 0;
    ExpandStatus status = ExpandStatus::Ok;

    // Each step below returns false once decoding has stopped, with `status` set.

    template <bool Exact>
    bool Refill() {
        if (Exact && inEnd - in < 4) return Fail(ExpandStatus::InputTruncated);
        assert(inEnd - in >= 4);
        std::uint32_t next = static_cast<std::uint32_t>(in[0]) |
                             static_cast<std::uint32_t>(in[1]) << 8 |
                             static_cast<std::uint32_t>(in[2]) << 16 |
                             static_cast<std::uint32_t>(in[3]) << 24;
        word = static_cast<std::uint64_t>(next) << 32;
        bitsLeft = 32;
        in += 4;
        return true;
    }

    void Skip(int count) {
        assert(count <= bitsLeft);
        word <<= count;
        bitsLeft -= count;
    }

    // Takes `count` (1..8) bits; the control word that supplies the rest of
    // a field split across words is read at the current input position.
    template <bool Exact>
    bool TakeBits(int count, std::size_t& value) {
        if (count <= bitsLeft) {
            value = static_cast<std::size_t>(word >> (64 - count));
            Skip(count);
            return true;
        }
        int high = bitsLeft;
        value = high == 0 ? 0 : static_cast<std::size_t>(word >> (64 - high));
        int low = count - high;
        if (!Refill<Exact>()) return false;
        value = (value << low) | static_cast<std::size_t>(word >> (64 - low));
        Skip(low);
        return true;
    }

    // Counts the zeros before the next 1, taking them and the 1; after
    // `limit` zeros it stops and takes no 1.
    template <bool Exact>
    bool TakeZeroRun(int limit, int& zeros) {
        if (bitsLeft >= limit) {
            int leading = std::countl_zero(word);
            zeros = leading < limit ? leading : limit;
            Skip(leading < limit ? leading + 1 : limit);
            return true;
        }
        for (zeros = 0; zeros < limit; ++zeros) {
            std::size_t bit;
            if (!TakeBits<Exact>(1, bit)) return false;
            if (bit == 1) break;
        }
        return true;
    }

    template <bool Exact>
    bool TakeByte(std::size_t& value) {
        if (Exact && in == inEnd) return Fail(ExpandStatus::InputTruncated);
        assert(in < inEnd);
        value = *in++;
        return true;
    }

    bool Fail(ExpandStatus failure) {
        status = failure;
        return false;
    }

    template <bool Exact>
    bool LiteralRun(int run) {
        if (!Exact) {
            // Reads and writes 32 bytes whatever the run: both margins allow it.
            std::memcpy(out, in, 32);
            in += run;
            out += run;
            Skip(run);
            return true;
        }
        std::size_t available = static_cast<std::size_t>(inEnd - in);
        std::size_t room = static_cast<std::size_t>(outEnd - out);
        std::size_t count = static_cast<std::size_t>(run);
        if (count > available) count = available;
        if (count > room) count = room;
        if (count > 0) std::memcpy(out, in, count);
        in += count;
        out += count;
        Skip(static_cast<int>(count));
        if (count == static_cast<std::size_t>(run)) return true;
        // The next literal is the one that does not fit: its bit is taken,
        // then either its byte is missing or the output is full.
        Skip(1);
        if (in == inEnd) return Fail(ExpandStatus::InputTruncated);
        ++in;
        return Fail(ExpandStatus::OutputOverflow);
    }

    template <bool Exact>
    bool LongOffset(std::size_t& offset) {
        int offsetClass;
        if (!TakeZeroRun<Exact>(3, offsetClass)) return false;
        if (offsetClass == 3) {
            std::size_t far;
            if (!TakeBits<Exact>(1, far)) return false;
            offsetClass = far == 1 ? 3 : 4;
        }
        std::size_t high, low;
        if (!TakeByte<Exact>(high) || !TakeBits<Exact>(OffsetExtraBits[offsetClass], low)) {
            return false;
        }
        offset = OffsetBase[offsetClass] + (high << OffsetExtraBits[offsetClass]) + low;
        return true;
    }

    template <bool Exact>
    bool LongLength(std::size_t& length) {
        int code;
        if (!TakeZeroRun<Exact>(5, code)) return false;
        if (code == 5) {
            std::size_t byte;
            if (!TakeByte<Exact>(byte)) return false;
            length = 27 + byte;
            return true;
        }
        std::size_t extra = 0;
        if (LengthExtraBits[code] > 0 && !TakeBits<Exact>(LengthExtraBits[code], extra)) {
            return false;
        }
        length = LengthBase[code] + extra;
        return true;
    }

    template <bool Exact>
    void CopyMatch(std::size_t distance, std::size_t length) {
        const std::uint8_t* from = out - distance;
        if (Exact) {
            if (distance >= length) {
                std::memcpy(out, from, length);
            } else {
                for (std::size_t i = 0; i < length; ++i) out[i] = from[i];
            }
            out += length;
            return;
        }
        // Chunked copies below may write up to 15 bytes past the match, which
        // the output margin allows; later tokens overwrite them.
        // Most matches are short: their first 16 bytes go without a loop.
        if (distance >= 16) {
            std::memcpy(out, from, 16);
            for (std::size_t i = 16; i < length; i += 16) std::memcpy(out + i, from + i, 16);
        } else if (distance >= 8) {
            std::memcpy(out, from, 8);
            std::memcpy(out + 8, from + 8, 8);
            for (std::size_t i = 16; i < length; i += 8) std::memcpy(out + i, from + i, 8);
        } else if (distance == 1) {
            std::memset(out, from[0], length);
        } else {
            // A short period: lay the pattern down byte by byte up to a whole
            // number of periods of at least 8 bytes, then copy 8-byte chunks
            // from that many bytes back, which no longer overlap.
            std::size_t step = distance * ((8 + distance - 1) / distance);
            for (std::size_t i = 0; i < step; ++i) out[i] = from[i];
            for (std::size_t i = step; i < length; i += 8) std::memcpy(out + i, out + i - step, 8);
        }
        out += length;
    }

    // Decodes a literal run or one match; false once decoding stops.
    template <bool Exact>
    bool Step() {
        if (bitsLeft == 0 && !Refill<Exact>()) return false;
        int run = std::countl_one(word);
        if (run > 0) {
            if (!LiteralRun<Exact>(run)) return false;
            // A run that stops inside the word stops at a match: decode it in
            // the same round.
            if (Exact || bitsLeft == 0) return true;
        }
        assert(bitsLeft > 0 && (word >> 63) == 0);
        std::size_t offset, length;
        if (!Exact && TableMatch(offset, length)) return FinishMatch<Exact>(offset, length);
        Skip(1);

        std::size_t isShort;
        if (!TakeBits<Exact>(1, isShort)) return false;
        if (isShort == 1) {
            std::size_t far;
            if (!TakeBits<Exact>(1, far) || !TakeByte<Exact>(offset)) return false;
            if (far == 1) {
                std::size_t low;
                if (!TakeBits<Exact>(3, low)) return false;
                offset = 256 + 8 * offset + low;
            }
            length = 2;
        } else if (!LongOffset<Exact>(offset) || !LongLength<Exact>(length)) {
            return false;
        }

        return FinishMatch<Exact>(offset, length);
    }

    // Decodes a match from the tables when all its code bits are in the
    // current word; false (nothing taken) when they are not. The end marker
    // is decoded here too: FinishMatch sees its offset.
    bool TableMatch(std::size_t& offset, std::size_t& length) {
        const MatchCode& code = MatchCodes[word >> (64 - MatchIndexBits)];
        if (code.bits > bitsLeft) return false;
        if (code.isShort) {
            Skip(code.bits);
            offset = code.base + (static_cast<std::size_t>(*in++) << code.byteShift);
            length = 2;
            return true;
        }
        const LengthCode& lengthCode = LengthCodes[(word << code.bits) >> (64 - LengthIndexBits)];
        if (code.bits + lengthCode.bits > bitsLeft) return false;
        Skip(code.bits + lengthCode.bits);
        offset = code.base + (static_cast<std::size_t>(*in++) << code.byteShift);
        length = lengthCode.length != 0 ? lengthCode.length : 27 + static_cast<std::size_t>(*in++);
        return true;
    }

    template <bool Exact>
    bool FinishMatch(std::size_t offset, std::size_t length) {
        if (length == 2 && offset == EndMarkerOffset) {
            return Fail(out == outEnd ? ExpandStatus::Ok : ExpandStatus::OutputShort);
        }
        if (offset >= static_cast<std::size_t>(out - outBegin)) {
            return Fail(ExpandStatus::DistanceTooFar);
        }
        if (Exact && length > static_cast<std::size_t>(outEnd - out)) {
            return Fail(ExpandStatus::OutputOverflow);
        }
        assert(length <= static_cast<std::size_t>(outEnd - out));
        CopyMatch<Exact>(offset + 1, length);
        return true;
    }

    void Run() {
        // The last positions from which a fast round cannot reach either end,
        // computed once; a buffer smaller than its margin gets no fast loop.
        if (static_cast<std::size_t>(inEnd - in) >= FastInputMargin &&
            static_cast<std::size_t>(outEnd - out) >= FastOutputMargin) {
            const std::uint8_t* const inFastEnd = inEnd - FastInputMargin;
            const std::uint8_t* const outFastEnd = outEnd - FastOutputMargin;
            while (in <= inFastEnd && out <= outFastEnd) {
                if (!Step<false>()) return;
            }
        }
        while (Step<true>()) {
        }
    }
};

}  // namespace

ExpandResult ExpandBlock(std::span<std::uint8_t> output, std::span<const std::uint8_t> input) {
    Decoder decoder{input.data(), input.data() + input.size(), input.data(),
                    output.data(), output.data() + output.size(), output.data()};
    decoder.Run();
    return {decoder.status, static_cast<std::size_t>(decoder.in - decoder.inBegin),
            static_cast<std::size_t>(decoder.out - decoder.outBegin)};
}

const char* DescribeExpandStatus(ExpandStatus status) {
    switch (status) {
        case ExpandStatus::Ok: return "complete";
        case ExpandStatus::InputTruncated: return "the compressed stream is cut short";
        case ExpandStatus::OutputOverflow: return "the data expands past its stated size";
        case ExpandStatus::DistanceTooFar: return "a back-reference reaches before the start";
        case ExpandStatus::OutputShort: return "the data ends before its stated size";
    }
    return "unknown";
}

}  // namespace package
