// The deflate compressor and its block coder: exact bytes for small inputs worked out by
// hand, the matcher's and the coder's decisions seen through a test-only stream reader, and
// round trips through zlib's inflate.

#include "block_reader.h"
#include "blockcoder.h"
#include "entry_io.h"
#include "memory_io.h"
#include "segments.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using blockreader::BlockType;
using blockreader::Symbol;
using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

struct Deflated {
    Bytes bytes;
    zip::DeflateResult result;
    uint16_t flags = 0;
};

// The same input cut into segments of 4 KiB on two threads: the same bytes.
void expectSegmentedAlike(const Bytes &input, uint16_t flags, const Deflated &single)
{
    zip::Crew crew(2, 4096);
    zip::CrewThreads helper(crew);
    MemoryIo io(input);
    const zip::DeflateResult result = zip::deflateEntry(io, flags, crew);
    EXPECT_EQ(result.failed, single.result.failed);
    EXPECT_EQ(result.compressedSize, single.result.compressedSize);
    EXPECT_EQ(flags, single.flags);
    EXPECT_TRUE(io.output == single.bytes) << "segmented output differs";
}

// Every input deflated here is also deflated in segments, and must come out the same.
Deflated deflate(const Bytes &input, uint16_t flags = 0)
{
    MemoryIo io(input);
    Deflated d;
    d.flags = flags;
    d.result = zip::deflateEntry(io, d.flags);
    d.bytes = io.output;
    expectSegmentedAlike(input, flags, d);
    return d;
}

