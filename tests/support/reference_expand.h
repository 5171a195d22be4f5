// A plain decoder of the block stream, one bit and one byte at a time, kept
// as simple as the format's description so the fast ExpandBlock can be
// checked against it. It also counts the kinds of token it decodes, so tests
// can prove that the encoder uses every code the format has.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "package/expand.h"

namespace reference {

struct TokenCensus {
    std::size_t literals = 0;
    std::size_t shortNear = 0;                   // o = 0..255
    std::size_t shortFar = 0;                    // o = 256..2302
    std::array<std::size_t, 5> longOffsetClass{};  // 0..511, ..1023, ..2047, ..4095, ..8191
    std::array<std::size_t, 6> lengthCode{};       // 3, 4, 5-6, 7-10, 11-26, 27-282
};

class ReferenceDecoder {
public:
    ReferenceDecoder(std::span<std::uint8_t> output, std::span<const std::uint8_t> input,
                     TokenCensus* census)
        : output_(output), input_(input), census_(census) {}

    package::ExpandResult Run() {
        if (!Refill()) return Stop(package::ExpandStatus::InputTruncated);
        for (;;) {
            int first;
            if (!Bit(first)) return Stop(package::ExpandStatus::InputTruncated);
            if (first == 1) {
                int b;
                if (!Byte(b)) return Stop(package::ExpandStatus::InputTruncated);
                if (written_ == output_.size()) return Stop(package::ExpandStatus::OutputOverflow);
                output_[written_++] = static_cast<std::uint8_t>(b);
                if (census_) ++census_->literals;
                continue;
            }
            int second;
            if (!Bit(second)) return Stop(package::ExpandStatus::InputTruncated);
            std::size_t offset = 0;
            std::size_t length = 2;
            if (second == 1) {
                int far, b;
                if (!Bit(far) || !Byte(b)) return Stop(package::ExpandStatus::InputTruncated);
                if (far == 0) {
                    offset = static_cast<std::size_t>(b);
                    if (census_) ++census_->shortNear;
                } else {
                    int t;
                    if (!Bits(3, t)) return Stop(package::ExpandStatus::InputTruncated);
                    offset = 256 + 8 * static_cast<std::size_t>(b) + static_cast<std::size_t>(t);
                    if (offset == 2303) {
                        return Stop(written_ == output_.size() ? package::ExpandStatus::Ok
                                                               : package::ExpandStatus::OutputShort);
                    }
                    if (census_) ++census_->shortFar;
                }
            } else {
                int offsetClass = 0;
                if (!LongOffset(offset, offsetClass) || !Length(length)) {
                    return Stop(package::ExpandStatus::InputTruncated);
                }
                if (census_) ++census_->longOffsetClass[static_cast<std::size_t>(offsetClass)];
            }
            if (offset + 1 > written_) return Stop(package::ExpandStatus::DistanceTooFar);
            if (length > output_.size() - written_) return Stop(package::ExpandStatus::OutputOverflow);
            for (std::size_t i = 0; i < length; ++i, ++written_) {
                output_[written_] = output_[written_ - offset - 1];
            }
        }
    }

private:
    bool Refill() {
        if (input_.size() - read_ < 4) return false;
        word_ = static_cast<std::uint32_t>(input_[read_]) |
                static_cast<std::uint32_t>(input_[read_ + 1]) << 8 |
                static_cast<std::uint32_t>(input_[read_ + 2]) << 16 |
                static_cast<std::uint32_t>(input_[read_ + 3]) << 24;
        read_ += 4;
        bitsLeft_ = 32;
        return true;
    }
    bool Bit(int& bit) {
        if (bitsLeft_ == 0 && !Refill()) return false;
        --bitsLeft_;
        bit = static_cast<int>((word_ >> bitsLeft_) & 1);
        return true;
    }
    bool Bits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            int bit;
            if (!Bit(bit)) return false;
            value = value * 2 + bit;
        }
        return true;
    }
    bool Byte(int& value) {
        if (read_ == input_.size()) return false;
        value = input_[read_++];
        return true;
    }
    bool LongOffset(std::size_t& offset, int& offsetClass) {
        // The class is the number of zeros before a 1, up to three; three
        // zeros are followed by one bit that picks between the two far classes.
        static constexpr int extraBits[5] = {1, 1, 2, 3, 4};
        static constexpr std::size_t base[5] = {0, 512, 1024, 2048, 4096};
        int bit = 0;
        offsetClass = 0;
        while (offsetClass < 3) {
            if (!Bit(bit)) return false;
            if (bit == 1) break;
            ++offsetClass;
        }
        if (offsetClass == 3) {
            if (!Bit(bit)) return false;
            offsetClass = bit == 1 ? 3 : 4;
        }
        int b, t;
        if (!Byte(b) || !Bits(extraBits[offsetClass], t)) return false;
        offset = base[offsetClass] + (static_cast<std::size_t>(b) << extraBits[offsetClass]) +
                 static_cast<std::size_t>(t);
        return true;
    }
    bool Length(std::size_t& length) {
        static constexpr int extraBits[5] = {0, 0, 1, 2, 4};
        static constexpr std::size_t base[5] = {3, 4, 5, 7, 11};
        int zeros = 0;
        int bit = 0;
        while (zeros < 5) {
            if (!Bit(bit)) return false;
            if (bit == 1) break;
            ++zeros;
        }
        if (census_) ++census_->lengthCode[static_cast<std::size_t>(zeros)];
        if (zeros == 5) {
            int b;
            if (!Byte(b)) return false;
            length = 27 + static_cast<std::size_t>(b);
            return true;
        }
        int t;
        if (!Bits(extraBits[zeros], t)) return false;
        length = base[zeros] + static_cast<std::size_t>(t);
        return true;
    }
    package::ExpandResult Stop(package::ExpandStatus status) const {
        return {status, read_, written_};
    }

    std::span<std::uint8_t> output_;
    std::span<const std::uint8_t> input_;
    TokenCensus* census_;
    std::size_t read_ = 0;
    std::size_t written_ = 0;
    std::uint32_t word_ = 0;
    int bitsLeft_ = 0;
};

inline package::ExpandResult ReferenceExpand(std::span<std::uint8_t> output,
                                             std::span<const std::uint8_t> input,
                                             TokenCensus* census = nullptr) {
    return ReferenceDecoder(output, input, census).Run();
}

}  // namespace reference
