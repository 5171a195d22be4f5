// Runs ExpandBlock and the reference decoder on arbitrary bytes and demands
// the same verdict, stopping point and output; the same again for the
// resumable expander through a small window with the input in pieces; then
// round-trips the bytes through CompressBlock at a level taken from the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/compress.h"
#include "package/expand.h"
#include "tests/support/reference_expand.h"
#include "tests/support/windowed_expand.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Two bytes of output size (up to 64 KiB), one of level, then the stream.
    std::size_t outputSize = static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8;
    int level = package::FastestLevel + data[2] % package::BestLevel;
    std::span<const std::uint8_t> stream(data + 3, size - 3);

    // Exactly sized heap buffers, so ASan sees any access past either end.
    std::vector<std::uint8_t> fast(outputSize), slow(outputSize);
    std::vector<std::uint8_t> input(stream.begin(), stream.end());
    package::ExpandResult a = package::ExpandBlock(fast, input);
    package::ExpandResult b = reference::ReferenceExpand(slow, input);
    if (a.status != b.status || a.inputOffset != b.inputOffset || a.outputOffset != b.outputOffset) std::abort();
    if (a.status == package::ExpandStatus::Ok && fast != slow) std::abort();

    // Input pieces of 1 to 64 bytes and a window with 384 to 1407 bytes of
    // room, both from the size bytes.
    const std::size_t inputPiece = 1 + data[0] % 64;
    const std::size_t room = package::BlockExpander::MinRoom + data[1] % 4 * 341;
    const reference::Windowed windowed = reference::ExpandWindowed(input, outputSize, inputPiece, room);
    if (windowed.status != a.status) std::abort();
    if (a.status == package::ExpandStatus::Ok && windowed.output != fast) std::abort();

    std::vector<std::uint8_t> packed = package::CompressBlock(stream, level);
    std::vector<std::uint8_t> restored(stream.size());
    package::ExpandResult c = package::ExpandBlock(restored, packed);
    if (c.status != package::ExpandStatus::Ok || c.inputOffset != packed.size() ||
        !std::equal(restored.begin(), restored.end(), stream.begin())) {
        std::abort();
    }
    return 0;
}