// zlib's inflate as the independent reader.
Bytes inflateRaw(const Bytes &compressed, size_t expectedSize)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expectedSize + 1);
    z.next_in = const_cast<Bytef *>(compressed.data());
    z.avail_in = uInt(compressed.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int status = inflate(&z, Z_FINISH);
    EXPECT_EQ(status, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the last block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

std::vector<Symbol> allSymbols(const blockreader::Stream &stream)
{
    std::vector<Symbol> symbols;
    for (const auto &block : stream.blocks)
        symbols.insert(symbols.end(), block.symbols.begin(), block.symbols.end());
    return symbols;
}

std::string describe(const std::vector<Symbol> &symbols)
{
    std::string text;
    for (const Symbol &s : symbols)
        text += blockreader::describe(s) + "; ";
    return text;
}

// ---- generated inputs, the same on every platform ----

class Generator {
public:
    explicit Generator(uint32_t seed) : engine(seed) {}
    uint32_t below(uint32_t n) { return uint32_t(engine() % n); }
    uint8_t byte() { return uint8_t(engine() >> 24); }

private:
    std::mt19937 engine;
};

Bytes randomBytes(size_t size, uint32_t seed)
{
    Generator g(seed);
    Bytes out(size);
    for (uint8_t &b : out)
        b = g.byte();
    return out;
}

Bytes text(size_t size, uint32_t seed)
{
    static const char *const words[] = {"camera", "frame", "buffer", "the", "of", "exposure", "gain",
                                        "trigger", "timeout", "device", "open", "close", "stream",
                                        "error", "ok", "width", "height", "pixel", "format", "a"};
    Generator g(seed);
    std::string out;
    while (out.size() < size) {
        out += words[g.below(20)];
        const uint32_t r = g.below(16);
        out += r == 0 ? ".\n" : r == 1 ? ", " : r == 2 ? " " + std::to_string(g.below(100000)) + " " : " ";
    }
    out.resize(size);
    return bytesOf(out);
}

Bytes runs(size_t size, uint32_t seed)
{
    Generator g(seed);
    Bytes out;
    while (out.size() < size)
        out.insert(out.end(), 1 + g.below(g.below(4) == 0 ? 2000 : 12), uint8_t("\0\xFF a"[g.below(4)]));
    out.resize(size);
    return out;
}

Bytes cameraLog(size_t size, uint32_t seed)
{
    static const char *const messages[] = {"frame received", "buffer queued", "exposure set",
                                           "trigger armed", "packet resend requested", "link up"};
    Generator g(seed);
    std::string out;
    uint64_t ms = 0;
    char line[160];
    while (out.size() < size) {
        ms += g.below(40);
        std::snprintf(line, sizeof line, "%02u:%02u:%02u.%03u [cam%u] %s id=0x%08X value=%u\n",
                      unsigned(ms / 3600000 % 24), unsigned(ms / 60000 % 60), unsigned(ms / 1000 % 60),
                      unsigned(ms % 1000), g.below(4), messages[g.below(6)], unsigned(g.below(1u << 20)),
                      g.below(4096));
        out += line;
    }
    out.resize(size);
    return bytesOf(out);
}

// Alternating stretches of the kinds above, so blocks change character midway.
Bytes mix(size_t size, uint32_t seed)
{
    Generator g(seed);
    Bytes out;
    for (uint32_t part = 0; out.size() < size; part++) {
        const size_t length = 1 + g.below(40000);
        const Bytes piece = part % 4 == 0 ? randomBytes(length, seed + part)
                          : part % 4 == 1 ? text(length, seed + part)
                          : part % 4 == 2 ? runs(length, seed + part)
                                          : cameraLog(length, seed + part);
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(size);
    return out;
}

// ---- exact bytes ----

TEST(DeflateBytes, emptyEntryIsOneFixedBlockWithOnlyTheEndCode)
{
    const Deflated d = deflate({}, 0x0008);
    EXPECT_EQ(d.bytes, (Bytes{0x03, 0x00}));
    EXPECT_EQ(d.result.compressedSize, 2u);
    EXPECT_FALSE(d.result.failed);
    EXPECT_EQ(d.flags, 0x000A) << "level 8 adds 0x0002 and keeps the other bits";
}

struct ExactCase {
    const char *input;
    Bytes expected;
};

class DeflateExactBytes : public ::testing::TestWithParam<ExactCase> {};

// Worked out by hand from the rules: one fixed last block (header bits 1, 1, 0); literals
// 0-143 as 8-bit codes 0x30 + value, lengths 3-10 as 7-bit codes 1-8, distances as 5-bit codes.
INSTANTIATE_TEST_SUITE_P(
    HandDerived, DeflateExactBytes,
    ::testing::Values(
        // literal 'a', end of block
        ExactCase{"a", {0x4B, 0x04, 0x00}},
        // 'a', 'a', then length 8 at distance 1: position 0 is never a candidate
        ExactCase{"aaaaaaaaaa", {0x4B, 0x4C, 0x84, 0x01, 0x00}},
        // 'a', 'b', 'c', 'a', then length 5 at distance 3: the first repeat starts at position
        // 0 and is missed, the lazy step takes the longer match one byte later
        ExactCase{"abcabcabc", {0x4B, 0x4C, 0x4A, 0x4E, 0x04, 0x23, 0x00}}));

TEST_P(DeflateExactBytes, matchesHandDerivedStream)
{
    const Bytes input = bytesOf(GetParam().input);
    const Deflated d = deflate(input);
    EXPECT_EQ(d.bytes, GetParam().expected);
    EXPECT_EQ(d.result.compressedSize, GetParam().expected.size());
    EXPECT_EQ(inflateRaw(d.bytes, input.size()), input);
}

// ---- the matcher, seen through the symbols of coded blocks ----

TEST(DeflateMatcher, repeatedByteGivesTwoLiteralsThenLongestMatches)
{
    const Bytes input(1000, 'x');
    const blockreader::Stream stream = blockreader::read(deflate(input).bytes);
    ASSERT_EQ(stream.error, "");
    const std::vector<Symbol> expected = {
        blockreader::literal('x'),    blockreader::literal('x'),    blockreader::match(258, 1),
        blockreader::match(258, 1), blockreader::match(258, 1), blockreader::match(224, 1)};
    EXPECT_EQ(allSymbols(stream), expected) << describe(allSymbols(stream));
}

TEST(DeflateMatcher, matchEndsAtTheFirstDifferingByteForEveryLength)
{
    // A byte (position 0 ends every chain, so nothing there is ever matched), 300 bytes
    // 0, 0, 1, 0, 2, 0, ... with no 3-byte string twice, then their first `length` bytes again
    // and a byte they never hold: 301 literals, one match of exactly that length, the last
    // literal.
    Bytes lead = {0xFD};
    for (uint8_t i = 0; i < 150; ++i)
        lead.insert(lead.end(), {i, 0});
    for (uint32_t length = 3; length <= 258; ++length) {
        Bytes input = lead;
        input.insert(input.end(), lead.begin() + 1, lead.begin() + 1 + length);
        input.push_back(0xFE);
        const blockreader::Stream stream = blockreader::read(deflate(input).bytes);
        ASSERT_EQ(stream.error, "");
        const std::vector<Symbol> symbols = allSymbols(stream);
        ASSERT_EQ(symbols.size(), 303u) << length;
        EXPECT_EQ(symbols[301], blockreader::match(length, 300)) << describe(symbols[301]);
        EXPECT_EQ(symbols[302], blockreader::literal(0xFE)) << length;
    }
}

TEST(DeflateMatcher, zeroRunAtTheEndStopsAtTheInput)
{
    // Past the input the window holds zeros, so the compare runs on to 258 there; the match
    // is cut to the bytes that are left. Worked by hand: 'a', 'a', 98 at distance 1 (the
    // lazy step finds nothing longer), 0, then 49 at distance 1.
    Bytes input(100, 'a');
    input.insert(input.end(), 50, 0);
    const Deflated d = deflate(input);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    const std::vector<Symbol> expected = {blockreader::literal('a'), blockreader::literal('a'),
                                          blockreader::match(98, 1), blockreader::literal(0),
                                          blockreader::match(49, 1)};
    EXPECT_EQ(allSymbols(stream), expected) << describe(allSymbols(stream));
    for (size_t zeros : {3, 4, 257, 258, 259, 1000, 70000}) {
        Bytes longer(100, 'a');
        longer.insert(longer.end(), zeros, 0);
        EXPECT_EQ(inflateRaw(deflate(longer).bytes, longer.size()), longer) << zeros << " zeros";
    }
}

// Bytes in which no 3-byte string occurs twice (up to 32,768 of them): bytes at even offsets
// have the high bit set and count up slowly, bytes at odd offsets count up below 0x80, so
// every pair at an even offset is unique and every string of three holds one.
Bytes noRepeats(size_t size)
{
    Bytes out(size);
    for (size_t i = 0; i < size; i++)
        out[i] = i % 2 == 0 ? uint8_t(0x80 | (i / 2 >> 7)) : uint8_t(i / 2 & 0x7F);
    return out;
}

// A marker, a filler without repeats and without the marker's bytes, and the marker again
// `distance` bytes after the first: the only match the input offers is the final marker, 3
// bytes long. The first byte keeps the marker off position 0, which is never a candidate.
Bytes markerAtDistance(uint32_t distance)
{
    Bytes in = {0xF3, 0xF0, 0xF1, 0xF2};
    const Bytes filler = noRepeats(distance - 3);
    in.insert(in.end(), filler.begin(), filler.end());
    in.insert(in.end(), {0xF0, 0xF1, 0xF2});
    return in;
}

struct FarMatchCase {
    uint32_t distance;
    bool matched;
};

class DeflateFarMatch : public ::testing::TestWithParam<FarMatchCase> {};

INSTANTIATE_TEST_SUITE_P(AroundTooFar, DeflateFarMatch,
                         ::testing::Values(FarMatchCase{3, true}, FarMatchCase{4096, true},
                                           FarMatchCase{4097, false}, FarMatchCase{20000, false}));

TEST_P(DeflateFarMatch, threeByteMatchIsUsedOnlyUpTo4096Back)
{
    const Bytes input = markerAtDistance(GetParam().distance);
    const Deflated d = deflate(input);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.data, input);
    const std::vector<Symbol> symbols = allSymbols(stream);
    std::vector<Symbol> expected;
    for (size_t i = 0; i < input.size() - (GetParam().matched ? 3 : 0); i++)
        expected.push_back(blockreader::literal(input[i]));
    if (GetParam().matched)
        expected.push_back(blockreader::match(3, GetParam().distance));
    EXPECT_EQ(symbols, expected);
}

// Inputs whose last match depends on how far the search goes. P = F0 F1 F2 opens every
// occurrence; C0 = 00 00 and Ci = (i >> 7, i & 0x7F) tell them apart; D is distinct bytes.
//   F9 | P C0 D | [lead: F6 P C0 D(first L - 6 bytes) F7] | P C1 ... P C(k-1) | F8 | [F6] P C0 D
// From the final P the only long match is the first occurrence, which is the last candidate
// of P's chain: k + 1 candidates back with a lead, k without. The lead gives the final F6 a
// match of length L, so the search at P starts from it. The marker bytes F0-F9 occur nowhere
// else, and no other 3 bytes share P's hash.
struct SearchCase {
    const char *name;
    uint32_t occurrences;  // k
    uint32_t lead;         // L, or 0 for no lead
    uint32_t tail;         // length of D
    Bytes literals;        // expected between F8 and the final match
    uint32_t length;       // of the final match
    bool fromLead;         // the final match copies the lead rather than the first occurrence
};

class DeflateSearchLimits : public ::testing::TestWithParam<SearchCase> {};

INSTANTIATE_TEST_SUITE_P(
    Limits, DeflateSearchLimits,
    ::testing::Values(
        // prevLength 2: 1024 candidates, the first occurrence is the 1024th
        SearchCase{"chain1024", 1024, 0, 40, {}, 45, false},
        // the 1025th is not tried; the search one byte later (a shorter chain) finds it
        SearchCase{"chain1025", 1025, 0, 40, {0xF0}, 44, false},
        // prevLength 32 (good length): a quarter of the chain, 256 candidates
        SearchCase{"good256th", 255, 32, 40, {0xF6}, 45, false},
        SearchCase{"good257th", 256, 32, 40, {}, 32, true},
        // prevLength below the lazy length 128: search on and take the longer match
        SearchCase{"lazy127", 1, 127, 140, {0xF6}, 145, false},
        // from 128 on, the previous match is taken without searching
        SearchCase{"lazy128", 1, 128, 140, {}, 128, true}),
    [](const ::testing::TestParamInfo<SearchCase> &info) { return std::string(info.param.name); });

TEST_P(DeflateSearchLimits, searchStopsAtChainAndLazyLimits)
{
    const SearchCase &c = GetParam();
    const Bytes p = {0xF0, 0xF1, 0xF2};
    Bytes d(c.tail);
    for (uint32_t j = 0; j < c.tail; j++)
        d[j] = uint8_t(0x10 + j);
    Bytes in = {0xF9};
    const size_t firstP = in.size();
    in.insert(in.end(), p.begin(), p.end());
    in.insert(in.end(), {0, 0});
    in.insert(in.end(), d.begin(), d.end());
    size_t leadStart = 0;
    if (c.lead != 0) {
        leadStart = in.size();
        in.push_back(0xF6);
        in.insert(in.end(), p.begin(), p.end());
        in.insert(in.end(), {0, 0});
        in.insert(in.end(), d.begin(), d.begin() + (c.lead - 6));
        in.push_back(0xF7);
    }
    for (uint32_t i = 1; i < c.occurrences; i++) {
        in.insert(in.end(), p.begin(), p.end());
        in.insert(in.end(), {uint8_t(i >> 7), uint8_t(i & 0x7F)});
    }
    in.push_back(0xF8);
    const size_t target = in.size();
    if (c.lead != 0)
        in.push_back(0xF6);
    const size_t targetP = in.size();
    in.insert(in.end(), p.begin(), p.end());
    in.insert(in.end(), {0, 0});
    in.insert(in.end(), d.begin(), d.end());

    const blockreader::Stream stream = blockreader::read(deflate(in).bytes);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.data, in);
    const std::vector<Symbol> symbols = allSymbols(stream);
    std::vector<Symbol> expected = {blockreader::literal(0xF8)};
    for (uint8_t byte : c.literals)
        expected.push_back(blockreader::literal(byte));
    expected.push_back(blockreader::match(c.length, uint32_t(c.fromLead ? target - leadStart : targetP - firstP)));
    // The separator's symbol is the one that covers byte target - 1.
    size_t covered = 0;
    auto at = symbols.begin();
    for (; at != symbols.end() && covered < target - 1; ++at)
        covered += at->length == 0 ? 1 : at->length;
    ASSERT_EQ(covered, target - 1) << "no symbol starts at the separator";
    const std::vector<Symbol> actual(at, at + std::min<ptrdiff_t>(symbols.end() - at, ptrdiff_t(expected.size())));
    EXPECT_EQ(actual, expected) << describe(actual);
}

TEST(DeflateMatcher, staleChainHeadAfterSlideIsNotTried)
{
    // 65,276 bytes: the window slides when strstart reaches 65,274 with two bytes left. The
    // last insertion, at 65,273, found a chain head at 65,000 (the last three bytes copy it);
    // after the slide that head lies beyond strstart and must not be searched. Text up front
    // keeps the one block coded, so its symbols show; the random tail offers no other match.
    Bytes input = text(64000, 7);
    const Bytes tail = randomBytes(1276, 7);
    input.insert(input.end(), tail.begin(), tail.end());
    std::copy(input.begin() + 65000, input.begin() + 65003, input.begin() + 65273);
    const Deflated d = deflate(input);
    EXPECT_EQ(d.result.message, nullptr);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    EXPECT_EQ(stream.data, input);
    const std::vector<Symbol> symbols = allSymbols(stream);
    ASSERT_FALSE(symbols.empty());
    EXPECT_EQ(symbols.back(), blockreader::match(3, 273)) << blockreader::describe(symbols.back());
}

TEST(DeflateMatcher, blockWhoseStartSlidOutIsNeverStored)
{
    // 32,767 bytes without repeats fill the first block with literals, and it is stored. The
    // second, random, starts at 32,767 and is still open when the window slides, so its input
    // is gone and it must be coded although storing it would be smaller.
    Bytes input = noRepeats(32767);
    const Bytes tail = randomBytes(67233, 11);
    input.insert(input.end(), tail.begin(), tail.end());
    const Deflated d = deflate(input);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    ASSERT_GE(stream.blocks.size(), 3u);
    EXPECT_EQ(stream.blocks[0].type, BlockType::Stored);
    EXPECT_EQ(stream.blocks[0].inputBytes, 32767u);
    const blockreader::Block &slid = stream.blocks[1];
    ASSERT_GT(slid.inputStart + slid.inputBytes, 65274u + 258u);
    EXPECT_NE(slid.type, BlockType::Stored);
    EXPECT_EQ(slid.symbols.size(), 32767u) << "a block of literals ends when the symbol buffer is full";
    EXPECT_GT((slid.endBit - slid.startBit) / 8, slid.inputBytes + 4) << "storing it would be smaller";
    EXPECT_EQ(inflateRaw(d.bytes, input.size()), input);
}

// Every block but the last ends at 32,767 symbols, or at the first multiple of 4,096 symbols
// where fewer than half of them are matches and the estimate (8 bits per symbol, 5 + extra
// bits per distance) is under half the input the block covers at that symbol. Returns the
// number of early ends.
size_t expectBlockEndsFollowRules(const blockreader::Stream &stream)
{
    size_t earlyEnds = 0;
    for (const blockreader::Block &block : stream.blocks) {
        size_t input = 0;
        size_t matches = 0;
        uint32_t distanceBits = 0;
        for (size_t n = 1; n <= block.symbols.size(); n++) {
            const Symbol &s = block.symbols[n - 1];
            const size_t inputAtSymbol = input + 1;  // the matcher is one byte past its start
            input += s.length == 0 ? 1 : s.length;
            if (s.length != 0) {
                matches++;
                distanceBits += 5 + blockreader::distanceExtraBits(s.distance);
            }
            const bool early = n % 4096 == 0 && matches < n / 2 && (n * 8 + distanceBits) / 8 < inputAtSymbol / 2;
            const bool end = early || n == 32767;
            earlyEnds += early;
            if (n < block.symbols.size()) {
                EXPECT_FALSE(end) << "block at " << block.inputStart << " runs past symbol " << n;
            } else if (!block.last) {
                EXPECT_TRUE(end) << "block at " << block.inputStart << " ends at symbol " << n;
            }
        }
    }
    return earlyEnds;
}

// Three random bytes and a 19-byte phrase, over and over: a third of the symbols are matches
// and the estimate is far below half the input, so blocks end at 4,096 symbols.
Bytes phrases(size_t size, uint32_t seed)
{
    Generator g(seed);
    const std::string phrase = "-frame-ok-exposure-";
    Bytes out;
    while (out.size() < size) {
        for (int i = 0; i < 3; i++)
            out.push_back(g.byte());
        out.insert(out.end(), phrase.begin(), phrase.end());
    }
    out.resize(size);
    return out;
}

TEST(DeflateMatcher, blocksEndEarlyOnlyAtMultiplesOf4096Symbols)
{
    const Bytes input = phrases(400000, 5);
    const Deflated d = deflate(input);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    EXPECT_GT(expectBlockEndsFollowRules(stream), 0u);
    EXPECT_EQ(inflateRaw(d.bytes, input.size()), input);
}

// ---- the block coder, fed directly ----

struct Coder {
    MemoryIo io;
    zip::FaultLog faults;
    zip::BlockCoder coder{io, faults};

    // Records `count` literals of one value, each covering one input byte.
    void literals(uint8_t byte, uint32_t count)
    {
        for (uint32_t i = 0; i < count; i++)
            coder.recordLiteral(byte, ++input);
    }
    uint32_t input = 0;
};

// Depth of a Huffman tree without a length limit (least frequent merged first, the shallower
// of equals first), to show that a case really needs the limit.
uint32_t unlimitedDepth(const std::vector<uint32_t> &freqs)
{
    using Node = std::pair<uint64_t, uint32_t>;  // frequency, depth
    std::vector<Node> heap;
    for (uint32_t f : freqs)
        if (f != 0)
            heap.push_back({f, 0});
    const auto later = [](const Node &a, const Node &b) { return a > b; };
    std::make_heap(heap.begin(), heap.end(), later);
    while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), later);
        const Node a = heap.back();
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), later);
        const Node b = heap.back();
        heap.pop_back();
        heap.push_back({a.first + b.first, std::max(a.second, b.second) + 1});
        std::push_heap(heap.begin(), heap.end(), later);
    }
    return heap.front().second;
}

