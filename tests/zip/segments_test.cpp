// One entry deflated on several threads must give the single-threaded compressor's bytes
// exactly, however the segments fall: tiny segments that force many joins, and inputs made to
// resist the join.

#include "memory_io.h"
#include "quarter_chain.h"
#include "segments.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes deflated(const Bytes &input, uint16_t &flags, zip::DeflateResult &result)
{
    MemoryIo io(input);
    result = zip::deflateEntry(io, flags);
    return io.output;
}

// A camera log: a few fixed fields with counters, and now and then a line repeated from far back.
Bytes cameraLog(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    const char *const kinds[] = {"frame grabbed", "exposure set", "trigger armed", "buffer queued", "link up"};
    std::string text;
    std::vector<std::string> lines;
    for (uint32_t n = 0; text.size() < size; ++n) {
        std::string line;
        if (lines.size() > 8 && random() % 7 == 0) {
            line = lines[random() % lines.size()];
        } else {
            line = "2026-12-08 12:" + std::to_string(10 + n / 6000 % 50) + ":" + std::to_string(10 + n / 100 % 50) +
                   "." + std::to_string(100 + n % 900) + " cam" + std::to_string(random() % 4) + " " +
                   kinds[random() % 5] + " id=" + std::to_string(n) + " value=" + std::to_string(random() % 100000) +
                   "\n";
            lines.push_back(line);
        }
        text += line;
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t &b : bytes)
        b = uint8_t(random());
    return bytes;
}

// `period` random bytes over and over, with a byte changed now and then so that matches end.
Bytes periodic(size_t size, uint32_t period)
{
    Bytes block = randomBytes(period, period);
    Bytes bytes(size);
    std::mt19937 random(period);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = random() % 5000 == 0 ? uint8_t(random()) : block[i % period];
    return bytes;
}

// Runs of one byte whose lengths are never a multiple of a match's.
Bytes runs(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() < size)
        bytes.insert(bytes.end(), 1 + random() % 20000, uint8_t(random() % 3));
    bytes.resize(size);
    return bytes;
}

struct Row {
    std::string name;
    Bytes input;
    uint32_t segment;
    uint32_t threads;
};

void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }

std::vector<Row> rows()
{
    std::vector<Row> rows;
    const auto add = [&](const std::string &kind, const Bytes &input) {
        for (const uint32_t segment : {4096u, 65536u})
            for (const uint32_t threads : {2u, 3u})
                rows.push_back({kind + "_" + std::to_string(input.size()) + "_segment" + std::to_string(segment) +
                                    "_threads" + std::to_string(threads),
                                input, segment, threads});
    };
    // Around the least input that is cut at all, and around the window's edges past it.
    for (const size_t size : {0, 1, 9215, 9216, 9217, 65273, 65274, 65275, 65536, 65537, 98304, 131072, 140000})
        add("log", cameraLog(size, uint32_t(size)));
    add("log", cameraLog(1200000, 7));
    add("random", randomBytes(300000, 3));
    // One byte throughout: matches of 258 at distance 1 that a fresh parse starts out of step with.
    add("oneByte", Bytes(400000, 'a'));
    add("runs", runs(600000, 5));
    // Periods near the segment sizes, so that the repeat lies just behind or past each cut.
    for (const uint32_t period : {4095u, 4096u, 4097u, 32767u, 32768u, 32769u, 65535u, 65537u})
        add("period" + std::to_string(period), periodic(500000, period));
    // A long repeat at the very end: the nice length is lowered in the last stretch.
    Bytes tail = cameraLog(300000, 11);
    const Bytes again(tail.end() - 5000, tail.end());
    tail.insert(tail.end(), again.begin(), again.end());
    add("repeatAtEnd", tail);
    return rows;
}

class Segmented : public ::testing::TestWithParam<Row> {};

INSTANTIATE_TEST_SUITE_P(Inputs, Segmented, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row> &info) { return info.param.name; });

TEST_P(Segmented, givesTheSingleThreadedBytes)
{
    const Row &row = GetParam();
    uint16_t flags = 0;
    zip::DeflateResult single;
    const Bytes expected = deflated(row.input, flags, single);
    ASSERT_FALSE(single.failed);

    zip::Crew crew(row.threads, row.segment);
    zip::CrewThreads helpers(crew);
    MemoryIo io(row.input);
    uint16_t parallelFlags = 0;
    const zip::DeflateResult parallel = zip::deflateEntry(io, parallelFlags, crew);
    EXPECT_EQ(parallel.message, nullptr);
    EXPECT_FALSE(parallel.failed);
    EXPECT_EQ(parallelFlags, flags);
    EXPECT_EQ(parallel.compressedSize, single.compressedSize);
    ASSERT_EQ(io.output.size(), expected.size());
    EXPECT_TRUE(io.output == expected);
}

} // namespace

namespace {

// A segment starts right after X, where the true parse has a literal X and a match of 36 in hand
// from X: it walks only a quarter of the chain there and takes the nearer match of 40. A fresh
// parse from that position walks the whole chain and takes the match of 100 behind it, so the
// two must not be joined there, though both have a symbol starting at it.
TEST(Segmented, joinsOnlyWhereBothParsesStartInSync)
{
    std::mt19937 random(7);
    const QuarterChainText parts = quarterChainText(random);
    const size_t segment = 4096;
    // Bytes no line holds, in front, so that the position after X falls on a segment's start.
    std::string text;
    while ((text.size() + parts.beforeX.size() + 1) % segment != 0)
        text += char(0x80 + random() % 0x80);
    text += parts.beforeX + parts.fromX;
    for (int i = 0; i < 12000; ++i)
        text += char('0' + random() % 10);
    const Bytes input(text.begin(), text.end());

    uint16_t flags = 0;
    zip::DeflateResult single;
    const Bytes expected = deflated(input, flags, single);
    zip::Crew crew(2, segment);
    zip::CrewThreads helpers(crew);
    MemoryIo io(input);
    const zip::DeflateResult parallel = zip::deflateEntry(io, flags, crew);
    EXPECT_FALSE(parallel.failed);
    EXPECT_TRUE(io.output == expected);
}

} // namespace
