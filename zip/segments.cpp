#include "segments.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace zip {

namespace {

constexpr uint32_t history = 32768;  // the window half a parse rebuilds its chains from
constexpr uint32_t runout = 1024;    // input a parse needs past its stop, and the live tail's least
constexpr uint32_t chunkSize = 65536; // the input is held in pieces of this size
// Segments of all entries together hold at most about this much: their input and symbols.
constexpr uint64_t segmentBudget = 32u << 20;
constexpr uint32_t minSegment = 4096;
constexpr uint32_t maxSegment = 4u << 20;

constexpr uint32_t maxOverlap = 4096;
// The next parse's points in sync that a join may meet lie this far past its start: the
// previous parse stops within its overlap.
constexpr uint32_t headLength = maxOverlap;

// Input plus symbols (4 bytes per input byte at worst) of one segment, and its records of points
// in sync (at most one a byte, over its head and its overlap with the next).
uint64_t segmentCost(uint32_t segment) { return 5ull * segment + chunkSize + (headLength + maxOverlap) * sizeof(SyncPoint); }

uint32_t chooseSegment(uint32_t threads, uint32_t asked)
{
    if (asked)
        return std::clamp(asked, minSegment, maxSegment);
    // Two more than the threads in flight, within the budget. On two cores 512 KiB to 1 MiB were
    // fastest (a 64 MB log: 1.05 s; 256 KiB 1.06 s, 64 KiB 1.18 s, 2 MiB 1.12 s).
    const uint64_t fit = segmentBudget / (5ull * (threads + 2));
    return uint32_t(std::clamp<uint64_t>(fit, 64u << 10, 1u << 20) & ~uint64_t(minSegment - 1));
}

// The entry's input, read from its source in order and held from a low-water mark on.
class InputStore {
public:
    explicit InputStore(EntryIo &source) : source(source) {}

    // Reads on until `end` bytes were read or the source ended; true when they were.
    bool ensure(uint64_t end)
    {
        while (held < end && !ended) {
            const uint32_t offset = uint32_t(held % chunkSize);
            if (offset == 0)
                chunks.push_back(std::make_unique<uint8_t[]>(chunkSize));
            const uint32_t count = source.read(chunks.back().get() + offset, chunkSize - offset);
            ended = count == 0;
            held += count;
        }
        return held >= end;
    }
    uint64_t size() const { return held; }

    // The pieces holding [from, end), which must be held: a view that other threads may read
    // while the store reads on.
    struct View {
        std::vector<const uint8_t *> pieces;
        uint64_t pieceStart = 0; // input position of the first piece
        uint64_t from = 0;
        uint64_t end = 0;
    };
    View view(uint64_t from, uint64_t end) const
    {
        View v;
        v.from = from;
        v.end = std::min(end, held);
        const uint64_t firstPiece = from / chunkSize;
        v.pieceStart = firstPiece * chunkSize;
        for (uint64_t i = firstPiece; i * chunkSize < v.end; ++i)
            v.pieces.push_back(chunks[size_t(i - dropped)].get());
        return v;
    }

    // Forgets the pieces wholly below `below`.
    void release(uint64_t below)
    {
        while (!chunks.empty() && (dropped + 1) * chunkSize <= below && (dropped + 1) * chunkSize <= held) {
            chunks.pop_front();
            ++dropped;
        }
    }

private:
    EntryIo &source;
    std::deque<std::unique_ptr<uint8_t[]>> chunks;
    uint64_t dropped = 0; // pieces released
    uint64_t held = 0;
    bool ended = false;
};

// Reads a view of the input in order from its start.
class ViewIo final : public EntryIo {
public:
    explicit ViewIo(const InputStore::View &view) : v(view), at(view.from) {}

    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override
    {
        uint32_t done = 0;
        while (done < maxBytes && at < v.end) {
            const uint64_t piece = (at - v.pieceStart) / chunkSize;
            const uint32_t offset = uint32_t((at - v.pieceStart) % chunkSize);
            const uint32_t count = uint32_t(std::min<uint64_t>({maxBytes - done, chunkSize - offset, v.end - at}));
            std::copy_n(v.pieces[size_t(piece)] + offset, count, bytes + done);
            done += count;
            at += count;
        }
        return done;
    }
    uint32_t write(const uint8_t *, uint32_t) override { return 0; }
    uint8_t *buffer() override { return nullptr; }

private:
    const InputStore::View &v;
    uint64_t at;
};

// The entry's compressor reads the store in order, reading the source on as it goes, and
// writes to the entry's output.
class StoreIo final : public EntryIo {
public:
    StoreIo(InputStore &store, EntryIo &output) : store(store), output(output) {}

    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override
    {
        store.ensure(at + maxBytes);
        const uint32_t count = uint32_t(std::min<uint64_t>(maxBytes, store.size() - at));
        const InputStore::View view = store.view(at, at + count);
        ViewIo(view).read(bytes, count);
        at += count;
        if (streaming)
            store.release(at);
        return count;
    }
    uint32_t write(const uint8_t *bytes, uint32_t count) override { return output.write(bytes, count); }
    uint8_t *buffer() override { return output.buffer(); }