// Kraft sum of a code, in units of 2^-15: 32,768 for a complete prefix code.
uint32_t kraft(const std::vector<uint8_t> &lengths)
{
    uint32_t sum = 0;
    for (uint8_t length : lengths)
        if (length != 0)
            sum += 1u << (15 - length);
    return sum;
}

struct ChoiceCase {
    uint32_t literals;
    BlockType type;
    size_t bytes;
};

class BlockCoderChoice : public ::testing::TestWithParam<ChoiceCase> {};

// n literals 'a' and the end code. Fixed: 8n + 7 bits. Dynamic: two codes of length 1 (n + 1
// bits); the distance tree's two stand-in codes cost nothing; the bit-length tree has codes
// 1 (4 times) and 18 (3 times, 7 extra bits each), 28 bits; 18 bit-length code lengths
// (3 each) and 14 header bits; n + 97 bits in all. Both round up with the 3 block-header bits.
INSTANTIATE_TEST_SUITE_P(FixedOrDynamic, BlockCoderChoice,
                         ::testing::Values(ChoiceCase{11, BlockType::Fixed, 13},    // 13 < 14
                                           ChoiceCase{12, BlockType::Fixed, 14},    // 14 = 14
                                           ChoiceCase{13, BlockType::Fixed, 15},    // 15 = 15
                                           ChoiceCase{14, BlockType::Dynamic, 15},  // 16 > 15
                                           ChoiceCase{40, BlockType::Dynamic, 18}));

