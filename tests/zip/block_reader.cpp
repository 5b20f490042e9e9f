#include "block_reader.h"

#include <stdexcept>

namespace blockreader {

Symbol literal(uint8_t byte)
{
    Symbol s;
    s.literal = byte;
    return s;
}

Symbol match(uint32_t length, uint32_t distance)
{
    Symbol s;
    s.length = length;
    s.distance = distance;
    return s;
}

std::string describe(const Symbol &symbol)
{
    if (symbol.length == 0)
        return "literal " + std::to_string(symbol.literal);
    return "match " + std::to_string(symbol.length) + "@" + std::to_string(symbol.distance);
}

namespace {

// RFC 1951, 3.2.5.
const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t distanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                   33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t bitLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

} // namespace

uint32_t distanceExtraBits(uint32_t distance)
{
    uint32_t code = 29;
    while (distanceBase[code] > distance)
        code--;
    return distanceExtra[code];
}

namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Bits {
public:
    explicit Bits(const std::vector<uint8_t> &bytes) : bytes(bytes) {}
    uint32_t get(uint32_t count)
    {
        uint32_t value = 0;
        for (uint32_t i = 0; i < count; i++, position++) {
            if (position / 8 >= bytes.size())
                throw Failure("stream ends early");
            value |= uint32_t((bytes[position / 8] >> (position % 8)) & 1) << i;
        }
        return value;
    }
    void alignToByte() { position = (position + 7) / 8 * 8; }
    size_t position = 0;

private:
    const std::vector<uint8_t> &bytes;
};

// Canonical code from code lengths, decoded one bit at a time.
class Decoder {
public:
    explicit Decoder(const std::vector<uint8_t> &lengths)
    {
        for (uint8_t length : lengths)
            count[length]++;
        count[0] = 0;
        uint32_t offsets[16] = {};
        for (int bits = 1; bits < 16; bits++)
            offsets[bits] = offsets[bits - 1] + count[bits - 1];
        symbols.resize(lengths.size());
        for (size_t n = 0; n < lengths.size(); n++)
            if (lengths[n] != 0)
                symbols[offsets[lengths[n]]++] = uint16_t(n);
    }
    uint32_t decode(Bits &bits) const
    {
        uint32_t code = 0;
        uint32_t first = 0;
        uint32_t index = 0;
        for (int length = 1; length < 16; length++) {
            code |= bits.get(1);
            if (code - first < count[length])
                return symbols[index + code - first];
            index += count[length];
            first = (first + count[length]) << 1;
            code <<= 1;
        }
        throw Failure("invalid code");
    }

private:
    uint32_t count[16] = {};
    std::vector<uint16_t> symbols;
};

void readDynamicHeader(Bits &bits, Block &block)
{
    const uint32_t literalCount = bits.get(5) + 257;
    const uint32_t distanceCount = bits.get(5) + 1;
    const uint32_t bitLengthCount = bits.get(4) + 4;
    block.bitLengthLengths.assign(19, 0);
    for (uint32_t i = 0; i < bitLengthCount; i++)
        block.bitLengthLengths[bitLengthOrder[i]] = uint8_t(bits.get(3));
    const Decoder bitLengthDecoder(block.bitLengthLengths);
    std::vector<uint8_t> lengths;
    while (lengths.size() < literalCount + distanceCount) {
        const uint32_t symbol = bitLengthDecoder.decode(bits);
        block.lengthSymbols.push_back(uint8_t(symbol));
        if (symbol < 16) {
            lengths.push_back(uint8_t(symbol));
        } else if (symbol == 16) {
            if (lengths.empty())
                throw Failure("repeat without a length");
            lengths.insert(lengths.end(), 3 + bits.get(2), lengths.back());
        } else {
            lengths.insert(lengths.end(), symbol == 17 ? 3 + bits.get(3) : 11 + bits.get(7), 0);
        }
    }
    if (lengths.size() != literalCount + distanceCount)
        throw Failure("code lengths overrun");
    block.literalLengths.assign(lengths.begin(), lengths.begin() + literalCount);
    block.distanceLengths.assign(lengths.begin() + literalCount, lengths.end());
}

void readSymbols(Bits &bits, const Decoder &literals, const Decoder &distances, Block &block,
                 std::vector<uint8_t> &data)
{
    for (;;) {
        const uint32_t symbol = literals.decode(bits);
        if (symbol < 256) {
            block.symbols.push_back(literal(uint8_t(symbol)));
            data.push_back(uint8_t(symbol));
            continue;
        }
        if (symbol == 256)
            return;
        if (symbol > 285)
            throw Failure("invalid length code");
        const uint32_t length = lengthBase[symbol - 257] + bits.get(lengthExtra[symbol - 257]);
        const uint32_t dcode = distances.decode(bits);
        if (dcode > 29)
            throw Failure("invalid distance code");
        const uint32_t distance = distanceBase[dcode] + bits.get(distanceExtra[dcode]);
        if (distance > data.size())
            throw Failure("distance before the start");
        block.symbols.push_back(match(length, distance));
        for (uint32_t i = 0; i < length; i++)
            data.push_back(data[data.size() - distance]);
    }
}

} // namespace

Stream read(const std::vector<uint8_t> &compressed)
{
    Stream stream;
    Bits bits(compressed);
    try {
        bool last = false;
        while (!last) {
            Block block;
            block.startBit = bits.position;
            block.inputStart = stream.data.size();
            last = bits.get(1) != 0;
            block.last = last;
            const uint32_t type = bits.get(2);
            if (type == 0) {
                block.type = BlockType::Stored;
                bits.alignToByte();
                const uint32_t length = bits.get(16);
                if ((bits.get(16) ^ 0xFFFF) != length)
                    throw Failure("stored length check");
                for (uint32_t i = 0; i < length; i++)
                    stream.data.push_back(uint8_t(bits.get(8)));
            } else if (type == 1) {
                block.type = BlockType::Fixed;
                std::vector<uint8_t> literalLengths(288, 8);
                for (int n = 144; n < 256; n++)
                    literalLengths[n] = 9;
                for (int n = 256; n < 280; n++)
                    literalLengths[n] = 7;
                readSymbols(bits, Decoder(literalLengths), Decoder(std::vector<uint8_t>(30, 5)), block,
                            stream.data);
            } else if (type == 2) {
                block.type = BlockType::Dynamic;
                readDynamicHeader(bits, block);
                readSymbols(bits, Decoder(block.literalLengths), Decoder(block.distanceLengths), block,
                            stream.data);
            } else {
                throw Failure("reserved block type");
            }
            block.endBit = bits.position;
            block.inputBytes = stream.data.size() - block.inputStart;
            stream.blocks.push_back(std::move(block));
        }
    } catch (const Failure &failure) {
        stream.error = failure.what();
    }
    stream.bits = bits.position;
    return stream;
}

} // namespace blockreader
