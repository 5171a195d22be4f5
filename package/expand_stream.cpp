#include "package/expand_stream.h"

#include <cassert>
#include <cstring>

namespace package {
namespace {

constexpr std::size_t MaxMatchLength = 282;
constexpr std::uint32_t EndMarkerOffset = 2303;

// Reads one token's bits and bytes from the input with a sticky shortfall:
// after the input runs out every read gives 0, and the caller checks once.
struct TokenReader {
    std::span<const std::uint8_t> input;
    std::size_t position;
    std::uint32_t& word;
    int& bitsLeft;
    bool shortfall = false;

    std::uint32_t Byte() {
        if (position >= input.size()) {
            shortfall = true;
            return 0;
        }
        return input[position++];
    }
    std::uint32_t Bit() {
        if (bitsLeft == 0) {
            if (input.size() - position < 4) {
                shortfall = true;
                position = input.size();
                return 0;
            }
            std::memcpy(&word, input.data() + position, 4);
            position += 4;
            bitsLeft = 32;
        }
        const std::uint32_t bit = word >> 31;
        word <<= 1;
        --bitsLeft;
        return bit;
    }
    std::uint32_t Bits(int count) {
        std::uint32_t value = 0;
        while (count-- > 0) value = value << 1 | Bit();
        return value;
    }
};

// A long match's length code.
std::size_t ReadLength(TokenReader& in) {
    if (in.Bit()) return 3;
    if (in.Bit()) return 4;
    if (in.Bit()) return 5 + in.Bits(1);
    if (in.Bit()) return 7 + in.Bits(2);
    if (in.Bit()) return 11 + in.Bits(4);
    return 27 + in.Byte();
}

// A long match's offset code, after its leading 0 0.
std::uint32_t ReadLongOffset(TokenReader& in) {
    if (in.Bit()) {
        const std::uint32_t b = in.Byte();
        return 2 * b + in.Bits(1);
    }
    if (in.Bit()) {
        const std::uint32_t b = in.Byte();
        return 512 + 2 * b + in.Bits(1);
    }
    if (in.Bit()) {
        const std::uint32_t b = in.Byte();
        return 1024 + 4 * b + in.Bits(2);
    }
    const std::uint32_t wide = in.Bit();
    const std::uint32_t b = in.Byte();
    return wide ? 2048 + 8 * b + in.Bits(3) : 4096 + 16 * b + in.Bits(4);
}

}  // namespace

bool StreamExpander::Start(std::uint64_t size, std::size_t chunk) {
    window_ = platform::AllocateBlock(History + chunk + MaxMatchLength);
    chunk_ = chunk;
    position_ = taken_ = 0;
    produced_ = 0;
    size_ = size;
    word_ = 0;
    bitsLeft_ = 0;
    status_ = ExpandStatus::Ok;
    finished_ = false;
    return static_cast<bool>(window_);
}

void StreamExpander::Fail(ExpandStatus status) {
    status_ = status;
    finished_ = true;
}

// Moves the output not yet taken, and the History bytes before it, to the
// front. Less than a chunk is untaken, so a whole token fits behind it.
void StreamExpander::Slide() {
    const std::size_t from = taken_ < History ? 0 : taken_ - History;
    std::memmove(window_.data(), window_.data() + from, position_ - from);
    position_ -= from;
    taken_ -= from;
    assert(window_.size() - position_ >= MaxMatchLength);
}

std::size_t StreamExpander::Decode(std::span<const std::uint8_t> input, bool last) {
    std::size_t used = 0;
    while (!finished_) {
        if (position_ - taken_ >= chunk_) break;  // the caller must take the output first
        if (window_.size() - position_ < MaxMatchLength) Slide();
        if (!last && input.size() - used < MaxTokenInput) break;

        TokenReader in{input, used, word_, bitsLeft_};
        std::size_t length = 0;
        std::uint32_t offset = 0;
        std::uint32_t literal = 0;
        const bool isLiteral = in.Bit() != 0;
        if (isLiteral) {
            literal = in.Byte();
            length = 1;
        } else if (in.Bit()) {
            const std::uint32_t wide = in.Bit();
            const std::uint32_t b = in.Byte();
            offset = wide ? 256 + 8 * b + in.Bits(3) : b;
            length = 2;
        } else {
            offset = ReadLongOffset(in);
            length = ReadLength(in);
        }
        if (in.shortfall) {
            Fail(ExpandStatus::InputTruncated);
            break;
        }
        used = in.position;
        if (!isLiteral && length == 2 && offset == EndMarkerOffset) {
            if (produced_ == size_) finished_ = true;
            else Fail(ExpandStatus::OutputShort);
            break;
        }
        if (length > size_ - produced_) {
            Fail(ExpandStatus::OutputOverflow);
            break;
        }
        std::uint8_t* out = window_.data() + position_;
        if (isLiteral) {
            *out = static_cast<std::uint8_t>(literal);
        } else {
            const std::size_t distance = std::size_t{offset} + 1;
            if (distance > produced_) {
                Fail(ExpandStatus::DistanceTooFar);
                break;
            }
            // The window always holds History bytes before the output, and no
            // match reaches further back than that.
            assert(distance <= position_);
            const std::uint8_t* from = out - distance;
            if (distance >= length) std::memcpy(out, from, length);
            else for (std::size_t i = 0; i < length; ++i) out[i] = from[i];
        }
        position_ += length;
        produced_ += length;
    }
    return used;
}

std::span<const std::uint8_t> StreamExpander::TakeOutput() {
    const std::span<const std::uint8_t> output(window_.data() + taken_, position_ - taken_);
    taken_ = position_;
    return output;
}

}  // namespace package