    uint64_t position() const { return at; }
    bool streaming = false; // nothing is read twice: the input is let go as it is read

private:
    InputStore &store;
    EntryIo &output;
    uint64_t at = 0;
};

struct Segment {
    ParseRange range;
    InputStore::View input;
    Script script;
    FaultLog faults;
    std::atomic<bool> parsed{false};
    // The symbols [first, last) are this segment's share of the joined parse, the first at
    // firstPosition, where the parse is in sync.
    size_t first = 0;
    size_t last = 0;
    uint64_t firstPosition = 0;
};

// Position and index of the last symbol from `first` on that starts in sync; the segment's own
// first position when none does.
SyncPoint lastSync(const Segment &segment)
{
    const std::optional<SyncPoint> &last = segment.script.lastSync;
    return last && last->index >= segment.first ? *last : SyncPoint{segment.firstPosition, segment.first};
}

class SegmentedDeflate {
public:
    SegmentedDeflate(EntryIo &io, Crew &crew) : io(io), crew(crew), store(io), storeIo(store, io) {}
    ~SegmentedDeflate();

    DeflateResult run(uint16_t &flags);

private:
    bool createSegment();
    void waitParsed(const Segment &segment);
    void join(Segment &previous, Segment &current);
    bool replay(Segment &segment);

    EntryIo &io;
    Crew &crew;
    InputStore store;
    StoreIo storeIo;
    uint32_t segmentSize = 0;
    uint32_t overlap = 0;
    uint32_t slots = 0;
    std::vector<std::unique_ptr<Segment>> segments; // freed once coded
    size_t replayed = 0;                            // segments coded
    bool allCreated = false;
    std::atomic<uint32_t> running{0};               // posted parses not yet done
    FaultLog faults;
    std::unique_ptr<ScriptedDeflater> deflater;
};

SegmentedDeflate::~SegmentedDeflate()
{
    // The parses read the segments and the input: wait for them, helping.
    while (running != 0) {
        const uint64_t seen = crew.generation();
        if (running != 0 && !crew.runOne())
            crew.wait(seen);
    }
    crew.giveSlots(slots);
}

// Cuts the next segment and posts its parse; false when no more can be cut.
bool SegmentedDeflate::createSegment()
{
    const uint64_t start = uint64_t(segments.size()) * segmentSize;
    uint64_t stopAt = start + segmentSize + overlap;
    if (!store.ensure(stopAt + runout)) {
        // The input ends: the last segment stops short of it, and past the previous one's stop
        // (start + overlap), so that a join never looks behind its own parse.
        allCreated = true;
        stopAt = store.size() > runout ? store.size() - runout : 0;
        if (stopAt <= start + overlap)
            return false;
    }
    auto segment = std::make_unique<Segment>();
    segment->range = {start, stopAt, start + headLength, start + segmentSize};
    segment->firstPosition = start;
    segment->input = store.view(start > history ? start - history : 0, stopAt + runout);
    Segment *const s = segment.get();
    segments.push_back(std::move(segment));
    ++running;
    // Once `running` drops to 0 the entry may be done and gone: the wake-up needs only the crew.
    crew.post([this, s, &crew = crew] {
        ViewIo input(s->input);
        parseScript(input, s->range, {}, s->script, s->faults);
        s->parsed = true;
        --running;
        crew.wake();
    });
    return true;
}

void SegmentedDeflate::waitParsed(const Segment &segment)
{
    while (!segment.parsed) {
        const uint64_t seen = crew.generation();
        if (!segment.parsed && !crew.runOne())
            crew.wait(seen);
    }
}

// Joins `current`'s parse to `previous`'s at the first position where both start a pass in
// sync. Where there is none, the previous parse goes on from its last position in sync, until it
// meets the current one in sync, or over the whole segment.
void SegmentedDeflate::join(Segment &previous, Segment &current)
{
    if (const std::optional<Meeting> meeting = firstMeeting(previous.script.tail, previous.first, current.script.head)) {
        previous.last = meeting->last;
        current.first = meeting->first;
        current.firstPosition = meeting->position;
        return;
    }
    const SyncPoint from = lastSync(previous);
    previous.last = from.index;
    Script bridge;
    const InputStore::View input = store.view(from.position > history ? from.position - history : 0,
                                              current.range.stopAt + runout);
    ViewIo inputIo(input);
    parseScript(inputIo, {from.position, current.range.stopAt, from.position, current.range.tailFrom}, &current.script,
                bridge, faults);
    if (bridge.met)
        continueAs(bridge, current.script);
    current.script = std::move(bridge);
    current.first = 0;
    current.firstPosition = from.position;
}

bool SegmentedDeflate::replay(Segment &segment)
{
    if (segment.faults.last)
        faults.record(segment.faults.last);
    return !faults.last && deflater->replay(segment.script.symbols.data() + segment.first, segment.last - segment.first,
                                            segment.firstPosition);
}

DeflateResult SegmentedDeflate::run(uint16_t &flags)
{
    segmentSize = crew.segmentSize();
    overlap = std::min(segmentSize / 4, maxOverlap);
    // Without room for two segments, or with too little input for them, one thread does it all.
    slots = crew.takeSlots(crew.threads() + 2);
    if (slots < 2)
        return deflateEntry(io, flags);
    if (!store.ensure(2ull * segmentSize + overlap + runout)) {
        storeIo.streaming = true;
        return deflateEntry(storeIo, flags);
    }
    flags |= levelFlags;
    deflater = std::make_unique<ScriptedDeflater>(storeIo);
    createSegment();
    bool coding = true;
    for (size_t joined = 1; coding; ++joined) {
        while (!allCreated && segments.size() - replayed < slots && createSegment()) {
        }
        Segment &previous = *segments[joined - 1];
        waitParsed(previous);
        if (joined == segments.size()) {
            // The last segment: coded up to its last position in sync, and the rest parsed here.
            previous.last = lastSync(previous).index;
            coding = replay(previous);
            break;
        }
        Segment &current = *segments[joined];
        waitParsed(current);
        join(previous, current);
        coding = replay(previous);
        segments[joined - 1].reset();
        ++replayed;
        // What a later join may still parse again, and what the coder has not read yet, stays.
        const uint64_t needed = current.firstPosition > history ? current.firstPosition - history : 0;
        store.release(std::min(storeIo.position(), needed));
    }
    DeflateResult result = deflater->finish(coding);
    if (faults.last) {
        result.failed = true;
        result.message = faults.last;
    }
    return result;
}

} // namespace

