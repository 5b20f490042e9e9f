// The matcher of the deflate compressor: a 64 KiB sliding window, hash chains over 3-byte
// strings and lazy evaluation, tuned as level 8. Every literal and match goes to the block
// coder, which decides the blocks and writes the output.
//
// How it works. The input streams through a window of two 32 KiB halves. Every position whose
// three bytes are in the window enters a hash chain: head[] holds the latest position of each
// hash, prev[] the one before it, so that walking prev[] from a head visits the earlier
// positions with the same three bytes, nearest first. At each position the search walks the
// chain for the longest match, but no farther back than 32,506 bytes and over at most 1,024
// candidates, or 256 once the previous position's match is 32 bytes or more; it stops at once
// on a match of the nice length (258, lowered to the lookahead near the end of the input). Lazy
// evaluation then takes a match only when the next position offers no longer one; otherwise the
// first byte goes out as a literal and the next position's match is weighed in its turn. Once
// strstart passes 65,274 the upper half slides down, and positions that fall out become 0, the
// end of a chain. Position 0 is never a candidate, for the same reason.
//
// Why two walks at once. A chain walk waits on one dependent load from prev[] per candidate,
// and that latency, not the compares, bounds the search. So the walk for the next position (the
// forecast) runs beside the current one, their loads overlapping. The forecast cannot know the
// two things the real search at that position would start from: the best length to beat (the
// current position's result) and the chain limit (a quarter of it when that result is 32 or
// more). It is therefore run from length 2 over the full limit, and it notes its best match
// and start at the moment it has visited exactly 256 candidates. When the next search comes,
// bind() turns it into the walk that search would have made: with a short chain it takes the
// noted state and stops (the real walk would have stopped there), or it takes 768 off the
// candidates left; and a best below the previous length is raised to it, which only lets more
// candidates be skipped by the cheap check, never a different one win, because on equal length
// the nearer candidate stays and a walk raised to the previous length would have kept exactly
// the matches longer than it. Whatever the forecast found is thus what the single walk finds.
// It is dropped whenever its assumptions may fail: across a window fill (a slide moves every
// position), with too little lookahead (the nice length may be lowered), and when the next
// position is not searched at all.
//
// What holds for any parse, and where it is tested. (1) The search result depends only on the
// window's bytes, the chains, the previous length and the limits above; matcher_test compares
// every symbol with a plain matcher written from these rules (tests/zip/reference_matcher.cpp),
// over generated inputs across slides and window edges, and with a longer match lying just past
// the quarter chain's 256th candidate. (2) A pass that starts with no match in hand (match
// length 2: right after a match, or after a search that found nothing) is in sync: the parse
// from there on depends only on the input, whatever came before; the only thing the earlier
// parse decides is whether the byte before is a pending literal, and that pass records it.
// (3) Every position but the last two of the input enters the chains, so they can be rebuilt
// from the 32 KiB before any position. (4) More than 262 bytes from the input's end, the
// slides change nothing a search sees: a chain entry that slid out was farther back than the
// search may look anyway (the one exception, a slide at exactly 65,274, happens only within
// the input's last 262 bytes), and all bytes compared lie within the input. Only the last stretch
// sees where the window happens to stand: the nice length is lowered there, and the compare
// may read stale bytes past the input's end. (5) Hence a parse may start at any position, as if
// a match had just ended there, and it meets the true parse at the first position where both
// are in sync; segments.cpp parses segments so on several threads and joins them there, and
// the last stretch is parsed by the thread that codes, with the true window.
// segments_test and deflate_test hold the segmented output to the single-threaded bytes, also
// with tiny segments and inputs made to resist the join, and show that a join where only one
// side is in sync would be wrong; deflate_test pins the exact bytes of small inputs, the
// too-far rule, the chain and lazy limits, the slide and the stale chain heads after it.

#include "blockcoder.h"
#include "compiler.h"
#include "entry_io.h"
#include "segments.h"

#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zip {

