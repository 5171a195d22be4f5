// The block decompressor: a byte-oriented LZ77 stream with 32-bit control
// words interleaved with its data bytes, and its own end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "package/stream_format.h"

namespace package {

enum class ExpandStatus {
    Ok,                 // end marker reached with the output exactly full
    InputTruncated,     // the stream ran out before its end marker
    OutputOverflow,     // a token would write past the output's end
    DistanceTooFar,     // a match reaches before the start of the output
    OutputShort,        // the end marker came before the output was full
    // Only from BlockExpander, which stops early rather than overrun a
    // buffer that is not the last of its side:
    NeedsRoom,          // the output buffer is nearly full
    NeedsInput,         // the input buffer is nearly used up
};

struct ExpandResult {
    ExpandStatus status;
    std::size_t inputOffset;   // where decoding stopped in the input
    std::size_t outputOffset;  // bytes written
};

// Decodes the stream `input` into `output`, which must end up exactly full.
// Never reads outside `input` nor writes outside `output`.
ExpandResult ExpandBlock(std::span<std::uint8_t> output, std::span<const std::uint8_t> input);

// The same decoder, resumable: a stream can be expanded through a bounded
// window and fed from a bounded input buffer, with ExpandBlock's result
// byte for byte and the same checks. A match reaches at most History bytes
// back, so only that much output must stay in front of the write position.
class BlockExpander {
public:
    static constexpr std::size_t History = WindowSize;
    // The margins of the fast loop: a call decodes at full speed while this
    // much room lies ahead in the output and this much input in the piece.
    // Nearer either end it goes token by token, checking each; in an output
    // that does not end the content it stops with NeedsRoom short of a
    // longest match (282 bytes), and in a piece that does not end the stream
    // with NeedsInput short of a whole token (6 bytes).
    static constexpr std::size_t MinRoom = 384;
    static constexpr std::size_t MinInput = 80;

    // Decodes from input[inputPosition] into output[outputPosition] on,
    // advancing both positions. The output before `outputPosition` is what
    // the stream produced so far (or its last History bytes at least).
    // `outputIsLast`: the content ends where `output` ends. `inputIsLast`:
    // the stream has nothing beyond `input`. Once it returns anything but
    // NeedsRoom or NeedsInput, the stream is done with.
    ExpandStatus Expand(std::span<std::uint8_t> output, std::size_t& outputPosition, bool outputIsLast,
                        std::span<const std::uint8_t> input, std::size_t& inputPosition,
                        bool inputIsLast);

private:
    // The control bits not yet taken, left-aligned; the bits below them are 0.
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
};

}  // namespace package
