#include "package/expand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "package/compress.h"
#include "tests/support/reference_expand.h"
#include "tests/support/windowed_expand.h"

namespace package {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Builds streams bit by bit for the tests, placing control words where the
// decoder reads them; independent of the encoder under test elsewhere.
class StreamBuilder {
public:
    StreamBuilder& Bits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ == 32) {
                wordAt_ = bytes_.size();
                bytes_.resize(bytes_.size() + 4);
                used_ = 0;
            }
            if ((value >> i) & 1) bytes_[wordAt_ + 3 - used_ / 8] |= std::uint8_t(0x80 >> (used_ % 8));
            ++used_;
        }
        return *this;
    }
    StreamBuilder& Byte(unsigned b) {
        bytes_.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    StreamBuilder& Literal(char c) { return Bits(1, 1).Byte(static_cast<unsigned char>(c)); }
    StreamBuilder& ShortNear(unsigned distance) { return Bits(0b010, 3).Byte(distance - 1); }
    StreamBuilder& ShortFar(unsigned distance) {
        unsigned o = distance - 1 - 256;
        return Bits(0b011, 3).Byte(o >> 3).Bits(o & 7, 3);
    }
    StreamBuilder& End() { return Bits(0b011, 3).Byte(0xFF).Bits(7, 3); }
    // Long match with offset class 0 (distance 1..512).
    StreamBuilder& Near(unsigned distance, unsigned length) {
        unsigned o = distance - 1;
        Bits(0b001, 3).Byte(o >> 1).Bits(o & 1, 1);
        return Length(length);
    }
    // Long match with offset class 4 (distance 4097..8192).
    StreamBuilder& Farthest(unsigned distance, unsigned length) {
        unsigned o = distance - 1 - 4096;
        Bits(0b000000, 6).Byte(o >> 4).Bits(o & 15, 4);
        return Length(length);
    }
    StreamBuilder& Length(unsigned length) {
        if (length == 3) return Bits(1, 1);
        if (length == 4) return Bits(0b01, 2);
        if (length <= 6) return Bits(0b001, 3).Bits(length - 5, 1);
        if (length <= 10) return Bits(0b0001, 4).Bits(length - 7, 2);
        if (length <= 26) return Bits(0b00001, 5).Bits(length - 11, 4);
        return Bits(0, 5).Byte(length - 27);
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    std::size_t wordAt_ = 0;
    int used_ = 32;
};

Bytes FromHex(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }

// Expands with both decoders, demands identical results, and returns the output.
struct Outcome {
    ExpandResult result;
    std::string text;
};

Outcome ExpandBoth(const Bytes& stream, std::size_t outputSize) {
    // One canary byte past the output catches a write beyond its end.
    Bytes fast(outputSize + 1, 0xCC), slow(outputSize + 1, 0xCC);
    ExpandResult a = ExpandBlock(std::span(fast).first(outputSize), stream);
    ExpandResult b = reference::ReferenceExpand(std::span(slow).first(outputSize), stream);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.inputOffset, b.inputOffset);
    EXPECT_EQ(a.outputOffset, b.outputOffset);
    EXPECT_EQ(fast.back(), 0xCC);
    if (a.status == ExpandStatus::Ok) {
        EXPECT_EQ(fast, slow);
    }
    return {a, std::string(fast.begin(), fast.begin() + static_cast<std::ptrdiff_t>(a.outputOffset))};
}

TEST(ExpandBlock, WorkedExamples) {
    Outcome end = ExpandBoth(FromHex({0x00, 0x00, 0x00, 0x7C, 0xFF}), 0);
    EXPECT_EQ(end.result.status, ExpandStatus::Ok);
    EXPECT_EQ(end.result.inputOffset, 5u);

    Outcome a6 = ExpandBoth(FromHex({0x00, 0x00, 0x3E, 0x91, 0x41, 0x00, 0xFF}), 6);
    EXPECT_EQ(a6.result.status, ExpandStatus::Ok);
    EXPECT_EQ(a6.text, "AAAAAA");

    Outcome abc = ExpandBoth(FromHex({0x00, 0xE0, 0x2B, 0xE4, 0x61, 0x62, 0x63, 0x01, 0xFF}), 11);
    EXPECT_EQ(abc.result.status, ExpandStatus::Ok);
    EXPECT_EQ(abc.text, "abcabcabcab");
    EXPECT_EQ(abc.result.inputOffset, 9u);
}

