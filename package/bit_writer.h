// Writes the block stream: code bits gathered into 32-bit little-endian
// control words, interleaved with data bytes in the order the decoder takes
// them. A control word's four bytes are reserved the moment its first bit is
// written, which is exactly where the decoder reads it.
#pragma once

#include <cassert>
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

    // Most significant bit first; a field that does not fit the control word
    // being filled ends in the next one.
    void PutBits(unsigned value, int count) {
        assert(count >= 0 && count <= 24);
        value &= (1u << count) - 1;
        int room = 32 - used_;
        if (count > room) {
            if (room > 0) word_ |= value >> (count - room);
            count -= room;
            value &= (1u << count) - 1;
            StartWord();
        }
        used_ += count;
        if (count > 0) word_ |= value << (32 - used_);
    }

    void PutByte(unsigned byte) { out_.push_back(static_cast<std::uint8_t>(byte)); }

    // Stores the control word being filled; its unused low bits stay zero.
    void Flush() {
        if (wordAt_ == NoWord) return;
        for (int i = 0; i < 4; ++i) out_[wordAt_ + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(word_ >> (8 * i));
    }

private:
    void StartWord() {
        Flush();
        wordAt_ = out_.size();
        out_.resize(out_.size() + 4);
        word_ = 0;
        used_ = 0;
    }

    static constexpr std::size_t NoWord = static_cast<std::size_t>(-1);
    std::vector<std::uint8_t>& out_;
    std::size_t wordAt_ = NoWord;
    std::uint32_t word_ = 0;
    int used_ = 32;
};

}  // namespace package
