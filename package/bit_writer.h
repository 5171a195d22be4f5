// Writes the block stream: code bits gathered into 32-bit little-endian
// control words, interleaved with data bytes in the order the decoder takes
// them. A control word's four bytes are reserved the moment its first bit is
// written, which is exactly where the decoder reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace package {

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    ~BitWriter() { Flush(); }
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    void PutBit(unsigned bit) {
        if (used_ == 32) {
            Flush();
            wordAt_ = out_.size();
            out_.resize(out_.size() + 4);
            word_ = 0;
            used_ = 0;
        }
        word_ |= static_cast<std::uint32_t>(bit & 1) << (31 - used_);
        ++used_;
    }

    // Most significant bit first.
    void PutBits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) PutBit(value >> i);
    }

    void PutByte(unsigned byte) { out_.push_back(static_cast<std::uint8_t>(byte)); }

    // Stores the control word being filled; its unused low bits stay zero.
    void Flush() {
        if (wordAt_ == NoWord) return;
        for (int i = 0; i < 4; ++i) out_[wordAt_ + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(word_ >> (8 * i));
    }

private:
    static constexpr std::size_t NoWord = static_cast<std::size_t>(-1);
    std::vector<std::uint8_t>& out_;
    std::size_t wordAt_ = NoWord;
    std::uint32_t word_ = 0;
    int used_ = 32;
};

}  // namespace package
