#include "reference_matcher.h"

#include <algorithm>
#include <cstring>

namespace reference {

namespace {

constexpr uint32_t windowHalf = 32768;
constexpr uint32_t windowSize = 65536;
constexpr uint32_t minLookahead = 262;
constexpr uint32_t maxDistance = 32506;
constexpr uint32_t goodLength = 32;
constexpr uint32_t lazyLength = 128;
constexpr uint32_t chainLimit = 1024;
constexpr uint32_t tooFar = 4096;

class Matcher {
public:
    explicit Matcher(const std::vector<uint8_t> &input) : input(input), window(windowSize + 8), head(32768), prev(32768)
    {
    }

    std::vector<blockreader::Symbol> run()
    {
        lookahead = read(0, windowSize);
        if (lookahead == 0)
            endOfInput = true;
        else if (lookahead < minLookahead)
            fill();
        hash = uint32_t(window[0]) << 5 ^ window[1];
        while (lookahead != 0) {
            if (lookahead >= 3)
                insert(strstart);
            uint32_t prevLength = matchLength;
            const uint32_t prevMatch = matchStart;
            matchLength = 2;
            if (chainHead != 0 && prevLength < lazyLength && strstart - chainHead <= maxDistance) {
                nice = std::min(nice, lookahead);
                matchLength = std::min(longest(chainHead, prevLength), lookahead);
                if (matchLength == 3 && strstart - matchStart > tooFar)
                    matchLength = 2;
            }
            if (prevLength >= 3 && matchLength <= prevLength) {
                const uint32_t maxInsert = strstart + lookahead - 3;
                symbols.push_back(blockreader::match(prevLength, strstart - 1 - prevMatch));
                lookahead -= prevLength - 1;
                for (prevLength -= 2; prevLength != 0; --prevLength) {
                    if (++strstart <= maxInsert)
                        insert(strstart);
                }
                ++strstart;
                matchAvailable = false;
                matchLength = 2;
            } else if (matchAvailable) {
                symbols.push_back(blockreader::literal(window[strstart - 1]));
                ++strstart;
                --lookahead;
            } else {
                matchAvailable = true;
                ++strstart;
                --lookahead;
            }
            if (lookahead < minLookahead)
                fill();
        }
        if (matchAvailable)
            symbols.push_back(blockreader::literal(window[strstart - 1]));
        return symbols;
    }

private:
    uint32_t read(uint32_t at, uint32_t most)
    {
        const size_t count = std::min<size_t>(most, input.size() - position);
        if (count > 0)
            std::memcpy(window.data() + at, input.data() + position, count);
        position += count;
        return uint32_t(count);
    }

    void insert(uint32_t s)
    {
        hash = (hash << 5 ^ window[s + 2]) & 0x7FFF;
        chainHead = head[hash];
        prev[s & 0x7FFF] = chainHead;
        head[hash] = s;
    }

    uint32_t longest(uint32_t candidate, uint32_t prevLength)
    {
        uint32_t chain = prevLength >= goodLength ? chainLimit >> 2 : chainLimit;
        uint32_t best = prevLength;
        const uint32_t limit = strstart > maxDistance ? strstart - maxDistance : 0;
        const uint8_t *scan = window.data() + strstart;
        do {
            const uint8_t *match = window.data() + candidate;
            if (match[best] == scan[best] && match[best - 1] == scan[best - 1] && match[0] == scan[0] &&
                match[1] == scan[1]) {
                uint32_t length = 3;
                while (length < 258 && match[length] == scan[length])
                    ++length;
                if (length > best) {
                    matchStart = candidate;
                    best = length;
                    if (length >= nice)
                        break;
                }
            }
            candidate = prev[candidate & 0x7FFF];
        } while (candidate > limit && --chain != 0);
        return best;
    }

    void fill()
    {
        do {
            uint32_t more = windowSize - lookahead - strstart;
            if (strstart >= windowHalf + maxDistance) {
                std::memcpy(window.data(), window.data() + windowHalf, windowHalf);
                matchStart -= windowHalf;
                strstart -= windowHalf;
                for (uint32_t &m : head)
                    m = m >= windowHalf ? m - windowHalf : 0;
                for (uint32_t &m : prev)
                    m = m >= windowHalf ? m - windowHalf : 0;
                more += windowHalf;
            }
            if (endOfInput)
                return;
            const uint32_t count = read(strstart + lookahead, more);
            if (count == 0)
                endOfInput = true;
            else
                lookahead += count;
        } while (lookahead < minLookahead && !endOfInput);
    }

    const std::vector<uint8_t> &input;
    size_t position = 0;
    std::vector<uint8_t> window;
    std::vector<uint32_t> head, prev;
    uint32_t hash = 0, chainHead = 0, strstart = 0, lookahead = 0;
    uint32_t matchStart = 0, matchLength = 0, nice = 258;
    bool matchAvailable = false, endOfInput = false;
    std::vector<blockreader::Symbol> symbols;
};

} // namespace

std::vector<blockreader::Symbol> parse(const std::vector<uint8_t> &input)
{
    return Matcher(input).run();
}

} // namespace reference
