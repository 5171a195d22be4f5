// The block decompressor: a byte-oriented LZ77 stream with 32-bit control
// words interleaved with its data bytes, and its own end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace package {

enum class ExpandStatus {
    Ok,                 // end marker reached with the output exactly full
    InputTruncated,     // the stream ran out before its end marker
    OutputOverflow,     // a token would write past the output's end
    DistanceTooFar,     // a match reaches before the start of the output
    OutputShort,        // the end marker came before the output was full
};

struct ExpandResult {
    ExpandStatus status;
    std::size_t inputOffset;   // where decoding stopped in the input
    std::size_t outputOffset;  // bytes written
};

// Decodes the stream `input` into `output`, which must end up exactly full.
// Never reads outside `input` nor writes outside `output`.
ExpandResult ExpandBlock(std::span<std::uint8_t> output, std::span<const std::uint8_t> input);

const char* DescribeExpandStatus(ExpandStatus status);

}  // namespace package
