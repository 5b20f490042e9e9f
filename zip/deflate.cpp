// The matcher of the deflate compressor: a 64 KiB sliding window, hash chains over 3-byte
// strings and lazy evaluation, tuned as level 8. Every literal and match goes to the block
// coder, which decides the blocks and writes the output.

#include "blockcoder.h"
#include "entry_io.h"

#include <cstring>
#include <memory>

namespace zip {

namespace {

constexpr uint32_t windowHalf = 32768;
constexpr uint32_t windowSize = 2 * windowHalf;
constexpr uint32_t windowMask = windowHalf - 1;
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
constexpr uint16_t levelFlags = 0x0002;  // general-purpose flag bits of maximum compression

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the match compare counts equal bytes from the low end of a word");

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Length of the common prefix of scan and match, up to maxMatch, given that the first three
// bytes are equal: the first two were compared, and the same hash fixes the third.
inline uint32_t commonLength(const uint8_t *scan, const uint8_t *match)
{
    for (uint32_t length = minMatch; length < maxMatch; length += 8) {
        const uint64_t diff = load64(scan + length) ^ load64(match + length);
        if (diff != 0) {
            const uint32_t common = length + (uint32_t(__builtin_ctzll(diff)) >> 3);
            return common < maxMatch ? common : maxMatch;
        }
    }
    return maxMatch;
}

class EntryDeflater {
public:
    explicit EntryDeflater(EntryIo &io) : io(io), coder(io, faults) {}

    uint32_t run();
    const char *fault() const { return faults.last; }

private:
    void insert(uint32_t s)
    {
        hash = ((hash << hashShift) ^ window[s + 2]) & hashMask;
        chainHead = head[hash];
        prev[s & windowMask] = uint16_t(chainHead);
        head[hash] = uint16_t(s);
    }
    uint32_t longestMatch(uint32_t candidate);
    void fillWindow();
    void slide();
    uint32_t blockInput() const { return uint32_t(int64_t(strstart) - blockStart); }
    uint32_t endBlock(bool last);

    EntryIo &io;
    FaultLog faults;
    BlockCoder coder;

    // Zero-filled, and the compare may look a few bytes past the lookahead: it reads what the
    // window holds there. The tail keeps 8-byte loads inside the array.
    uint8_t window[windowSize + 8] = {};
    // Window positions fit 16 bits; the small tables keep the chain walk in cache.
    uint16_t head[hashMask + 1] = {};  // latest position per hash; 0 means none
    uint16_t prev[windowHalf] = {};    // earlier position with the same hash
    uint32_t hash = 0;
    uint32_t chainHead = 0;  // what the latest insertion found in head
    uint32_t strstart = 0;
    uint32_t lookahead = 0;
    int32_t blockStart = 0;  // negative once the block's start has slid out of the window
    uint32_t matchStart = 0;
    uint32_t matchLength = 0;
    uint32_t prevLength = 0;
    bool matchAvailable = false;
    bool endOfInput = false;
    uint32_t nice = niceLength;
};

uint32_t EntryDeflater::longestMatch(uint32_t candidate)
{
    uint32_t chain = prevLength >= goodLength ? chainLimit >> 2 : chainLimit;
    uint32_t best = prevLength;
    uint32_t bestStart = matchStart;
    const uint32_t limit = strstart > maxDistance ? strstart - maxDistance : 0;
    if (strstart > windowSize - minLookahead) {
        faults.record("insufficient lookahead");
        return best;
    }
    const uint8_t *const scan = window + strstart;
    const uint16_t scanStart = load16(scan);
    uint16_t scanEnd = load16(scan + best - 1);
    const uint32_t niceMatch = nice;
    do {
        if (candidate >= strstart) {
            faults.record("no future");
            break;
        }
        const uint8_t *const match = window + candidate;
        // Cheap rejections first: a longer match must agree at the current best length.
        if (load16(match + best - 1) != scanEnd || load16(match) != scanStart)
            continue;
        const uint32_t length = commonLength(scan, match);
        if (length > best) {
            bestStart = candidate;
            best = length;
            if (length >= niceMatch)
                break;
            scanEnd = load16(scan + best - 1);
        }
    } while ((candidate = prev[candidate & windowMask]) > limit && --chain != 0);
    matchStart = bestStart;
    return best;
}

void EntryDeflater::slide()
{
    std::memcpy(window, window + windowHalf, windowHalf);
    matchStart -= windowHalf;
    strstart -= windowHalf;
    blockStart -= int32_t(windowHalf);
    // Positions that fall out of the window become 0, the end of a chain.
    for (uint16_t &m : head)
        m = uint16_t(m >= windowHalf ? m - windowHalf : 0);
    for (uint16_t &m : prev)
        m = uint16_t(m >= windowHalf ? m - windowHalf : 0);
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
        const uint32_t count = coder.outputFailed() ? 0 : io.read(window + strstart + lookahead, more);
        if (count == 0)
            endOfInput = true;
        else
            lookahead += count;
    } while (lookahead < minLookahead && !endOfInput);
}

uint32_t EntryDeflater::endBlock(bool last)
{
    const uint8_t *input = blockStart >= 0 ? window + blockStart : nullptr;
    return coder.emitBlock(input, blockInput(), last);
}

uint32_t EntryDeflater::run()
{
    lookahead = io.read(window, windowSize);
    if (lookahead == 0)
        endOfInput = true;
    else if (lookahead < minLookahead)
        fillWindow();
    hash = (uint32_t(window[0]) << hashShift) ^ window[1];

    // Lazy evaluation: a match found at one position is only taken when the next position
    // does not offer a longer one; otherwise its first byte goes out as a literal.
    while (lookahead != 0) {
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
            matchLength = longestMatch(chainHead);
            if (matchLength > lookahead)
                matchLength = lookahead;
            if (matchLength == minMatch && strstart - matchStart > tooFar)
                matchLength = minMatch - 1;
        }

        if (prevLength >= minMatch && matchLength <= prevLength) {
            const uint32_t maxInsert = strstart + lookahead - minMatch;
            const bool full = coder.recordMatch(strstart - 1 - prevMatch, prevLength, blockInput());
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
            if (coder.recordLiteral(window[strstart - 1], blockInput())) {
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
        if (lookahead < minLookahead)
            fillWindow();
    }
    if (matchAvailable)
        coder.recordLiteral(window[strstart - 1], blockInput());
    return endBlock(true);
}

} // namespace

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