namespace {

constexpr uint32_t windowHalf = 32768;
constexpr uint32_t windowSize = 2 * windowHalf;
constexpr uint32_t minMatch = 3;
constexpr uint32_t maxMatch = 258;
// Keeping this much lookahead lets a match of maximum length start at any search.
constexpr uint32_t minLookahead = maxMatch + minMatch + 1;
constexpr uint32_t maxDistance = windowHalf - minLookahead;
constexpr uint32_t hashMask = 0x7FFF;
constexpr uint32_t hashShift = 5;
// A 3-byte match farther back than this costs more bits than three literals.
constexpr uint32_t tooFar = 4096;

// Level 8: stop chasing chains early once a good match is in hand, defer to the next position
// unless the match is long already, accept any match of maximum length.
constexpr uint32_t goodLength = 32;
constexpr uint32_t lazyLength = 128;
constexpr uint32_t niceLength = maxMatch;
constexpr uint32_t chainLimit = 1024;

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Length of the common prefix of scan and match, up to maxMatch, given that the first three
// bytes are equal: the first two were compared, and the same hash fixes the third. It reads at
// most the bytes up to scan + maxMatch and match + maxMatch.
#ifdef __SSE2__
// One bit for each of 16 bytes, set where a and b hold the same byte.
inline uint32_t equalBytes(const uint8_t *a, const uint8_t *b)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
}

// Thirty-two bytes a step: matches in logs are mostly long, and the compare of a long one
// weighs more than its few steps along the chain.
inline uint32_t commonLength(const uint8_t *scan, const uint8_t *match)
{
    for (uint32_t length = minMatch; length < maxMatch; length += 32) {
        const uint32_t differ = ~(equalBytes(scan + length, match + length)
                                  | equalBytes(scan + length + 16, match + length + 16) << 16);
        if (differ != 0) {
            const uint32_t common = length + trailingZeros(differ);
            return common < maxMatch ? common : maxMatch;
        }
    }
    return maxMatch;
}
#else
static_assert(littleEndian, "the match compare counts equal bytes from the low end of a word");

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t commonLength(const uint8_t *scan, const uint8_t *match)
{
    for (uint32_t length = minMatch; length < maxMatch; length += 8) {
        const uint64_t differ = load64(scan + length) ^ load64(match + length);
        if (differ != 0) {
            const uint32_t common = length + (trailingZeros(differ) >> 3);
            return common < maxMatch ? common : maxMatch;
        }
    }
    return maxMatch;
}
#endif

} // namespace

class EntryDeflater {
public:
    explicit EntryDeflater(EntryIo &io) : io(io), coder(io, faults) {}

    uint64_t run();
    const char *fault() const { return faults.last; }

    void fail(const char *message) { faults.record(message); }

    // Reads the window's first bytes: the input from position `from` on.
    void start(uint64_t from);
    // Goes on at `to`, counted from the window's start, as if a match had just ended there:
    // every position before it enters the chains, as the passes over them would have done.
    void restartAt(uint32_t to);
    // The lazy loop until the input ends or the sink says stop.
    template <class Sink> void lazyLoop(Sink &sink);
    // The rest of the input parsed and coded from the current position, as after a match.
    void parseRest();
    // The last pending literal and the last block.
    uint64_t finish();
    bool replay(const uint32_t *symbols, size_t count);
    // The position the next pass starts from, counted from the input's start.
    uint64_t position() const { return base + strstart; }

private:
    void insert(uint32_t s)
    {
        hash = ((hash << hashShift) ^ window[s + 2]) & hashMask;
        chainHead = head[hash];
        prev[s] = uint16_t(chainHead);
        head[hash] = uint16_t(s);
    }
    // One chain walk: the candidates for the string at `scan`, the longest match among them
    // so far and where it starts.
    struct Walk {
        const uint8_t *scan;
        uint32_t candidate;
        uint32_t chain; // candidates left
        uint32_t limit; // candidates at or below it are too far back
        uint32_t best;
        uint32_t start;
        uint16_t scanStart, scanEnd; // the first two bytes, and the two that end a longer match
        bool running;
    };
    // A walk for the next position, started beside the current search before the best
    // length it has to beat is known: from length 2, over as many candidates as any start
    // allows, noting where it stood after a quarter of them. Once the start is known, bind()
    // makes it the walk the search would have made; running on then gives the same result.
    struct Forecast {
        uint32_t position = 0; // 0: none
        Walk walk;
        uint32_t shortBest, shortStart;
        bool shortTaken;
    };

    uint32_t search();
    Walk walkFrom(uint32_t position, uint32_t candidate, uint32_t best, uint32_t chain) const;
    Walk bind(Forecast &ahead);
    void startForecast();
    bool step(Walk &walk);
    void fillWindow();
    void slide();
    uint32_t read(uint8_t *bytes, uint32_t maxBytes);
    uint32_t blockInput() const { return uint32_t(int64_t(strstart) - blockStart); }
    uint64_t endBlock(bool last);

