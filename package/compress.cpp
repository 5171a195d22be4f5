#include "package/compress.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <climits>
#include <type_traits>

#include "package/bit_writer.h"
#include "package/match_finder.h"

namespace package {
namespace {

// Costs in bits: a code bit costs one bit (32 of them fill a 4-byte control
// word), a data byte eight.
constexpr std::uint32_t LiteralCost = 1 + 8;

std::uint32_t ShortMatchCost(std::size_t distance) {
    return distance <= NearShortReach ? 3 + 8 : 3 + 8 + 3;
}

// The offset class of an offset, by the offset's 512-wide slice (every
// class begins on one).
constexpr std::size_t SliceSize = 512;
constexpr std::array<std::uint8_t, WindowSize / SliceSize> ClassOfSlice = [] {
    std::array<std::uint8_t, WindowSize / SliceSize> classes{};
    for (std::size_t slice = 0; slice < classes.size(); ++slice) {
        int c = LongOffsetClassCount - 1;
        while (LongOffsetClasses[c].base > slice * SliceSize) --c;
        classes[slice] = static_cast<std::uint8_t>(c);
    }
    return classes;
}();
static_assert(ClassOfSlice[1] == 1 && ClassOfSlice[3] == 2 && ClassOfSlice[7] == 3 && ClassOfSlice[15] == 4);

int ClassOf(std::size_t offset) {
    assert(offset < WindowSize);
    return ClassOfSlice[offset / SliceSize];
}

// The code bits of an offset class: 0 0, the class's zeros, and its 1 but
// for the farthest class.
constexpr int LongOffsetCodeBits(int offsetClass) {
    return 2 + offsetClass + (HasStopBit(offsetClass) ? 1 : 0);
}

// By the offset's slice.
constexpr std::array<std::uint8_t, ClassOfSlice.size()> LongOffsetCosts = [] {
    std::array<std::uint8_t, ClassOfSlice.size()> costs{};
    for (std::size_t slice = 0; slice < costs.size(); ++slice) {
        const int c = ClassOfSlice[slice];
        costs[slice] = static_cast<std::uint8_t>(LongOffsetCodeBits(c) + 8 + LongOffsetClasses[c].extraBits);
    }
    return costs;
}();

std::uint32_t LongOffsetCost(std::size_t distance) {
    assert(distance >= 1 && distance <= WindowSize);
    return LongOffsetCosts[(distance - 1) / SliceSize];
}

// The length code of a long match's length.
constexpr int LengthCodeOf(std::size_t length) {
    int code = 0;
    while (code < ByteLengthCode && LengthCodes[code + 1].base <= length) ++code;
    return code;
}

// Looked up in the parser's inner loop, which tries every length: the
// code's zeros, its 1 (but for the byte code), the extra bits or the byte.
constexpr std::array<std::uint8_t, MaxMatchLength + 1> LengthCosts = [] {
    std::array<std::uint8_t, MaxMatchLength + 1> costs{};
    for (std::size_t length = MinLongMatch; length <= MaxMatchLength; ++length) {
        const int code = LengthCodeOf(length);
        costs[length] = static_cast<std::uint8_t>(code + (code < ByteLengthCode ? 1 : 0) + LengthCodes[code].extraBits);
    }
    return costs;
}();

std::uint32_t LengthCost(std::size_t length) { return LengthCosts[length]; }

std::uint32_t MatchCost(std::size_t distance, std::size_t length) {
    return length == 2 ? ShortMatchCost(distance) : LongOffsetCost(distance) + LengthCost(length);
}

// A token of the parse: length 1 is a literal; 2 a short match; 3..282 a long match.
struct Token {
    std::uint16_t length;
    std::uint16_t distance;
};

class TokenWriter {
public:
    TokenWriter(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out)
        : input_(input), bits_(out) {}

    // Writes `token` found at `position`; returns the position after it.
    std::size_t Put(std::size_t position, Token token) {
        if (token.length == 1) {
            bits_.PutBits(1, 1);
            bits_.PutByte(input_[position]);
        } else if (token.length == 2) {
            PutShort(token.distance - 1u);
        } else {
            PutLong(token.distance - 1u, token.length);
        }
        return position + token.length;
    }