TEST_P(BlockCoderChoice, fixedWinsTiesWithDynamic)
{
    const auto c = std::make_unique<Coder>();
    c->literals('a', GetParam().literals);
    const uint32_t size = c->coder.emitBlock(nullptr, GetParam().literals, true);
    EXPECT_EQ(c->faults.last, nullptr);
    EXPECT_EQ(size, GetParam().bytes);
    EXPECT_EQ(c->io.output.size(), GetParam().bytes);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks.size(), 1u);
    EXPECT_EQ(stream.blocks[0].type, GetParam().type);
    EXPECT_EQ(inflateRaw(c->io.output, GetParam().literals), Bytes(GetParam().literals, 'a'));
}

TEST(BlockCoder, dynamicBlockMatchesHandDerivedBytes)
{
    // 14 'a': header 101; HLIT 0, HDIST 1, HCLEN 14; bit-length code lengths, 1 only for
    // codes 18 and 1; literal lengths as 18(86) 1 18(127) 18(9) 1, distance lengths 1 1; then
    // fourteen 0 bits for 'a' and a 1 for the end code.
    const auto c = std::make_unique<Coder>();
    c->literals('a', 14);
    EXPECT_EQ(c->coder.emitBlock(nullptr, 14, true), 15u);
    EXPECT_EQ(c->io.output,
              (Bytes{0x05, 0xC1, 0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x56, 0xFF, 0x13, 0x00, 0x00, 0x02}));
}

