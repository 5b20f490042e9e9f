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

namespace {

using zip::Meeting;
using zip::SyncPoint;
using zip::SyncRecord;

struct MergeRow {
    const char *name;
    SyncRecord before;
    size_t from;
    SyncRecord after;
    std::optional<Meeting> meeting;
};

// A script of `symbols` from `start`, its records made by walking their lengths.
zip::Script script(uint64_t start, std::vector<uint32_t> symbols, uint64_t headEnd, uint64_t tailFrom)
{
    zip::Script s;
    s.start = s.end = start;
    for (const uint32_t symbol : symbols) {
        if (symbol & zip::scriptSymbol::sync) {
            const SyncPoint point{s.end, s.symbols.size()};
            s.lastSync = point;
            if (point.position < headEnd)
                s.head.push_back(point);
            else if (point.position >= tailFrom)
                s.tail.push_back(point);
        }
        s.symbols.push_back(symbol);
        s.end += zip::scriptSymbol::length(symbol);
    }
    return s;
}

void expectRecord(const SyncRecord &got, const SyncRecord &expected, const char *what)
{
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].position, expected[i].position) << what << " " << i;
        EXPECT_EQ(got[i].index, expected[i].index) << what << " " << i;
    }
}

} // namespace

// The join on hand-written records: the first position in sync in both, the earlier parse
// counted only from its share's first symbol on.
TEST(SyncMerge, findsTheFirstPositionBothAreInSyncAt)
{
    const MergeRow rows[] = {
        {"meetAtFirstShared", {{90, 0}, {100, 4}, {104, 5}, {110, 7}}, 0, {{100, 0}, {110, 3}}, Meeting{100, 4, 0}},
        {"skipsPositionsOnlyOneHas", {{100, 4}, {103, 5}, {109, 6}}, 0, {{101, 0}, {105, 1}, {109, 3}},
         Meeting{109, 6, 3}},
        {"ignoresSymbolsBeforeTheShare", {{100, 4}, {109, 6}}, 5, {{100, 0}, {109, 3}}, Meeting{109, 6, 3}},
        {"countsTheSharesFirstSymbol", {{100, 4}, {109, 6}}, 4, {{100, 0}, {109, 3}}, Meeting{100, 4, 0}},
        {"lastPointsMeet", {{100, 1}, {250, 9}}, 0, {{120, 0}, {250, 30}}, Meeting{250, 9, 30}},
        {"neverInStep", {{100, 1}, {102, 2}}, 0, {{101, 0}, {103, 1}}, std::nullopt},
        {"nextHasNoPoint", {{100, 1}}, 0, {}, std::nullopt},
        {"shareStartsPastEveryPoint", {{100, 1}, {120, 2}}, 3, {{100, 0}, {120, 5}}, std::nullopt},
    };
    for (const MergeRow &row : rows) {
        const std::optional<Meeting> found = zip::firstMeeting(row.before, row.from, row.after);
        ASSERT_EQ(found.has_value(), row.meeting.has_value()) << row.name;
        if (found) {
            EXPECT_EQ(found->position, row.meeting->position) << row.name;
            EXPECT_EQ(found->last, row.meeting->last) << row.name;
            EXPECT_EQ(found->first, row.meeting->first) << row.name;
        }
    }
}

// A bridge that met the next parse takes over its symbols from the meeting on, and with them its
// tail record and last point in sync, their indexes counted in the bridge.
TEST(SyncMerge, bridgeGoesOnAsTheParseItMet)
{
    namespace symbol = zip::scriptSymbol;
    const uint32_t s = symbol::sync;
    // The next parse from 1000: a literal, a match of 5 to 1006, a literal, a match of 3 in sync at
    // 1007, then literals in sync at 1010 and 1011 (its tail from 1010).
    const zip::Script after = script(1000, {s | 'a', symbol::makeMatch(4, 5), 'b', s | symbol::makeMatch(1, 3), s | 'c', s | 'd'},
                                     1008, 1010);
    expectRecord(after.head, {{1000, 0}, {1007, 3}}, "head");
    expectRecord(after.tail, {{1010, 4}, {1011, 5}}, "tail");
    // The bridge from 998: two literals, then a match of 7 in sync at 1000, which stops at 1007.
    zip::Script bridge = script(998, {s | 'x', 'y', s | symbol::makeMatch(2, 7)}, 998, 1010);
    bridge.met = 3; // the match at 1007
    zip::continueAs(bridge, after);
    EXPECT_EQ(bridge.end, after.end);
    const std::vector<uint32_t> expected = {s | 'x', 'y', s | symbol::makeMatch(2, 7), s | symbol::makeMatch(1, 3),
                                            s | 'c', s | 'd'};
    EXPECT_EQ(bridge.symbols, expected);
    expectRecord(bridge.tail, {{1010, 4}, {1011, 5}}, "bridge's tail");
    ASSERT_TRUE(bridge.lastSync.has_value());
    EXPECT_EQ(bridge.lastSync->position, 1011u);
    EXPECT_EQ(bridge.lastSync->index, 5u);
}

// The parse records every symbol whose pass started in sync before its head's end and from its
// tail on, at the positions the symbols' lengths give, and nothing in between: with both edges
// on points in sync, the head's left out and the tail's kept.
TEST(SyncMerge, parseRecordsItsPointsInSyncWhereTheRangeAsks)
{
    const Bytes input = cameraLog(120000, 3);
    const auto parse = [&](const zip::ParseRange &range) {
        MemoryIo io(input);
        zip::Script parsed;
        zip::FaultLog faults;
        zip::parseScript(io, range, nullptr, parsed, faults);
        EXPECT_EQ(faults.last, nullptr);
        return parsed;
    };
    const zip::Script whole = parse({40000, 80000, 80000, 80000});
    ASSERT_GT(whole.head.size(), 1000u);
    const uint64_t headEnd = whole.head[whole.head.size() / 4].position;
    const uint64_t tailFrom = whole.head[whole.head.size() * 3 / 4].position;
    for (const zip::ParseRange range : {zip::ParseRange{40000, 80000, headEnd, tailFrom}, zip::ParseRange{50000, 60000}}) {
        const zip::Script parsed = parse(range);
        const zip::Script walked = script(range.start, parsed.symbols, range.headEnd, range.tailFrom);
        EXPECT_EQ(parsed.end, walked.end);
        expectRecord(parsed.head, walked.head, "head");
        expectRecord(parsed.tail, walked.tail, "tail");
        ASSERT_TRUE(parsed.lastSync.has_value());
        EXPECT_EQ(parsed.lastSync->index, walked.lastSync->index);
        EXPECT_EQ(parsed.lastSync->position, walked.lastSync->position);
    }
    const zip::Script edges = parse({40000, 80000, headEnd, tailFrom});
    EXPECT_LT(edges.head.back().position, headEnd);
    EXPECT_EQ(edges.tail.front().position, tailFrom);
}