    void PutEndMarker() { PutShort(EndMarkerOffset); }

private:
    void PutShort(std::size_t offset) {
        assert(offset <= EndMarkerOffset);
        if (offset < NearShortReach) {
            bits_.PutBits(0b010, 3);
            bits_.PutByte(static_cast<unsigned>(offset));
        } else {
            bits_.PutBits(0b011, 3);
            bits_.PutByte(static_cast<unsigned>((offset - NearShortReach) >> 3));
            bits_.PutBits(static_cast<unsigned>((offset - NearShortReach) & 7), 3);
        }
    }

    void PutLong(std::size_t offset, std::size_t length) {
        assert(offset < WindowSize && length >= MinLongMatch && length <= MaxMatchLength);
        const int offsetClass = ClassOf(offset);
        const LongOffsetClass& c = LongOffsetClasses[offsetClass];
        bits_.PutBits(HasStopBit(offsetClass) ? 1 : 0, LongOffsetCodeBits(offsetClass));
        const std::size_t rest = offset - c.base;
        bits_.PutByte(static_cast<unsigned>(rest >> c.extraBits));
        bits_.PutBits(static_cast<unsigned>(rest), c.extraBits);

        const int code = LengthCodeOf(length);
        const LengthCode& l = LengthCodes[code];
        if (code < ByteLengthCode) {
            bits_.PutBits(1u << l.extraBits | static_cast<unsigned>(length - l.base), code + 1 + l.extraBits);
        } else {
            bits_.PutBits(0, code);
            bits_.PutByte(static_cast<unsigned>(length - l.base));
        }
    }

    std::span<const std::uint8_t> input_;
    BitWriter bits_;
};

// The longest candidate found, or none (length 0).
Match LongestUsable(const MatchList& found) {
    return found.count == 0 ? Match{0, 0} : found.items[found.count - 1];
}

void ParseGreedy(std::span<const std::uint8_t> input, const ParseSettings& settings,
                 TokenWriter& writer) {
    HashChainFinder finder(input);
    MatchList found;
    const bool lazy = settings.method == ParseSettings::Method::Lazy;
    auto search = [&](std::size_t position) {
        finder.Find(position, std::min(MaxMatchLength, input.size() - position), settings.depth, found);
        finder.Insert(position);
        return LongestUsable(found);
    };
    std::size_t position = 0;
    Match current = input.empty() ? Match{0, 0} : search(0);
    while (position < input.size()) {
        if (current.length < 2) {
            position = writer.Put(position, {1, 0});
            if (position < input.size()) current = search(position);
            continue;
        }
        if (lazy && current.length < settings.niceLength && position + 1 < input.size()) {
            Match next = search(position + 1);
            if (next.length > current.length) {
                position = writer.Put(position, {1, 0});
                current = next;
                continue;
            }
        } else if (position + 1 < input.size()) {
            finder.Insert(position + 1);
        }
        std::size_t end = writer.Put(position, {static_cast<std::uint16_t>(current.length),
                                                static_cast<std::uint16_t>(current.distance)});
        for (std::size_t p = position + 2; p < end; ++p) finder.Insert(p);
        position = end;
        if (position < input.size()) current = search(position);
    }
}

// The last length of each length code but the longest: a match cut short
// inside a code's range costs what the full range does, and cutting it
// there is never better than running on to the range's end, or to the
// match's end, and letting the next match start that much later (it stays
// as long or gets a shorter, no dearer length code). So the parse only
// tries those lengths; the one case this misses, a 3-byte match after the
// cut that a 2-byte one could not replace, costs at most a bit.
constexpr std::array<std::size_t, LengthCodeCount> LengthCodeEnds = [] {
    std::array<std::size_t, LengthCodeCount> ends{};
    for (int code = 0; code < ByteLengthCode; ++code) ends[code] = LengthCodes[code + 1].base - 1;
    ends[ByteLengthCode] = MaxMatchLength;
    return ends;
}();
static_assert(LengthCodeEnds[0] == 3 && LengthCodeEnds[4] == 26);

// The first of LengthCodeEnds above each length.
constexpr std::array<std::uint8_t, MaxMatchLength + 1> NextLengthCodeEnd = [] {
    std::array<std::uint8_t, MaxMatchLength + 1> next{};
    for (std::size_t length = 0; length <= MaxMatchLength; ++length) {
        std::uint8_t k = 0;
        while (k < ByteLengthCode && LengthCodeEnds[k] <= length) ++k;
        next[length] = k;
    }
    return next;
}();

// A position inside a match the parse takes whole is filed in the tree only
// as far as this many bytes: enough for the matches later positions want
// from it, and it usually meets its source that early.
constexpr std::size_t InsideMatchSameLength = 16;

// Searched positions in a row without a match of 3 bytes or more before
// the parse searches only every other position, until one has a match.
constexpr std::size_t MissesBeforeStriding = 1024;

// Shortest path over the positions of one block at a time, so that memory
// stays bounded; the match finder carries the window across blocks. The
// exhaustive parse walks whole hash chains and tries every length; the
// others search the match tree and try the lengths above.
template <class Finder>
class OptimalParser {
public:
    static constexpr std::size_t BlockSize = 1 << 16;
    static constexpr bool Exhaustive = std::is_same_v<Finder, HashChainFinder>;

