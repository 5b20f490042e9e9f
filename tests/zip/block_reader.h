#pragma once
// A small, slow raw-deflate reader for the tests: it decodes a stream into its blocks and
// symbols so that tests can see which block types and matches the compressor chose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace blockreader {

enum class BlockType { Stored = 0, Fixed = 1, Dynamic = 2 };

struct Symbol {
    uint32_t length = 0;  // 0 for a literal
    uint32_t distance = 0;
    uint8_t literal = 0;
    bool operator==(const Symbol &o) const
    {
        return length == o.length && distance == o.distance && (length != 0 || literal == o.literal);
    }
};

Symbol literal(uint8_t byte);
Symbol match(uint32_t length, uint32_t distance);
std::string describe(const Symbol &symbol);
// Extra bits that follow the code of a match distance.
uint32_t distanceExtraBits(uint32_t distance);

struct Block {
    BlockType type = BlockType::Stored;
    bool last = false;
    size_t startBit = 0;
    size_t endBit = 0;
    size_t inputStart = 0;  // offset of the block's first byte in the decoded data
    size_t inputBytes = 0;
    std::vector<Symbol> symbols;  // coded blocks only, end-of-block code not included
    // Dynamic blocks: the code lengths as sent, and the bit-length symbols that coded them.
    std::vector<uint8_t> literalLengths;
    std::vector<uint8_t> distanceLengths;
    std::vector<uint8_t> bitLengthLengths;  // indexed by symbol 0..18
    std::vector<uint8_t> lengthSymbols;
};

struct Stream {
    std::vector<Block> blocks;
    std::vector<uint8_t> data;
    size_t bits = 0;
    std::string error;  // empty when the stream decoded completely
};

Stream read(const std::vector<uint8_t> &compressed);

} // namespace blockreader
