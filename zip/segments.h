#pragma once
// One entry deflated on several threads, byte for byte as the single-threaded compressor does it.
//
// The input is cut into segments. Each is parsed on its own thread, its chains rebuilt from the
// 32 KiB before it, and the parse runs a little past the segment's end. The parse of the next
// segment starts fresh, as if a match had just ended at its start. Wherever two parses both
// start a pass in sync (no match in hand) at the same position, they go on identically, so the
// parses are joined at the first such position. One thread then codes the joined symbols in
// order, with every window fill, slide and block end where the single-threaded compressor has
// them, and parses the last stretch of the input itself, where the nice length and the stale
// bytes past the input's end come into play.
//
// The join. A pass that starts in sync depends only on the input and the chains, and both parses
// build the same chains for every position they cover (the essay at the head of deflate.cpp), so
// from a position where both start a pass in sync they find the same symbols up to where the
// first one stops. Each parse records its points in sync (position, symbol index) as it goes,
// but only where a join looks: in its head, the first 4 KiB it covers, and from the next
// segment's start on, its overlap with the next parse. The join is then the merge of the
// previous parse's tail with the next one's head: the first position in both ends the previous
// share at its index there and starts the next one at its own. Where they share no position (the
// parses never fall into step within the overlap), the previous parse goes on from its last
// point in sync, walking the next one's symbols alongside, and stops where both are in sync at
// the same position; from there it goes on as the next parse does, which it replaces
// (continueAs). Met nowhere, it parses the whole segment.
// The merge and the bridge's take-over are tested on hand-written records and scripts in
// segments_test (SyncMerge), the records against the parse's own symbols there too; that the
// joined parse is the single-threaded one is tested byte for byte on generated inputs and
// segment sizes there, in batch_test and by the deflate and writer fuzz targets.

#include "blockcoder.h"
#include "entry_io.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zip {

// A symbol of a parse, packed into 32 bits: a literal byte, or a match with its length - 3 in
// the low byte and its distance - 1 above; and whether the pass at its position started in sync.
namespace scriptSymbol {
constexpr uint32_t sync = 1u << 31;
constexpr uint32_t match = 1u << 30;
inline uint32_t makeMatch(uint32_t distance, uint32_t length)
{
    return match | (distance - 1) << 8 | (length - 3);
}
inline uint32_t length(uint32_t symbol) { return symbol & match ? (symbol & 0xFF) + 3 : 1; }
inline uint32_t distance(uint32_t symbol) { return ((symbol >> 8) & 0x7FFF) + 1; }
} // namespace scriptSymbol

// Where a parse started a pass in sync: its position, and the index of the symbol it produced
// there. A record lists such points by position, and so by index.
struct SyncPoint {
    uint64_t position;
    size_t index;
};
using SyncRecord = std::vector<SyncPoint>;

// What a parse covers: from `start`, as if a match had just ended there, up to the first pass
// at or after `stopAt`. It records its points in sync before `headEnd` and from `tailFrom` on,
// the stretches where a join looks for them.
struct ParseRange {
    uint64_t start = 0;
    uint64_t stopAt = 0;
    uint64_t headEnd = 0;
    uint64_t tailFrom = UINT64_MAX;
};

// The symbols a parse found for the input from `start` up to `end`.
struct Script {
    uint64_t start = 0;
    uint64_t end = 0;
    std::vector<uint32_t> symbols;
    std::optional<size_t> met; // where it stopped in sync: the index of the symbol it met there
    SyncRecord head;  // its points in sync before the range's `headEnd`
    SyncRecord tail;  // and from its `tailFrom` on
    std::optional<SyncPoint> lastSync;
};

// Parses the input over `range`, stopping early at a pass in sync where `meet` (if any) has a
// symbol whose pass started in sync too. `io` delivers the input from 32 KiB before the start
// (or from the input's start), and at least 1,024 bytes past the stop: every pass parsed has the
// full lookahead, as far from the input's end.
void parseScript(EntryIo &io, const ParseRange &range, const Script *meet, Script &script, FaultLog &faults);

// Where two parses join: the first parse's symbols up to `last` (exclusive), then the second's
// from `first`, which starts at `position`.
struct Meeting {
    uint64_t position;
    size_t last;
    size_t first;
};

// The first position at which both parses are in sync, `before` counted from its symbol `from`
// on: the merge of the first parse's tail record with the second's head record. Nothing when
// they share no position.
std::optional<Meeting> firstMeeting(const SyncRecord &before, size_t from, const SyncRecord &after);

// A parse that met `after` in sync (`bridge.met`) goes on as `after` does from there: its
// symbols, tail record and last point in sync.
void continueAs(Script &bridge, const Script &after);

class EntryDeflater;

// The compressor of one entry, coding symbols parsed elsewhere.
class ScriptedDeflater {
public:
    explicit ScriptedDeflater(EntryIo &io);
    ~ScriptedDeflater();
    // Codes `count` symbols, the first at `position`, which must be where the last one ended.
    // False once a fault is recorded or the output is lost.
    bool replay(const uint32_t *symbols, size_t count, uint64_t position);
    // Parses and codes the rest of the input itself when `parseRest` is set (the last replayed
    // symbol must end in sync), and emits the last block.
    DeflateResult finish(bool parseRest);

private:
    std::unique_ptr<EntryDeflater> deflater;
};

// Work that any thread of a batch may take on: the segments of large entries. The threads that
// serve it run its tasks while they have nothing else to do.
class Crew {
public:
    // `threads` serve it, the caller's included; segments of `segmentSize` bytes, or of a size
    // chosen for the threads when 0.
    explicit Crew(uint32_t threads, uint32_t segmentSize = 0);

    uint32_t threads() const { return threadCount; }
    uint32_t segmentSize() const { return segment; }

    void post(std::function<void()> task);
    // Runs one posted task on this thread; false when there was none.
    bool runOne();
    // Every change that a waiting thread may be waiting for (a task posted, a parse done, a
    // stop) counts up the generation and wakes the waiters. A thread reads generation() before
    // it looks at the state it waits for, and then waits until a task is posted or the
    // generation moves on from `seen`, so that no change between its look and its wait is lost.
    uint64_t generation();
    void wake();
    void wait(uint64_t seen);
    // The same, but no later than `deadline` (a batch's next progress report).
    void waitUntil(uint64_t seen, std::chrono::steady_clock::time_point deadline);
    // Runs tasks as they come until `stop` is set (and wake() called).
    void serve(const std::atomic<bool> &stop);

    // Segments an entry may hold at once; they bound the memory of all entries together.
    uint32_t takeSlots(uint32_t wanted);
    void giveSlots(uint32_t count);

private:
    const uint32_t threadCount;
    const uint32_t segment;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    uint64_t changes = 0;
    uint32_t freeSlots;
};

// Threads that serve a crew beside the caller's own, from construction to destruction.
class CrewThreads {
public:
    explicit CrewThreads(Crew &crew);
    ~CrewThreads();
    CrewThreads(const CrewThreads &) = delete;
    CrewThreads &operator=(const CrewThreads &) = delete;

private:
    Crew &crew;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

// Deflates one entry as deflateEntry does, with the crew's threads helping on a large one.
DeflateResult deflateEntry(EntryIo &io, uint16_t &flags, Crew &crew);

} // namespace zip