struct StoredCase {
    const char *input;
    bool present;
    BlockType type;
};

class BlockCoderStored : public ::testing::TestWithParam<StoredCase> {};

// 13 literals cost 15 bytes fixed or dynamic; storing n bytes costs n + 4 plus the header.
INSTANTIATE_TEST_SUITE_P(StoredOrNot, BlockCoderStored,
                         ::testing::Values(StoredCase{"hello world", true, BlockType::Stored},    // 15 <= 15
                                           StoredCase{"hello world!", true, BlockType::Fixed},    // 16 > 15
                                           StoredCase{"hello world", false, BlockType::Fixed}));  // slid out

TEST_P(BlockCoderStored, storesBlockNotLargerThanCodedForms)
{
    const auto c = std::make_unique<Coder>();
    c->literals('a', 13);
    const Bytes input = bytesOf(GetParam().input);
    c->coder.emitBlock(GetParam().present ? input.data() : nullptr, uint32_t(input.size()), true);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks.size(), 1u);
    EXPECT_EQ(stream.blocks[0].type, GetParam().type);
    if (GetParam().type == BlockType::Stored) {
        Bytes expected = {0x01, 0x0B, 0x00, 0xF4, 0xFF};  // last, stored; LEN 11, NLEN
        expected.insert(expected.end(), input.begin(), input.end());
        EXPECT_EQ(c->io.output, expected);
    }
}