    EntryIo &io;
    FaultLog faults;
    BlockCoder coder;

    // Zero-filled, and the compare may look a few bytes past the lookahead: it reads what the
    // window holds there. The tail keeps 8-byte loads inside the array.
    uint8_t window[windowSize + 8] = {};
    // Window positions fit 16 bits; the small tables keep the chain walk in cache.
    uint16_t head[hashMask + 1] = {};  // latest position per hash; 0 means none
    // Earlier position with the same hash, by position. Indexing by the whole position keeps
    // a mask out of the chain walk's dependent loads; the part in use is still a window half.
    uint16_t prev[windowSize] = {};
    uint32_t hash = 0;
    uint32_t chainHead = 0;  // what the latest insertion found in head
    uint64_t base = 0; // the input position of window[0]
    uint32_t strstart = 0;
    uint32_t lookahead = 0;
    int32_t blockStart = 0;  // negative once the block's start has slid out of the window
    uint32_t matchStart = 0;
    uint32_t matchLength = 0;
    uint32_t prevLength = 0;
    bool matchAvailable = false;
    bool endOfInput = false;
    uint32_t nice = niceLength;
    Forecast forecast;
};

namespace {

// Hands every symbol to the block coder, which says when the block ends.
struct CoderSink {
    BlockCoder &coder;
    static bool stopBefore(uint64_t, bool) { return false; }
    bool literal(uint8_t byte, uint32_t blockInput, bool) { return coder.recordLiteral(byte, blockInput); }
    bool match(uint32_t distance, uint32_t length, uint32_t blockInput, bool)
    {
        return coder.recordMatch(distance, length, blockInput);
    }
};

} // namespace

EntryDeflater::Walk EntryDeflater::walkFrom(uint32_t position, uint32_t candidate, uint32_t best, uint32_t chain) const
{
    const uint8_t *const scan = window + position;
    return {scan,
            candidate,
            chain,
            position > maxDistance ? position - maxDistance : 0,
            best,
            matchStart,
            load16(scan),
            load16(scan + best - 1),
            true};
}

// Tries the walk's current candidate and moves to the next; the walk stops at the chain's end,
// after its last candidate, or with a match of the nice length.
inline bool EntryDeflater::step(Walk &walk)
{
    const uint8_t *const match = window + walk.candidate;
    if (ZIP_UNLIKELY(match >= walk.scan)) {
        faults.record("no future");
        return walk.running = false;
    }
    // Cheap rejections first: a longer match must agree at the current best length.
    if (ZIP_UNLIKELY(load16(match + walk.best - 1) == walk.scanEnd) && load16(match) == walk.scanStart) {
        const uint32_t length = commonLength(walk.scan, match);
        if (length > walk.best) {
            walk.start = walk.candidate;
            walk.best = length;
            if (length >= nice)
                return walk.running = false;
            walk.scanEnd = load16(walk.scan + length - 1);
        }
    }
    walk.candidate = prev[walk.candidate];
    return walk.running = walk.candidate > walk.limit && --walk.chain != 0;
}

constexpr uint32_t shortChain = chainLimit >> 2;        // candidates once a good match is in hand
constexpr uint32_t chainAfterShort = chainLimit - shortChain; // a forecast's count after those

// The forecast's walk as the search at its position, starting from prevLength, would have
// made it so far: the same candidates, the running best raised to prevLength, and the count
// of a shortened chain when prevLength is a good length already.
EntryDeflater::Walk EntryDeflater::bind(Forecast &ahead)
{
    Walk walk = ahead.walk;
    if (prevLength >= goodLength) {
        if (ahead.shortTaken) {
            walk.best = ahead.shortBest;
            walk.start = ahead.shortStart;
            walk.running = false;
        } else {
            walk.chain -= chainAfterShort;
        }
    }
    if (walk.best <= prevLength) {
        walk.best = prevLength;
        walk.start = matchStart;
        walk.scanEnd = load16(walk.scan + prevLength - 1);
    }
    ahead.position = 0;
    return walk;
}