TEST(ExpandBlock, TrailingBytesAfterTheEndMarkerAreIgnored) {
    Outcome r = ExpandBoth(FromHex({0x00, 0x00, 0x00, 0x7C, 0xFF, 0x12, 0x34, 0x56, 0x78}), 0);
    EXPECT_EQ(r.result.status, ExpandStatus::Ok);
    EXPECT_EQ(r.result.inputOffset, 5u);
}

TEST(ExpandBlock, ShortPeriodFills) {
    struct Case {
        const char* prefix;
        unsigned distance;
        unsigned length;
        const char* expected;
    };
    const Case cases[] = {
        {"x", 1, 9, "xxxxxxxxxx"},
        {"ab", 2, 7, "ababababa"},
        {"abc", 3, 8, "abcabcabcab"},
        {"abcd", 4, 11, "abcdabcdabcdabc"},
        {"abcdefg", 7, 20, "abcdefgabcdefgabcdefgabcdef"},
    };
    for (const Case& c : cases) {
        StreamBuilder s;
        for (const char* p = c.prefix; *p; ++p) s.Literal(*p);
        s.Near(c.distance, c.length).End();
        std::string expected = c.expected;
        Outcome r = ExpandBoth(s.bytes(), expected.size());
        EXPECT_EQ(r.result.status, ExpandStatus::Ok) << c.prefix;
        EXPECT_EQ(r.text, expected) << c.prefix;
    }
}

// A long run of literals and matches that keeps the fast loop busy, so that
// its chunked copies are checked at every period and length.
TEST(ExpandBlock, FastLoopCopiesMatchTheReference) {
    StreamBuilder s;
    std::size_t size = 0;
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) s.Literal(static_cast<char>('a' + i % 26)), ++size;
    for (unsigned distance = 1; distance <= 40; ++distance) {
        for (unsigned length : {3u, 4u, 5u, 8u, 9u, 15u, 16u, 17u, 26u, 27u, 100u, 282u}) {
            s.Near(distance, length);
            size += length;
            s.Literal(static_cast<char>(random()));
            ++size;
        }
    }
    s.End();
    Outcome r = ExpandBoth(s.bytes(), size);
    EXPECT_EQ(r.result.status, ExpandStatus::Ok);
}

TEST(ExpandBlock, LongestMatchAndFarthestReaches) {
    StreamBuilder s;
    std::string expected;
    for (int i = 0; i < 8192; ++i) {
        char c = static_cast<char>('A' + (i * 7 + i / 13) % 26);
        s.Literal(c);
        expected += c;
    }
    // 282 bytes from 8192 back, then a 2-byte match from 2303 back.
    s.Farthest(8192, 282);
    for (int i = 0; i < 282; ++i) expected += expected[expected.size() - 8192];
    s.ShortFar(2303);
    for (int i = 0; i < 2; ++i) expected += expected[expected.size() - 2303];
    s.ShortNear(256);
    for (int i = 0; i < 2; ++i) expected += expected[expected.size() - 256];
    s.End();
    Outcome r = ExpandBoth(s.bytes(), expected.size());
    EXPECT_EQ(r.result.status, ExpandStatus::Ok);
    EXPECT_EQ(r.text, expected);
}

TEST(ExpandBlock, TokensSplitAcrossControlWords) {
    // 29 literals leave 3 bits in the first word; every following token's
    // code and extra bits then straddle a word boundary at some point.
    for (int lead = 25; lead <= 32; ++lead) {
        StreamBuilder s;
        std::string expected;
        for (int i = 0; i < lead; ++i) {
            s.Literal(static_cast<char>('a' + i % 5));
            expected += static_cast<char>('a' + i % 5);
        }
        s.Near(5, 20);
        for (int i = 0; i < 20; ++i) expected += expected[expected.size() - 5];
        s.ShortNear(lead + 20);
        for (int i = 0; i < 2; ++i) expected += expected[expected.size() - static_cast<std::size_t>(lead) - 20];
        s.End();
        Outcome r = ExpandBoth(s.bytes(), expected.size());
        EXPECT_EQ(r.result.status, ExpandStatus::Ok) << lead;
        EXPECT_EQ(r.text, expected) << lead;
        EXPECT_EQ(r.result.inputOffset, s.bytes().size()) << lead;
    }
}

