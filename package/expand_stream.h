// Expansion of one stream piece by piece, for content too large to hold
// whole. A match reaches at most 8192 bytes back, so a window of that much
// history plus one chunk of new output is all that stays in memory; the
// input may also arrive in pieces. The result is ExpandBlock's, byte for
// byte, with the same checks: the output must come out exactly `size` long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "package/expand.h"
#include "platform/memory.h"

namespace package {

class StreamExpander {
public:
    static constexpr std::size_t History = 8192;
    // The most input one token takes: a control word and two data bytes
    // (no token needs more than 19 code bits, so at most one new word).
    static constexpr std::size_t MaxTokenInput = 6;

    // Takes the window for a stream that must expand to `size` bytes, handed
    // out about `chunk` bytes at a time (at most chunk + 281: a token is
    // never split). False when there is no memory.
    bool Start(std::uint64_t size, std::size_t chunk);

    // Decodes whole tokens from `input` until the window is full, the stream
    // ends or fails, or the input runs short; returns the input bytes used.
    // Unless `last`, a token is begun only with MaxTokenInput bytes at hand,
    // so the caller can keep the rest and append more.
    std::size_t Decode(std::span<const std::uint8_t> input, bool last);

    // The output decoded since the last call; valid until the next Decode.
    std::span<const std::uint8_t> TakeOutput();

    // Ok while running and after a sound end; a failure stops decoding.
    ExpandStatus status() const { return status_; }
    bool finished() const { return finished_; }

private:
    void Slide();
    void Fail(ExpandStatus status);

    platform::HeapBlock window_;
    std::size_t position_ = 0;  // end of the output in the window
    std::size_t taken_ = 0;     // start of the output not yet handed out
    std::uint64_t produced_ = 0;
    std::uint64_t size_ = 0;
    std::size_t chunk_ = 0;
    std::uint32_t word_ = 0;    // the current control word, bits taken shifted out
    int bitsLeft_ = 0;
    ExpandStatus status_ = ExpandStatus::Ok;
    bool finished_ = false;
};

}  // namespace package