    OptimalParser(std::span<const std::uint8_t> input, const ParseSettings& settings)
        : input_(input), settings_(settings), finder_(MakeFinder(input)),
          nodes_(std::min(BlockSize, input.size()) + 1) {}

    void Run(TokenWriter& writer) {
        for (std::size_t start = 0; start < input_.size();) {
            std::size_t end = std::min(input_.size(), start + BlockSize);
            ParseBlock(start, end);
            EmitBlock(start, end, writer);
            start = end;
        }
    }

private:
    static Finder MakeFinder(std::span<const std::uint8_t> input) {
        if constexpr (Exhaustive) {
            return HashChainFinder(input, true);
        } else {
            return TreeFinder(input);
        }
    }

    // The cheapest way found to reach a position of the block, above its
    // last token's length and distance: one comparison keeps the cheaper,
    // without a branch the parse could not predict.
    using Node = std::uint64_t;
    static constexpr Node Unreached = UINT64_MAX;
    static Token LastOf(Node n) {
        return {static_cast<std::uint16_t>(n >> 16), static_cast<std::uint16_t>(n)};
    }

    void Relax(std::size_t from, std::size_t length, std::uint32_t cost, std::size_t distance) {
        Node offer = (nodes_[from] & ~Node{UINT32_MAX}) + (Node{cost} << 32 | length << 16 | distance);
        Node& to = nodes_[from + length];
        to = std::min(to, offer);
    }

    void Find(std::size_t position, std::size_t limit) {
        if constexpr (Exhaustive) {
            finder_.Find(position, limit, settings_.depth, found_);
            finder_.Insert(position);
        } else {
            // The tree looks past the block's end; the block takes what fits.
            finder_.FindAndInsert(position, settings_.depth, found_);
            if (limit < MaxMatchLength) {
                std::size_t count = 0;
                while (count < found_.count && found_.items[count].length < limit) ++count;
                if (count < found_.count && limit >= 2) found_.items[count++].length = limit;
                found_.count = count;
            }
        }
    }

    void Skip(std::size_t position) {
        if constexpr (Exhaustive) {
            finder_.Insert(position);
        } else {
            finder_.Insert(position, settings_.depth, InsideMatchSameLength);
        }
    }