// Starts the forecast for the next position. It is only made while the lookahead is long
// enough that no window fill (and so no slide) and no shorter nice length can come between
// here and that position's search.
void EntryDeflater::startForecast()
{
    forecast.position = 0;
    if (lookahead <= minLookahead)
        return;
    const uint32_t next = strstart + 1;
    const uint32_t candidate = head[((hash << hashShift) ^ window[next + 2]) & hashMask];
    if (candidate == 0 || next - candidate > maxDistance)
        return;
    forecast.walk = walkFrom(next, candidate, minMatch - 1, chainLimit);
    forecast.position = next;
    forecast.shortTaken = false;
}

// The longest match at strstart longer than prevLength, among the chain from chainHead. Each
// candidate waits on one dependent load from prev; the walk for the next position runs beside
// this one, so that their loads overlap, and goes on beside the next search.
uint32_t EntryDeflater::search()
{
    if (strstart > windowSize - minLookahead) {
        faults.record("insufficient lookahead");
        return prevLength;
    }
    Walk walk = forecast.position == strstart
        ? bind(forecast)
        : walkFrom(strstart, chainHead, prevLength, prevLength >= goodLength ? shortChain : chainLimit);
    if (forecast.position != 0 && forecast.position != strstart + 1)
        forecast.position = 0;
    if (forecast.position == 0)
        startForecast();

    // Locals, so that both walks stay in registers.
    Walk ahead = forecast.walk;
    bool shortTaken = forecast.shortTaken;
    uint32_t shortBest = forecast.shortBest, shortStart = forecast.shortStart;
    bool forecasting = forecast.position != 0 && ahead.running;
    // First up to where the forecast notes its state, then on without that check.
    while (walk.running && forecasting && ahead.chain > chainAfterShort) {
        step(walk);
        forecasting = step(ahead);
    }
    if (forecasting && ahead.chain == chainAfterShort && !shortTaken) {
        shortBest = ahead.best;
        shortStart = ahead.start;
        shortTaken = true;
    }
    while (walk.running && forecasting) {
        step(walk);
        forecasting = step(ahead);
    }
    forecast.walk = ahead;
    forecast.shortTaken = shortTaken;
    forecast.shortBest = shortBest;
    forecast.shortStart = shortStart;
    while (walk.running)
        step(walk);
    matchStart = walk.start;

    // The next position is searched unless this one ends a match or is long enough.
    const bool nextSearched = (prevLength < minMatch || walk.best > prevLength) && walk.best < lazyLength;
    if (!nextSearched)
        forecast.position = 0;
    return walk.best;
}

void EntryDeflater::slide()
{
    std::memcpy(window, window + windowHalf, windowHalf);
    matchStart -= windowHalf;
    strstart -= windowHalf;
    blockStart -= int32_t(windowHalf);
    base += windowHalf;
    forecast.position = 0;
    // Positions that fall out of the window become 0, the end of a chain.
    for (uint16_t &m : head)
        m = uint16_t(m >= windowHalf ? m - windowHalf : 0);
    // The upper half's positions move down; the positions above are written before they are read.
    for (uint32_t p = 0; p < windowHalf; p++) {
        const uint16_t m = prev[p + windowHalf];
        prev[p] = uint16_t(m >= windowHalf ? m - windowHalf : 0);
    }
}

void EntryDeflater::fillWindow()
{
    do {
        uint32_t more = windowSize - lookahead - strstart;
        if (strstart >= windowHalf + maxDistance) {
            slide();
            more += windowHalf;
        }
        if (endOfInput)
            return;
        // Once output is lost there is no point in reading on: the entry fails anyway.
        const uint32_t count = coder.outputFailed() ? 0 : read(window + strstart + lookahead, more);
        if (count == 0)
            endOfInput = true;
        else
            lookahead += count;
    } while (lookahead < minLookahead && !endOfInput);
}

uint64_t EntryDeflater::endBlock(bool last)
{
    const uint8_t *input = blockStart >= 0 ? window + blockStart : nullptr;
    return coder.emitBlock(input, blockInput(), last);
}

// Sources may deliver less than asked, and the window's contents must not depend on how much:
// a read is short only at the end of the input.
uint32_t EntryDeflater::read(uint8_t *bytes, uint32_t maxBytes)
{
    uint32_t total = 0;
    for (uint32_t count; total < maxBytes && (count = io.read(bytes + total, maxBytes - total)) != 0;)
        total += count;
    return total;
}