struct HeapOrderCase {
    std::array<uint32_t, 4> freqs;  // of literals 200..203; the end code occurs once
    std::vector<uint8_t> lengths;   // of literals 200..203 and the end code
};

class BlockCoderHeapOrder : public ::testing::TestWithParam<HeapOrderCase> {};

// Worked through the heap by hand. Equal frequencies: the end code pairs with 201 (200 and
// 202 tie with it and stay above), then 202 with 203, 200 with the first pair. Three
// symbols of frequency 1: 202 and the end code pair first (sifting down takes the right
// child of a tie), and 203 joins them one level higher.
INSTANTIATE_TEST_SUITE_P(
    Ties, BlockCoderHeapOrder,
    ::testing::Values(HeapOrderCase{{8, 8, 8, 8}, {2, 3, 2, 2, 3}}, HeapOrderCase{{60, 3, 1, 1}, {1, 2, 4, 3, 4}}));

TEST_P(BlockCoderHeapOrder, tiesFollowHeapOrder)
{
    const auto c = std::make_unique<Coder>();
    Bytes expected;
    for (uint8_t byte = 200; byte <= 203; byte++) {
        c->literals(byte, GetParam().freqs[byte - 200]);
        expected.insert(expected.end(), GetParam().freqs[byte - 200], byte);
    }
    c->coder.emitBlock(nullptr, c->input, true);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks[0].type, BlockType::Dynamic);
    const std::vector<uint8_t> &lengths = stream.blocks[0].literalLengths;
    EXPECT_EQ((std::vector<uint8_t>{lengths[200], lengths[201], lengths[202], lengths[203], lengths[256]}),
              GetParam().lengths);
    EXPECT_EQ(inflateRaw(c->io.output, expected.size()), expected);
}

struct EarlyEndCase {
    uint32_t matches;  // among the first 4,096 symbols, each a 3-byte match at distance 1
    uint32_t input;    // bytes the block covers at the 4,096th symbol
    bool ends;
};

class BlockCoderEarlyEnd : public ::testing::TestWithParam<EarlyEndCase> {};

// With m matches at distance 1 the estimate is (4096 * 8 + 5m) / 8 bytes: 5,375 for 2,047.
INSTANTIATE_TEST_SUITE_P(AtFirstStep, BlockCoderEarlyEnd,
                         ::testing::Values(EarlyEndCase{2047, 10752, true},    // 5375 < 5376
                                           EarlyEndCase{2047, 10751, false},   // 5375 = 5375
                                           EarlyEndCase{2048, 100000, false},  // half are matches
                                           EarlyEndCase{0, 65536, true}));

TEST_P(BlockCoderEarlyEnd, blockEndsEarlyOnlyWhenMostlyLiteralsShrinkWell)
{
    const auto c = std::make_unique<Coder>();
    for (uint32_t n = 1; n < 4096; n++) {
        const bool end = n <= GetParam().matches ? c->coder.recordMatch(1, 3, n) : c->coder.recordLiteral('a', n);
        ASSERT_FALSE(end) << "only multiples of 4,096 symbols end early, not " << n;
    }
    EXPECT_EQ(c->coder.recordLiteral('a', GetParam().input), GetParam().ends);
}

struct LoneCase {
    uint32_t distance;
    std::vector<uint8_t> distanceLengths;
};

class BlockCoderLoneCode : public ::testing::TestWithParam<LoneCase> {};

// The partner is the next symbol up while the used one is 0 or 1, symbol 0 otherwise.
INSTANTIATE_TEST_SUITE_P(Partners, BlockCoderLoneCode,
                         ::testing::Values(LoneCase{1, {1, 1}},                 // code 0 + 1
                                           LoneCase{2, {0, 1, 1}},              // code 1 + 2
                                           LoneCase{7, {1, 0, 0, 0, 0, 1}},     // code 5 + 0
                                           LoneCase{25, {1, 0, 0, 0, 0, 0, 0, 0, 0, 1}}));  // 9 + 0