    void ParseBlock(std::size_t start, std::size_t end) {
        std::size_t size = end - start;
        std::fill(nodes_.begin(), nodes_.begin() + static_cast<std::ptrdiff_t>(size) + 1, Unreached);
        nodes_[0] = 0;
        std::size_t skipUntil = 0;
        for (std::size_t i = 0; i < size; ++i) {
            std::size_t position = start + i;
            if (i < skipUntil) {
                Skip(position);
                continue;
            }
            assert(nodes_[i] != Unreached);
            Relax(i, 1, LiteralCost, 0);
            if constexpr (!Exhaustive) {
                // Data that has gone long without a match is likely packed
                // already: every other position is left unsearched.
                if (misses_ >= MissesBeforeStriding && (i & 1)) {
                    finder_.Pass(position);
                    continue;
                }
            }
            Find(position, std::min(MaxMatchLength, size - i));
            misses_ = found_.LongestLength() >= 3 ? 0 : misses_ + 1;
            if (found_.LongestLength() >= settings_.niceLength) {
                const Match& longest = found_.items[found_.count - 1];
                Relax(i, longest.length, MatchCost(longest.distance, longest.length), longest.distance);
                skipUntil = i + longest.length;
                continue;
            }
            std::size_t covered = 1;
            for (const Match& m : found_) {
                if (covered < 2 && m.distance <= ShortMatchReach) {
                    Relax(i, 2, ShortMatchCost(m.distance), m.distance);
                }
                if (m.length >= 3) {
                    std::uint32_t offsetCost = LongOffsetCost(m.distance);
                    if constexpr (Exhaustive) {
                        for (std::size_t length = std::max<std::size_t>(covered + 1, 3); length <= m.length;
                             ++length) {
                            Relax(i, length, offsetCost + LengthCost(length), m.distance);
                        }
                    } else {
                        for (std::size_t k = NextLengthCodeEnd[covered]; LengthCodeEnds[k] < m.length; ++k) {
                            Relax(i, LengthCodeEnds[k], offsetCost + LengthCost(LengthCodeEnds[k]), m.distance);
                        }
                        Relax(i, m.length, offsetCost + LengthCost(m.length), m.distance);
                    }
                }
                covered = m.length;
            }
        }
    }

    void EmitBlock(std::size_t start, std::size_t end, TokenWriter& writer) {
        path_.clear();
        for (std::size_t i = end - start; i > 0; i -= LastOf(nodes_[i]).length) {
            assert(LastOf(nodes_[i]).length >= 1 && LastOf(nodes_[i]).length <= i);
            path_.push_back(LastOf(nodes_[i]));
        }
        std::size_t position = start;
        for (auto token = path_.rbegin(); token != path_.rend(); ++token) {
            position = writer.Put(position, *token);
        }
        assert(position == end);
    }

    std::span<const std::uint8_t> input_;
    ParseSettings settings_;
    Finder finder_;
    MatchList found_;
    std::size_t misses_ = 0;  // positions since the last match of 3 bytes or more
    std::vector<Node> nodes_;
    std::vector<Token> path_;
};

ParseSettings SettingsForLevel(int level) {
    using enum ParseSettings::Method;
    static constexpr ParseSettings Levels[BestLevel] = {
        {Greedy, 4, 32},   {Lazy, 16, 64},    {Lazy, 48, 128},
        {Optimal, 4, 16},  {Optimal, 6, 16},  {Optimal, 8, 24},
        {Optimal, 12, 32}, {Optimal, 12, 48}, {Optimal, 16, 48},
    };
    return Levels[std::clamp(level, FastestLevel, BestLevel) - 1];
}

}  // namespace

ParseSettings ExhaustiveSettings() {
    // The chain stops at the window's end anyway; no match is long enough to skip the search.
    return {ParseSettings::Method::Exhaustive, INT_MAX, MaxMatchLength + 1};
}

std::vector<std::uint8_t> CompressBlockWith(std::span<const std::uint8_t> input,
                                            const ParseSettings& settings) {
    std::vector<std::uint8_t> out;
    out.reserve(input.size() + input.size() / 8 + 16);
    {
        TokenWriter writer(input, out);
        switch (settings.method) {
            case ParseSettings::Method::Greedy:
            case ParseSettings::Method::Lazy: ParseGreedy(input, settings, writer); break;
            case ParseSettings::Method::Optimal: OptimalParser<TreeFinder>(input, settings).Run(writer); break;
            case ParseSettings::Method::Exhaustive:
                OptimalParser<HashChainFinder>(input, settings).Run(writer);
                break;
        }
        writer.PutEndMarker();
    }  // the writer's destructor stores the last control word
    return out;
}

std::vector<std::uint8_t> CompressBlock(std::span<const std::uint8_t> input, int level) {
    return CompressBlockWith(input, SettingsForLevel(level));
}

}  // namespace package