void EntryDeflater::start(uint64_t from)
{
    base = from;
    lookahead = read(window, windowSize);
    if (lookahead == 0)
        endOfInput = true;
    else if (lookahead < minLookahead)
        fillWindow();
    hash = (uint32_t(window[0]) << hashShift) ^ window[1];
}

void EntryDeflater::restartAt(uint32_t to)
{
    // Positions that slid out are 0 in the chains, as if never inserted.
    std::memset(head, 0, sizeof head);
    hash = (uint32_t(window[0]) << hashShift) ^ window[1];
    for (uint32_t s = 0; s < to; s++)
        insert(s);
    lookahead -= to - strstart;
    strstart = to;
    matchLength = minMatch - 1;
    matchAvailable = false;
    forecast.position = 0;
}

void EntryDeflater::parseRest()
{
    restartAt(strstart);
    CoderSink sink{coder};
    lazyLoop(sink);
}

// Lazy evaluation: a match found at one position is only taken when the next position does not
// offer a longer one; otherwise its first byte goes out as a literal. Each pass notes whether
// it starts in sync, with no match in hand: from there on the parse no longer depends on how
// it reached that position.
template <class Sink> void EntryDeflater::lazyLoop(Sink &sink)
{
    bool syncBefore = true; // the previous pass started in sync
    while (lookahead != 0) {
        const bool sync = matchLength < minMatch;
        if (sink.stopBefore(position(), sync)) {
            // This pass would record the pending literal whatever it finds.
            if (sync && matchAvailable)
                sink.literal(window[strstart - 1], blockInput(), syncBefore);
            return;
        }
        if (lookahead >= minMatch)
            insert(strstart);
        prevLength = matchLength;
        const uint32_t prevMatch = matchStart;
        matchLength = minMatch - 1;

        // Unsigned on purpose: a chain head left over from before the last slide lies beyond
        // strstart and must not be tried.
        if (chainHead != 0 && prevLength < lazyLength && strstart - chainHead <= maxDistance) {
            if (nice > lookahead)
                nice = lookahead;
            matchLength = search();
            if (matchLength > lookahead)
                matchLength = lookahead;
            if (matchLength == minMatch && strstart - matchStart > tooFar)
                matchLength = minMatch - 1;
        }

        if (prevLength >= minMatch && matchLength <= prevLength) {
            const uint32_t maxInsert = strstart + lookahead - minMatch;
            const bool full = sink.match(strstart - 1 - prevMatch, prevLength, blockInput(), syncBefore);
            // The match started at strstart - 1; strstart itself is in the chains already.
            lookahead -= prevLength - 1;
            for (uint32_t n = prevLength - 2; n != 0; n--) {
                if (++strstart <= maxInsert)
                    insert(strstart);
            }
            strstart++;
            matchAvailable = false;
            matchLength = minMatch - 1;
            if (full) {
                endBlock(false);
                blockStart = int32_t(strstart);
            }
        } else if (matchAvailable) {
            if (sink.literal(window[strstart - 1], blockInput(), syncBefore)) {
                endBlock(false);
                blockStart = int32_t(strstart);
            }
            strstart++;
            lookahead--;
        } else {
            matchAvailable = true;
            strstart++;
            lookahead--;
        }
        syncBefore = sync;
        if (lookahead < minLookahead)
            fillWindow();
    }
}

uint64_t EntryDeflater::finish()
{
    if (matchAvailable)
        coder.recordLiteral(window[strstart - 1], blockInput());
    return endBlock(true);
}

uint64_t EntryDeflater::run()
{
    start(0);
    CoderSink sink{coder};
    lazyLoop(sink);
    return finish();
}

// Codes the symbols of a parse made elsewhere, starting at strstart, with every pass's window
// fill and block end where the loop would have them; nothing is searched or inserted. Ends
// with strstart at the position after the last symbol, the pass there still to be made.
bool EntryDeflater::replay(const uint32_t *symbols, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const uint32_t s = symbols[i];
        const uint32_t length = scriptSymbol::length(s);
        // The pass at the symbol's position: the one that let its first byte wait, or the rest
        // of the pass that recorded the literal before it.
        if (ZIP_UNLIKELY(lookahead < length)) {
            faults.record("script past the input");
            return false;
        }
        strstart++;
        lookahead--;
        if (lookahead < minLookahead)
            fillWindow();
        bool full;
        if (s & scriptSymbol::match) {
            full = coder.recordMatch(scriptSymbol::distance(s), length, blockInput());
            lookahead -= length - 1;
            strstart += length - 1;
        } else {
            if (ZIP_UNLIKELY(window[strstart - 1] != uint8_t(s))) {
                faults.record("script off the input");
                return false;
            }
            full = coder.recordLiteral(uint8_t(s), blockInput());
        }
        if (full) {
            endBlock(false);
            blockStart = int32_t(strstart);
        }
        if ((s & scriptSymbol::match) && lookahead < minLookahead)
            fillWindow();
        if (ZIP_UNLIKELY(coder.outputFailed()))
            return false;
    }
    return true;
}