std::optional<Meeting> firstMeeting(const SyncRecord &before, size_t from, const SyncRecord &after)
{
    auto i = std::lower_bound(before.begin(), before.end(), from,
                              [](const SyncPoint &point, size_t index) { return point.index < index; });
    auto j = after.begin();
    while (i != before.end() && j != after.end()) {
        if (i->position < j->position)
            ++i;
        else if (j->position < i->position)
            ++j;
        else
            return Meeting{i->position, i->index, j->index};
    }
    return std::nullopt;
}

void continueAs(Script &bridge, const Script &after)
{
    // The symbol `after` has where they met, and every one behind it, follow the bridge's own.
    const size_t met = *bridge.met;
    const size_t base = bridge.symbols.size();
    const auto moved = [&](const SyncPoint &point) { return SyncPoint{point.position, base + point.index - met}; };
    bridge.symbols.insert(bridge.symbols.end(), after.symbols.begin() + std::ptrdiff_t(met), after.symbols.end());
    const auto tail = std::lower_bound(after.tail.begin(), after.tail.end(), bridge.end,
                                       [](const SyncPoint &point, uint64_t position) { return point.position < position; });
    for (auto point = tail; point != after.tail.end(); ++point)
        bridge.tail.push_back(moved(*point));
    bridge.lastSync = moved(*after.lastSync);
    bridge.end = after.end;
}

Crew::Crew(uint32_t threads, uint32_t segmentSize)
    : threadCount(std::max(threads, 1u)),
      segment(chooseSegment(threadCount, segmentSize)),
      freeSlots(uint32_t(std::max<uint64_t>(2, segmentBudget / segmentCost(segment))))
{
}

void Crew::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        tasks.push_back(std::move(task));
        ++changes;
    }
    changed.notify_all();
}

bool Crew::runOne()
{
    std::unique_lock<std::mutex> guard(lock);
    if (tasks.empty())
        return false;
    const std::function<void()> task = std::move(tasks.front());
    tasks.pop_front();
    guard.unlock();
    task();
    return true;
}

uint64_t Crew::generation()
{
    std::lock_guard<std::mutex> guard(lock);
    return changes;
}

void Crew::wake()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        ++changes;
    }
    changed.notify_all();
}

void Crew::wait(uint64_t seen)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return changes != seen || !tasks.empty(); });
}

void Crew::waitUntil(uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait_until(guard, deadline, [&] { return changes != seen || !tasks.empty(); });
}

void Crew::serve(const std::atomic<bool> &stop)
{
    while (!stop) {
        const uint64_t seen = generation();
        if (!stop && !runOne())
            wait(seen);
    }
}

uint32_t Crew::takeSlots(uint32_t wanted)
{
    std::lock_guard<std::mutex> guard(lock);
    const uint32_t taken = std::min(wanted, freeSlots);
    freeSlots -= taken;
    return taken;
}

void Crew::giveSlots(uint32_t count)
{
    std::lock_guard<std::mutex> guard(lock);
    freeSlots += count;
}

CrewThreads::CrewThreads(Crew &crew) : crew(crew)
{
    for (uint32_t i = 1; i < crew.threads(); ++i) {
        try {
            threads.emplace_back([this] { this->crew.serve(stop); });
        } catch (const std::system_error &) {
            break; // fewer threads do the same work
        }
    }
}

CrewThreads::~CrewThreads()
{
    stop = true;
    crew.wake();
    for (std::thread &thread : threads)
        thread.join();
}

DeflateResult deflateEntry(EntryIo &io, uint16_t &flags, Crew &crew)
{
    if (crew.threads() < 2)
        return deflateEntry(io, flags);
    return SegmentedDeflate(io, crew).run(flags);
}

} // namespace zip