TEST_P(BlockCoderLoneCode, loneDistanceCodeGetsTwoOneBitCodes)
{
    const auto c = std::make_unique<Coder>();
    c->literals('a', 30);
    c->coder.recordMatch(GetParam().distance, 3, 33);
    c->coder.emitBlock(nullptr, 33, true);
    EXPECT_EQ(c->faults.last, nullptr);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks[0].type, BlockType::Dynamic);
    EXPECT_EQ(stream.blocks[0].distanceLengths, GetParam().distanceLengths);
    EXPECT_EQ(inflateRaw(c->io.output, 33), Bytes(33, 'a'));
}

TEST(BlockCoder, fibonacciFrequenciesStillDecode)
{
    // Literal i occurs Fib(i + 2) times (1, 2, 3, 5, ..., 10946); with the end code's 1 the
    // frequencies are the Fibonacci numbers, every merge takes the tree one level deeper, and
    // unlimited the code would be 20 levels deep. Capping it must still fill the code space.
    const auto c = std::make_unique<Coder>();
    std::vector<uint32_t> freqs(257, 0);
    freqs[256] = 1;  // the end code
    Bytes expected;
    for (uint32_t i = 0, a = 1, b = 2; i < 20; i++, b += a, a = b - a) {
        freqs['A' + i] = a;
        c->literals(uint8_t('A' + i), a);
        expected.insert(expected.end(), a, uint8_t('A' + i));
    }
    ASSERT_GT(unlimitedDepth(freqs), 15u);
    c->coder.emitBlock(nullptr, c->input, true);
    EXPECT_EQ(c->faults.last, nullptr);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks[0].type, BlockType::Dynamic);
    const std::vector<uint8_t> &lengths = stream.blocks[0].literalLengths;
    EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), 15);
    EXPECT_EQ(kraft(lengths), 32768u);
    EXPECT_EQ(inflateRaw(c->io.output, expected.size()), expected);
}

TEST(BlockCoder, cappedLengthsGoToRarestSymbolsFirst)
{
    // Unlimited, this code is 22 levels deep with pairs of leaves low down. After the repair
    // the lengths are handed out again in the order the leaves left the heap, so no symbol
    // may end up with a longer code than a rarer one.
    const std::vector<uint32_t> freqs = {1,  1,  2,   2,   1,   2,   2,   2,    9,    12,   17,
                                         52, 124, 133, 313, 767, 748, 1947, 4341, 7543, 12494};
    const auto c = std::make_unique<Coder>();
    Bytes expected;
    for (uint8_t n = 0; n < freqs.size(); n++) {
        c->literals(n, freqs[n]);
        expected.insert(expected.end(), freqs[n], n);
    }
    std::vector<uint32_t> withEnd = freqs;
    withEnd.push_back(1);
    ASSERT_GT(unlimitedDepth(withEnd), 15u);
    c->coder.emitBlock(nullptr, c->input, true);
    EXPECT_EQ(c->faults.last, nullptr);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    ASSERT_EQ(stream.blocks[0].type, BlockType::Dynamic);
    const std::vector<uint8_t> &lengths = stream.blocks[0].literalLengths;
    EXPECT_EQ(kraft(lengths), 32768u);
    for (size_t a = 0; a < freqs.size(); a++) {
        for (size_t b = 0; b < freqs.size(); b++) {
            if (freqs[a] < freqs[b]) {
                EXPECT_GE(lengths[a], lengths[b]) << "symbol " << a << " is rarer than " << b;
            }
        }
    }
    EXPECT_EQ(inflateRaw(c->io.output, expected.size()), expected);
}

TEST(BlockCoder, bitLengthTreeDeeperThanSevenStillDecodes)
{
    // Literal code lengths chosen so that the bit-length codes are skewed enough for a tree
    // 10 levels deep: literals per length 1..15, and the end code adds one more 15.
    // Frequencies of 2^(15 - length) make exactly these the optimal lengths, and neighbours
    // never share a length, so each length is sent as a code of its own.
    const uint32_t perLength[16] = {0, 0, 0, 0, 0, 1, 5, 99, 9, 13, 22, 39, 65, 1, 1, 1};
    uint32_t left[16];
    std::copy(perLength, perLength + 16, left);
    std::vector<uint8_t> lengths;
    for (uint32_t n = 0, previous = 0; n < 256; n++) {
        uint32_t pick = 0;
        for (uint32_t l = 1; l < 16; l++)
            if (l != previous && left[l] > left[pick])
                pick = l;
        ASSERT_NE(pick, 0u);
        left[pick]--;
        lengths.push_back(uint8_t(pick));
        previous = pick;
    }
    const auto c = std::make_unique<Coder>();
    Bytes expected;
    for (uint32_t n = 0; n < 256; n++) {
        const uint32_t freq = 1u << (15 - lengths[n]);
        c->literals(uint8_t(n), freq);
        expected.insert(expected.end(), freq, uint8_t(n));
    }
    ASSERT_EQ(c->input, 32767u);
    c->coder.emitBlock(nullptr, c->input, true);
    EXPECT_EQ(c->faults.last, nullptr);
    const blockreader::Stream stream = blockreader::read(c->io.output);
    ASSERT_EQ(stream.error, "");
    const blockreader::Block &block = stream.blocks[0];
    ASSERT_EQ(block.type, BlockType::Dynamic);
    ASSERT_EQ(std::vector<uint8_t>(block.literalLengths.begin(), block.literalLengths.end() - 1), lengths);
    std::vector<uint32_t> bitLengthFreqs(19, 0);
    for (uint8_t symbol : block.lengthSymbols)
        bitLengthFreqs[symbol]++;
    ASSERT_GT(unlimitedDepth(bitLengthFreqs), 7u);
    EXPECT_EQ(*std::max_element(block.bitLengthLengths.begin(), block.bitLengthLengths.end()), 7);
    EXPECT_EQ(inflateRaw(c->io.output, expected.size()), expected);
}

