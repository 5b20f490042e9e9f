// The real matcher's symbols against the plain reference matcher's, over generated inputs that
// reach every rule of the parse: the quarter chain once a match of 32 or more is in hand, chains
// far longer than 256 with the longer match only past the 256th candidate, the window slide,
// 3-byte matches around 4,096 back, and the nice length lowered near the end of the input.

#include "block_reader.h"
#include "entry_io.h"
#include "memory_io.h"
#include "quarter_chain.h"
#include "reference_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

// The real compressor's symbols, read back from its output; every block must be coded, not
// stored, so that none are hidden.
std::vector<blockreader::Symbol> realSymbols(const Bytes &input)
{
    MemoryIo io(input);
    uint16_t flags = 0;
    const zip::DeflateResult result = zip::deflateEntry(io, flags);
    EXPECT_FALSE(result.failed) << result.message;
    const blockreader::Stream stream = blockreader::read(io.output);
    EXPECT_EQ(stream.error, "");
    EXPECT_EQ(stream.data, input);
    std::vector<blockreader::Symbol> symbols;
    for (const blockreader::Block &block : stream.blocks) {
        EXPECT_NE(block.type, blockreader::BlockType::Stored) << "a stored block hides its symbols";
        symbols.insert(symbols.end(), block.symbols.begin(), block.symbols.end());
    }
    return symbols;
}

// Where the two parses part, with a few symbols of context.
std::string firstDifference(const std::vector<blockreader::Symbol> &real, const std::vector<blockreader::Symbol> &plain)
{
    size_t i = 0;
    while (i < real.size() && i < plain.size() && real[i] == plain[i])
        ++i;
    if (i == real.size() && i == plain.size())
        return {};
    std::string text = "symbol " + std::to_string(i) + " of " + std::to_string(real.size()) + " / " +
                       std::to_string(plain.size()) + ": real";
    for (size_t k = i; k < real.size() && k < i + 3; ++k)
        text += " " + blockreader::describe(real[k]);
    text += ", reference";
    for (size_t k = i; k < plain.size() && k < i + 3; ++k)
        text += " " + blockreader::describe(plain[k]);
    return text;
}

// Lines of a few fixed fields with varying numbers: many matches of 32 bytes and more, whose
// chains run to thousands of candidates, the longer matches far back.
Bytes records(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    const char *const fields[] = {"2026-12-08 10:11:12.345 kv4_cam INFO frame ", "2026-12-08 10:11:12.346 kv4_cam INFO frame ",
                                  "2026-12-08 10:11:12.345 kv4_usb WARN retry ", " exposure ", " gain ", " ok\n"};
    std::string text;
    while (text.size() < size) {
        text += fields[random() % 3];
        text += std::to_string(random() % (seed % 3 == 0 ? 40 : 4000));
        for (int i = 0; i < 3; ++i)
            text += fields[3 + random() % 3] + std::to_string(random() % 50);
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

// One block of `period` bytes repeated with a rare changed byte: long matches at one distance,
// and chains of equal strings as long as the window allows.
Bytes periodic(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    const size_t period = 200 + seed % 3000;
    Bytes block(period);
    for (uint8_t &byte : block)
        byte = uint8_t('a' + random() % 4);
    Bytes data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = random() % 997 == 0 ? uint8_t('A' + random() % 26) : block[i % period];
    return data;
}

// Words of a small alphabet: short matches of every length, 3-byte ones near and far.
Bytes words(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes data;
    while (data.size() < size) {
        const size_t length = 1 + random() % 7;
        for (size_t i = 0; i < length; ++i)
            data.push_back(uint8_t('a' + random() % 6));
        data.push_back(' ');
    }
    data.resize(size);
    return data;
}

struct Row {
    const char *kind;
    Bytes (*make)(size_t, uint32_t);
    size_t size;
    uint32_t seed;
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.kind << " " << row.size << " seed " << row.seed;
}

std::vector<Row> rows()
{
    std::vector<Row> list;
    // Sizes around the window's edges and past several slides; the end of every input lowers
    // the nice length.
    for (const size_t size : {0u, 1u, 300u, 32768u, 65273u, 65274u, 65536u, 65537u, 200000u, 600000u}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            list.push_back({"records", records, size, seed});
            list.push_back({"periodic", periodic, size, seed});
            list.push_back({"words", words, size, seed});
        }
    }
    return list;
}

class ReferenceMatcher : public ::testing::TestWithParam<Row> {};

INSTANTIATE_TEST_SUITE_P(Generated, ReferenceMatcher, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row> &info) {
                             return std::string(info.param.kind) + "_" + std::to_string(info.param.size) + "_" +
                                    std::to_string(info.param.seed);
                         });

} // namespace

TEST_P(ReferenceMatcher, realParseIsTheReferenceParse)
{
    const Bytes input = GetParam().make(GetParam().size, GetParam().seed);
    EXPECT_EQ(firstDifference(realSymbols(input), reference::parse(input)), "");
}

// Once a match of 32 or more is in hand, the next position walks only 256 candidates, also when
// its walk began beside the search before it: here the longer match lies past the 256th.
TEST(ReferenceMatcher, quarterChainStopsBeforeALongerMatchPastThe256thCandidate)
{
    std::mt19937 random(7);
    const QuarterChainText parts = quarterChainText(random);
    std::string text = parts.beforeX + parts.fromX;
    for (int i = 0; i < 1000; ++i)
        text += char('0' + random() % 10);
    const Bytes input(text.begin(), text.end());
    const std::vector<blockreader::Symbol> real = realSymbols(input);
    EXPECT_EQ(firstDifference(real, reference::parse(input)), "");
    // The symbol at X+1, the start of u in the last line, is the nearest match of 40, found within
    // its 256 candidates, not the one of 100 behind them.
    const size_t after = parts.beforeX.size() + 1;
    size_t at = 0;
    size_t index = 0;
    while (index < real.size() && at < after)
        at += std::max<size_t>(real[index++].length, 1);
    ASSERT_EQ(at, after);
    ASSERT_LT(index, real.size());
    EXPECT_EQ(real[index].length, 40u) << blockreader::describe(real[index]);
}