namespace {

// Collects a parse's symbols instead of coding them, with its points in sync where the range
// asks for them, and stops it at the range's stop, or earlier at a position where it is in sync
// and another parse was in sync too: `meet`, whose symbols it walks alongside its own.
struct ScriptSink {
    Script &script;
    const ParseRange &range;
    const Script *meet;
    size_t next = 0;        // meet's first symbol not behind the parse
    uint64_t nextPosition;  // where it starts

    bool stopBefore(uint64_t position, bool sync)
    {
        if (position >= range.stopAt)
            return true;
        if (!sync || !meet || position == range.start)
            return false;
        const std::vector<uint32_t> &symbols = meet->symbols;
        while (next < symbols.size() && nextPosition < position)
            nextPosition += scriptSymbol::length(symbols[next++]);
        if (next == symbols.size() || nextPosition != position || !(symbols[next] & scriptSymbol::sync))
            return false;
        script.met = next;
        return true;
    }
    void add(uint32_t symbol, uint32_t length, bool sync)
    {
        if (sync) {
            const SyncPoint point{script.end, script.symbols.size()};
            script.lastSync = point;
            if (point.position < range.headEnd)
                script.head.push_back(point);
            else if (point.position >= range.tailFrom)
                script.tail.push_back(point);
        }
        script.symbols.push_back(symbol | (sync ? scriptSymbol::sync : 0));
        script.end += length;
    }
    bool literal(uint8_t byte, uint32_t, bool sync)
    {
        add(byte, 1, sync);
        return false;
    }
    bool match(uint32_t distance, uint32_t length, uint32_t, bool sync)
    {
        add(scriptSymbol::makeMatch(distance, length), length, sync);
        return false;
    }
};

} // namespace

void parseScript(EntryIo &io, const ParseRange &range, const Script *meet, Script &script, FaultLog &faults)
{
    const uint64_t from = range.start > windowHalf ? range.start - windowHalf : 0;
    const auto deflater = std::make_unique<EntryDeflater>(io);
    deflater->start(from);
    deflater->restartAt(uint32_t(range.start - from));
    script = Script();
    script.start = script.end = range.start;
    // At most a symbol a byte, and a literal at the stop: reserved at once, so that the memory a
    // parse holds is its bound, not twice that after the vector's last growth.
    script.symbols.reserve(size_t(range.stopAt - range.start) + 2);
    ScriptSink sink{script, range, meet, 0, meet ? meet->start : 0};
    deflater->lazyLoop(sink);
    if (deflater->fault())
        faults.record(deflater->fault());
}

ScriptedDeflater::ScriptedDeflater(EntryIo &io) : deflater(std::make_unique<EntryDeflater>(io))
{
    deflater->start(0);
}

ScriptedDeflater::~ScriptedDeflater() = default;

bool ScriptedDeflater::replay(const uint32_t *symbols, size_t count, uint64_t position)
{
    if (deflater->position() != position) {
        deflater->fail("script out of place");
        return false;
    }
    return deflater->replay(symbols, count);
}

DeflateResult ScriptedDeflater::finish(bool parseRest)
{
    if (parseRest)
        deflater->parseRest();
    DeflateResult result;
    result.compressedSize = deflater->finish();
    result.message = deflater->fault();
    result.failed = result.message != nullptr;
    return result;
}

DeflateResult deflateEntry(EntryIo &io, uint16_t &flags)
{
    flags |= levelFlags;
    const auto deflater = std::make_unique<EntryDeflater>(io);
    DeflateResult result;
    result.compressedSize = deflater->run();
    result.message = deflater->fault();
    result.failed = result.message != nullptr;
    return result;
}

} // namespace zip