TEST(ExpandBlock, EndMarkerAtAWordBoundaryReadsNoFurtherWord) {
    // 26 literals and the end marker's 6 code bits fill the word exactly.
    StreamBuilder s;
    for (int i = 0; i < 26; ++i) s.Literal('z');
    s.End();
    ASSERT_EQ(s.bytes().size(), 4u + 26u + 1u);
    Outcome r = ExpandBoth(s.bytes(), 26);
    EXPECT_EQ(r.result.status, ExpandStatus::Ok);
    EXPECT_EQ(r.result.inputOffset, s.bytes().size());
}

TEST(ExpandBlock, ExtraBitsAfterTheDataByteComeFromANewWord) {
    // 29 literals use 29 bits; the end marker's 0 1 1 use the last three, so
    // its three 1 bits come from a word read after its byte.
    StreamBuilder s;
    for (int i = 0; i < 29; ++i) s.Literal('q');
    s.End();
    const Bytes& b = s.bytes();
    ASSERT_EQ(b.size(), 4u + 29u + 1u + 4u);
    EXPECT_EQ(b[33], 0xFF);
    Outcome r = ExpandBoth(b, 29);
    EXPECT_EQ(r.result.status, ExpandStatus::Ok);
    EXPECT_EQ(r.result.inputOffset, b.size());
}

TEST(ExpandBlock, DamagedStreamsReportWhereTheyStopped) {
    struct Case {
        const char* name;
        Bytes stream;
        std::size_t outputSize;
        ExpandStatus status;
        std::size_t inputOffset;
        std::size_t outputOffset;
    };
    const Bytes abc = FromHex({0x00, 0xE0, 0x2B, 0xE4, 0x61, 0x62, 0x63, 0x01, 0xFF});
    const Case cases[] = {
        {"empty input", {}, 0, ExpandStatus::InputTruncated, 0, 0},
        {"partial first word", FromHex({0, 0, 0}), 0, ExpandStatus::InputTruncated, 0, 0},
        {"missing literal byte", FromHex({0x00, 0x00, 0x00, 0x80}), 1, ExpandStatus::InputTruncated, 4, 0},
        {"input one byte short", Bytes(abc.begin(), abc.end() - 1), 11, ExpandStatus::InputTruncated, 8, 11},
        {"output one byte short", abc, 10, ExpandStatus::OutputOverflow, 8, 3},
        {"output one byte long", abc, 12, ExpandStatus::OutputShort, 9, 11},
        {"literal past the end", StreamBuilder().Literal('a').Literal('b').End().bytes(), 1,
         ExpandStatus::OutputOverflow, 6, 1},
        {"match before the start", StreamBuilder().Literal('a').Near(2, 3).End().bytes(), 4,
         ExpandStatus::DistanceTooFar, 6, 1},
        {"short match before the start", StreamBuilder().ShortNear(1).End().bytes(), 2,
         ExpandStatus::DistanceTooFar, 5, 0},
        {"end marker too early", FromHex({0x00, 0x00, 0x00, 0x7C, 0xFF}), 1, ExpandStatus::OutputShort, 5, 0},
    };
    for (const Case& c : cases) {
        Outcome r = ExpandBoth(c.stream, c.outputSize);
        EXPECT_EQ(r.result.status, c.status) << c.name;
        EXPECT_EQ(r.result.inputOffset, c.inputOffset) << c.name;
        EXPECT_EQ(r.result.outputOffset, c.outputOffset) << c.name;
    }
}

