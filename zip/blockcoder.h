#pragma once
// The second half of the deflate compressor: collects the literals and matches of a block,
// decides where blocks end, picks stored, fixed or dynamic coding by estimated size, builds
// the length-limited Huffman codes and writes the bit stream through the archive writer's
// I/O buffer.

#include "entry_io.h"

#include <cstdint>

namespace zip {

// The last internal consistency failure recorded for an entry; null while the entry is sound.
struct FaultLog {
    const char *last = nullptr;
    void record(const char *message) { last = message; }
};

struct Code {
    uint16_t bits; // bit-reversed, ready to be sent least significant bit first
    uint8_t length;
};

// The code tables of RFC 1951 (3.2.5 and 3.2.6).
struct CodeTables {
    static constexpr uint32_t lengthCodes = 29;
    static constexpr uint32_t distanceCodes = 30;
    uint8_t lengthCode[256];   // match length - 3 -> length code
    uint8_t distanceCode[512]; // distance - 1 -> code, see distanceCodeOf
    uint8_t lengthBase[lengthCodes];
    uint16_t distanceBase[distanceCodes];
    Code fixedLiteral[288];
    Code fixedDistance[distanceCodes];
};

extern const CodeTables codeTables;

// Distances below 257 have a table entry each; above, codes span multiples of 128.
inline uint32_t distanceCodeOf(uint32_t distanceMinus1)
{
    return distanceMinus1 < 256 ? codeTables.distanceCode[distanceMinus1]
                                : codeTables.distanceCode[256 + (distanceMinus1 >> 7)];
}

class BlockCoder {
public:
    BlockCoder(EntryIo &io, FaultLog &faults);

    // Records one symbol of the current block and returns true when the block should end.
    // blockInput is the number of input bytes the block covers once this symbol is counted
    // in, as the early-end estimate needs it. Inline: one of them runs for every symbol.
    bool recordLiteral(uint8_t byte, uint32_t blockInput)
    {
        literals[lastLiteral++] = byte;
        literalTree.freq[byte]++;
        return endSymbol(blockInput);
    }
    // distance 1..32,506, length 3..258.
    bool recordMatch(uint32_t distance, uint32_t length, uint32_t blockInput)
    {
        const uint32_t d = distance - 1;
        const uint32_t v = length - 3;
        if (d > 32505 || v > 255) {
            // Such a match cannot be coded; dropping it fails the entry instead of corrupting it.
            faults.record("ct_tally: bad match");
            return false;
        }
        literals[lastLiteral++] = uint8_t(v);
        literalTree.freq[endOfBlock + 1 + codeTables.lengthCode[v]]++;
        distanceTree.freq[distanceCodeOf(d)]++;
        distances[lastDistance++] = uint16_t(d);
        flagByte |= flagBit;
        return endSymbol(blockInput);
    }

    // Codes the recorded symbols as one block and starts the next; returns the compressed
    // bytes of the entry so far, exact once `last` is set. `input` is the block's input
    // (storedLength bytes) when it is still at hand, else null: only then can the block be
    // stored.
    uint64_t emitBlock(const uint8_t *input, uint32_t storedLength, bool last);

    // True once a write of output came back short. Later output is dropped, not retried.
    bool outputFailed() const { return failed; }

    static constexpr uint32_t literalCodes = 286;
    static constexpr uint32_t distanceCodes = CodeTables::distanceCodes;
    static constexpr uint32_t endOfBlock = 256;
    static constexpr uint32_t bitLengthCodes = 19;
    static constexpr uint32_t heapSize = 2 * literalCodes + 1;

    using Code = zip::Code;

    // Everything that differs between the literal/length, distance and bit-length trees.
    struct TreeShape {
        uint32_t elements;
        uint32_t extraBase;
        const uint8_t *extraBits;
        uint32_t maxLength;
        const Code *fixed;  // fixed codes used for the fixed-coding estimate, or null
    };

    struct Tree {
        uint32_t freq[heapSize];
        uint16_t parent[heapSize];
        uint8_t length[heapSize];
        Code code[literalCodes];
        uint32_t maxCode;  // highest symbol with a code
    };

private:
    static constexpr uint32_t maxSymbols = 32767; // the symbol buffers hold 32,768; one stays free
    static constexpr uint32_t earlyEndStep = 4096;

    bool endSymbol(uint32_t blockInput)
    {
        flagBit = uint8_t(flagBit << 1);
        if ((lastLiteral & 7) == 0) {
            flagBytes[(lastLiteral >> 3) - 1] = flagByte;
            flagByte = 0;
            flagBit = 1;
            if (lastLiteral % earlyEndStep == 0 && earlyEnd(blockInput))
                return true;
        }
        return lastLiteral == maxSymbols;
    }
    bool earlyEnd(uint32_t blockInput) const;
    void resetBlock();

    void buildTree(Tree &tree, const TreeShape &shape);
    void siftDown(const Tree &tree, uint32_t k);
    void assignLengths(Tree &tree, const TreeShape &shape);
    void assignCodes(Tree &tree);
    uint32_t buildBitLengthTree();
    template <class Emit> void walkLengths(const Tree &tree, Emit emit);
    void sendTrees(uint32_t bitLengthCodesSent);
    void sendSymbols(const Code *literal, const Code *distance);

    // Bits go out least significant first; each 32 that gather go to the buffer at once.
    void send(uint32_t value, uint32_t length)
    {
        bitBuffer |= uint64_t(value) << bitCount;
        bitCount += length;
        if (bitCount >= 32) {
            if (fill > ioBufferSize - 4)
                flush();
            const uint32_t word = uint32_t(bitBuffer);
            out[fill] = uint8_t(word);
            out[fill + 1] = uint8_t(word >> 8);
            out[fill + 2] = uint8_t(word >> 16);
            out[fill + 3] = uint8_t(word >> 24);
            fill += 4;
            bytesOut += 4;
            bitBuffer >>= 32;
            bitCount -= 32;
        }
    }
    void send(const Code &code) { send(code.bits, code.length); }
    void putByte(uint8_t byte);
    void align();
    void flush();
    void writeDirect(const uint8_t *bytes, uint32_t count);

    EntryIo &io;
    FaultLog &faults;

    // Symbols of the current block: a literal, or a match length - 3 with its distance - 1.
    uint8_t literals[32768] = {};
    uint16_t distances[32768] = {};
    uint8_t flagBytes[4096] = {};  // bit set for a match, 8 symbols per byte, first in bit 0
    uint32_t lastLiteral = 0;
    uint32_t lastDistance = 0;
    uint8_t flagByte = 0;
    uint8_t flagBit = 1;

    Tree literalTree = {};
    Tree distanceTree = {};
    Tree bitLengthTree = {};
    uint32_t heap[heapSize] = {};  // 1-based; the top end keeps nodes in the order they left
    uint32_t heapLength = 0;
    uint32_t heapMax = 0;
    uint8_t depth[heapSize] = {};
    uint32_t lengthCount[16] = {};

    uint32_t optimalBits = 0;  // estimated size of the block with dynamic codes
    uint32_t fixedBits = 0;    // and with fixed codes
    uint64_t compressedBytes = 0;
    uint32_t pendingBits = 0;

    uint8_t *out;
    uint32_t fill = 0;
    uint64_t bitBuffer = 0;
    uint32_t bitCount = 0;
    uint64_t bytesOut = 0;  // everything sent so far, padding included, to check the accounting
    bool failed = false;
};

} // namespace zip