// ---- output that cannot be written ----

// A source that hands out one byte at a time, as a slow pipe or a filtering reader may.
class TrickleIo : public MemoryIo {
public:
    using MemoryIo::MemoryIo;
    uint32_t read(uint8_t *buffer, uint32_t maxBytes) override { return MemoryIo::read(buffer, std::min(maxBytes, 1u)); }
};

// The bytes depend on the input alone: reads that come back short are read on until the window
// has what it asked for. Here a source handing out a few bytes at a time would have the window
// slide when strstart is 65,274 rather than one pass later, which turns the string 32,506 bytes
// back, at the window's new position 0, into "no candidate", and the match into literals.
TEST(DeflateMatcher, shortReadsGiveTheBytesOfWholeReads)
{
    // Letters around, and a string of bytes whose hashes no letters share, so that the string at
    // 32,768 is the newest in its chain.
    std::mt19937 random(9);
    Bytes input(70000);
    for (uint8_t &byte : input)
        byte = uint8_t('a' + random() % 15);
    for (size_t i = 0; i < 100; ++i)
        input[32768 + i] = input[65274 + i] = uint8_t(0xF0 + random() % 16);
    TrickleIo io(input);
    uint16_t flags = 0;
    const zip::DeflateResult result = zip::deflateEntry(io, flags);
    EXPECT_FALSE(result.failed);
    EXPECT_TRUE(io.output == deflate(input).bytes);
}

class ShortWriteIo : public MemoryIo {
public:
    ShortWriteIo(Bytes input, size_t fullWrites) : MemoryIo(std::move(input)), fullWrites(fullWrites) {}
    uint32_t writeLimit(uint32_t count) override { return writes <= fullWrites ? count : count / 2; }

private:
    size_t fullWrites;
};

class DeflateShortWrite : public ::testing::TestWithParam<size_t> {};

INSTANTIATE_TEST_SUITE_P(AfterWrites, DeflateShortWrite, ::testing::Values(0, 1, 2, 5));

TEST_P(DeflateShortWrite, stopsWritingAndReadingAfterShortWrite)
{
    // A mix of stored and coded blocks, far more input than one window.
    Bytes input = randomBytes(400000, 17);
    const Bytes tail = text(400000, 18);
    input.insert(input.end(), tail.begin(), tail.end());
    ShortWriteIo io(input, GetParam());
    uint16_t flags = 0;
    zip::deflateEntry(io, flags);
    EXPECT_EQ(io.writes, GetParam() + 1) << "no write after the short one";
    EXPECT_LT(io.position, input.size()) << "reading stops once output is lost";
}

// ---- round trips ----

struct RoundTripCase {
    const char *kind;
    Bytes (*make)(size_t, uint32_t);
    size_t size;
};

void PrintTo(const RoundTripCase &row, std::ostream *out)
{
    *out << row.kind << " input of " << row.size << " bytes";
}

std::string roundTripName(const ::testing::TestParamInfo<RoundTripCase> &info)
{
    return std::string(info.param.kind) + "_" + std::to_string(info.param.size);
}

std::vector<RoundTripCase> roundTripCases()
{
    const std::pair<const char *, Bytes (*)(size_t, uint32_t)> kinds[] = {
        {"random", randomBytes}, {"text", text}, {"runs", runs}, {"log", cameraLog}, {"mix", mix}};
    const size_t sizes[] = {1, 2, 3, 4, 261, 262, 263, 4097, 32767, 32768, 65273, 65274, 65275, 65536, 65537, 300000};
    std::vector<RoundTripCase> cases;
    for (const auto &kind : kinds)
        for (size_t size : sizes)
            cases.push_back({kind.first, kind.second, size});
    cases.push_back({"mix", mix, 900000});
    cases.push_back({"log", cameraLog, 700000});
    return cases;
}

class DeflateRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

INSTANTIATE_TEST_SUITE_P(Generated, DeflateRoundTrip, ::testing::ValuesIn(roundTripCases()), roundTripName);

TEST_P(DeflateRoundTrip, inflatesToInputWithExactSize)
{
    const Bytes input = GetParam().make(GetParam().size, uint32_t(GetParam().size));
    const Deflated d = deflate(input);
    EXPECT_EQ(d.result.message, nullptr);
    EXPECT_FALSE(d.result.failed);
    EXPECT_EQ(d.result.compressedSize, d.bytes.size());
    EXPECT_EQ(inflateRaw(d.bytes, input.size()), input);
    const blockreader::Stream stream = blockreader::read(d.bytes);
    ASSERT_EQ(stream.error, "");
    expectBlockEndsFollowRules(stream);
}

} // namespace