TEST(ExpandBlock, EveryTruncationOfAValidStreamFails) {
    StreamBuilder s;
    std::string text = "the quick brown fox jumps over the lazy dog, the quick brown fox";
    for (char c : text.substr(0, 45)) s.Literal(c);
    s.Near(45, 19).End();
    for (std::size_t cut = 0; cut < s.bytes().size(); ++cut) {
        Bytes partial(s.bytes().begin(), s.bytes().begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(ExpandBoth(partial, text.size()).result.status, ExpandStatus::InputTruncated) << cut;
    }
    EXPECT_EQ(ExpandBoth(s.bytes(), text.size()).text, text);
}

TEST(ExpandBlock, AgreesWithTheReferenceOnRandomStreams) {
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        Bytes stream(random() % 600);
        for (auto& b : stream) b = static_cast<std::uint8_t>(random());
        // Bias toward literal-heavy words so that streams run for a while.
        for (std::size_t i = 0; i + 3 < stream.size(); i += 37) stream[i + 3] |= 0xC0;
        ExpandBoth(stream, random() % 2000);
    }
}


// ---- The resumable expander: a bounded window and input in pieces.

// Text-like runs, long repeats from far back, and noise.
Bytes Mixed(std::size_t size) {
    Bytes data(size);
    unsigned state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        data[i] = (state >> 29) == 0                ? static_cast<std::uint8_t>(state >> 16)
                  : i > 9000 && (i / 500) % 3 == 0 ? data[i - 8192]
                                                   : static_cast<std::uint8_t>("ab ab abc\n"[i % 10]);
    }
    return data;
}

TEST(BlockExpander, GivesExpandBlocksResultForAnyPieceSizes) {
    const Bytes content = Mixed(100'000);
    for (int level : {FastestLevel, DefaultLevel}) {
        const Bytes stream = CompressBlock(content, level);
        for (std::size_t inputPiece : {1u, 7u, 100u, 4096u, 1u << 20u}) {
            for (std::size_t room : {BlockExpander::MinRoom, std::size_t{1000}, std::size_t{65536}}) {
                const reference::Windowed windowed =
                    reference::ExpandWindowed(stream, content.size(), inputPiece, room);
                EXPECT_EQ(windowed.status, ExpandStatus::Ok) << inputPiece << " " << room;
                EXPECT_TRUE(windowed.output == content) << inputPiece << " " << room;
            }
        }
    }
}

TEST(BlockExpander, WorkedExamplesInTheSmallestPieces) {
    const reference::Windowed end =
        reference::ExpandWindowed(FromHex({0x00, 0x00, 0x00, 0x7C, 0xFF}), 0, 1, BlockExpander::MinRoom);
    EXPECT_EQ(end.status, ExpandStatus::Ok);
    const Bytes abcStream = FromHex({0x00, 0xE0, 0x2B, 0xE4, 0x61, 0x62, 0x63, 0x01, 0xFF});
    const reference::Windowed abc = reference::ExpandWindowed(abcStream, 11, 1, BlockExpander::MinRoom);
    EXPECT_EQ(abc.status, ExpandStatus::Ok);
    EXPECT_EQ(std::string(abc.output.begin(), abc.output.end()), "abcabcabcab");
}

// Every damaged stream is refused with ExpandBlock's reason, wherever the
// pieces fall.
TEST(BlockExpander, RefusesWhatExpandBlockRefuses) {
    const Bytes content = Mixed(20'000);
    const Bytes stream = CompressBlock(content);
    struct Case { std::size_t inputSize, outputSize; };
    const Case cases[] = {{stream.size() - 1, content.size()}, {stream.size() / 2, content.size()},
                          {stream.size(), content.size() - 1}, {stream.size(), content.size() + 1},
                          {3, content.size()}};
    for (const Case c : cases) {
        const Bytes input(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(c.inputSize));
        Bytes output(c.outputSize);
        const ExpandStatus expected = ExpandBlock(output, input).status;
        ASSERT_NE(expected, ExpandStatus::Ok);
        for (std::size_t inputPiece : {5u, 1000u})
            EXPECT_EQ(reference::ExpandWindowed(input, c.outputSize, inputPiece, 1000).status, expected)
                << c.inputSize << " " << c.outputSize << " " << inputPiece;
    }
    // A match before the start of the output: literal 'A', then o = 1.
    EXPECT_EQ(reference::ExpandWindowed(FromHex({0x00, 0x00, 0x00, 0xA0, 0x41, 0x01}), 3, 64, 64).status,
              ExpandStatus::DistanceTooFar);
}

}  // namespace
}  // namespace package
