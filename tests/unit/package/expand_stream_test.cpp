#include "package/expand_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "package/compress.h"
#include "package/expand.h"

namespace {

using namespace package;

std::vector<std::uint8_t> Mixed(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    unsigned state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        // Text-like runs, long repeats far back, and noise.
        data[i] = (state >> 29) == 0   ? static_cast<std::uint8_t>(state >> 16)
                  : i > 9000 && (i / 500) % 3 == 0 ? data[i - 8192]
                                                   : static_cast<std::uint8_t>("ab ab abc\n"[i % 10]);
    }
    return data;
}

struct Streamed {
    ExpandStatus status;
    std::vector<std::uint8_t> output;
};

// Expands `input` handing it over `inputPiece` bytes at a time (the rest
// kept and handed over again, as a caller must), with a small window.
Streamed Stream(std::span<const std::uint8_t> input, std::size_t size, std::size_t inputPiece,
                std::size_t chunk) {
    StreamExpander expander;
    EXPECT_TRUE(expander.Start(size, chunk));
    Streamed result{ExpandStatus::Ok, {}};
    std::size_t used = 0, end = 0;
    while (!expander.finished()) {
        end = std::min(input.size(), end + inputPiece);
        used += expander.Decode(input.subspan(used, end - used), end == input.size());
        const auto output = expander.TakeOutput();
        EXPECT_LE(output.size(), chunk + 282);
        result.output.insert(result.output.end(), output.begin(), output.end());
    }
    const auto rest = expander.TakeOutput();
    result.output.insert(result.output.end(), rest.begin(), rest.end());
    result.status = expander.status();
    return result;
}

TEST(StreamExpander, GivesExpandBlocksResultForAnyPieceSizes) {
    const auto content = Mixed(100'000);
    for (int level : {FastestLevel, DefaultLevel}) {
        const auto stream = CompressBlock(content, level);
        for (std::size_t inputPiece : {1u, 7u, 4096u, 1u << 20}) {
            for (std::size_t chunk : {1u, 300u, 65536u}) {
                const Streamed streamed = Stream(stream, content.size(), inputPiece, chunk);
                EXPECT_EQ(streamed.status, ExpandStatus::Ok) << inputPiece << " " << chunk;
                EXPECT_TRUE(streamed.output == content) << inputPiece << " " << chunk;
            }
        }
    }
}

TEST(StreamExpander, WorkedExamples) {
    const std::vector<std::uint8_t> endOnly = {0x00, 0x00, 0x00, 0x7C, 0xFF};
    EXPECT_EQ(Stream(endOnly, 0, 2, 16).status, ExpandStatus::Ok);
    const std::vector<std::uint8_t> abc = {0x00, 0xE0, 0x2B, 0xE4, 0x61, 0x62, 0x63, 0x01, 0xFF};
    const Streamed streamed = Stream(abc, 11, 3, 16);
    EXPECT_EQ(streamed.status, ExpandStatus::Ok);
    EXPECT_EQ(std::string(streamed.output.begin(), streamed.output.end()), "abcabcabcab");
}

// Every damaged stream is refused with ExpandBlock's reason.
TEST(StreamExpander, RefusesWhatExpandBlockRefuses) {
    const auto content = Mixed(20'000);
    const auto stream = CompressBlock(content);
    struct Case { std::size_t inputSize; std::size_t outputSize; };
    std::vector<Case> cases = {{stream.size() - 1, content.size()},
                               {stream.size() / 2, content.size()},
                               {stream.size(), content.size() - 1},
                               {stream.size(), content.size() + 1},
                               {3, content.size()}};
    for (const Case c : cases) {
        const std::span<const std::uint8_t> input(stream.data(), c.inputSize);
        std::vector<std::uint8_t> output(c.outputSize);
        const ExpandStatus expected = ExpandBlock(output, input).status;
        ASSERT_NE(expected, ExpandStatus::Ok);
        EXPECT_EQ(Stream(input, c.outputSize, 5, 1000).status, expected)
            << c.inputSize << " " << c.outputSize;
    }
    // A match before the start of the output: literal 'A', then o = 1.
    const std::vector<std::uint8_t> tooFar = {0x00, 0x00, 0x00, 0xA0, 0x41, 0x01};
    EXPECT_EQ(Stream(tooFar, 3, 64, 64).status, ExpandStatus::DistanceTooFar);
}

}  // namespace
