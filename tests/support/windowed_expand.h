// Drives BlockExpander as a streaming reader does: through a window of
// History + `room` bytes that slides when it runs low, with the input handed
// over `inputPiece` bytes at a time into a buffer that keeps the part not
// yet used. Shared by the unit tests and the decoder's fuzz target, which
// compare its result with ExpandBlock's.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "package/expand.h"

namespace reference {

struct Windowed {
    package::ExpandStatus status;
    std::vector<std::uint8_t> output;
};

inline Windowed ExpandWindowed(std::span<const std::uint8_t> stream, std::size_t size,
                               std::size_t inputPiece, std::size_t room) {
    using package::BlockExpander;
    using package::ExpandStatus;
    BlockExpander expander;
    std::vector<std::uint8_t> window(BlockExpander::History + room), input;
    std::size_t windowEnd = 0, inputPosition = 0, handedOver = 0;
    Windowed result{ExpandStatus::NeedsRoom, {}};
    while (result.status == ExpandStatus::NeedsRoom || result.status == ExpandStatus::NeedsInput) {
        if (result.status == ExpandStatus::NeedsInput) {
            input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(inputPosition));
            inputPosition = 0;
            const std::span<const std::uint8_t> piece =
                stream.subspan(handedOver, std::min(inputPiece, stream.size() - handedOver));
            input.insert(input.end(), piece.begin(), piece.end());
            handedOver += piece.size();
        }
        if (window.size() - windowEnd < BlockExpander::MinRoom && windowEnd > BlockExpander::History) {
            std::copy_n(window.begin() + static_cast<std::ptrdiff_t>(windowEnd - BlockExpander::History),
                        BlockExpander::History, window.begin());
            windowEnd = BlockExpander::History;
        }
        const std::size_t start = windowEnd, left = size - result.output.size();
        const bool outputIsLast = left <= window.size() - windowEnd;
        const std::span<std::uint8_t> output =
            std::span(window).first(outputIsLast ? windowEnd + left : window.size());
        result.status = expander.Expand(output, windowEnd, outputIsLast, input, inputPosition,
                                        handedOver == stream.size());
        result.output.insert(result.output.end(), window.begin() + static_cast<std::ptrdiff_t>(start),
                             window.begin() + static_cast<std::ptrdiff_t>(windowEnd));
    }
    return result;
}

}  // namespace reference
