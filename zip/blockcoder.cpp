#include "blockcoder.h"

namespace zip {

namespace {

using Code = BlockCoder::Code;

constexpr uint32_t endOfBlock = BlockCoder::endOfBlock;
constexpr uint32_t lengthCodes = CodeTables::lengthCodes;

// Extra bits per length code, distance code and bit-length code (RFC 1951, 3.2.5 and 3.2.7).
constexpr uint8_t lengthExtra[lengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t distanceExtra[BlockCoder::distanceCodes] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t bitLengthExtra[BlockCoder::bitLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which the bit-length code lengths are sent, most likely used first.
constexpr uint8_t bitLengthOrder[BlockCoder::bitLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t reverseBits(uint32_t code, uint32_t length)
{
    uint32_t reversed = 0;
    for (uint32_t i = 0; i < length; i++, code >>= 1)
        reversed = (reversed << 1) | (code & 1);
    return reversed;
}

constexpr CodeTables makeCodeTables()
{
    CodeTables t{};
    uint32_t length = 0;
    for (uint32_t code = 0; code < CodeTables::lengthCodes - 1; code++) {
        t.lengthBase[code] = uint8_t(length);
        for (uint32_t n = 0; n < (1u << lengthExtra[code]); n++)
            t.lengthCode[length++] = uint8_t(code);
    }
    // Length 258 has a code of its own, although the code before could reach it.
    t.lengthBase[CodeTables::lengthCodes - 1] = 255;
    t.lengthCode[255] = CodeTables::lengthCodes - 1;

    uint32_t distance = 0;
    for (uint32_t code = 0; code < BlockCoder::distanceCodes; code++) {
        t.distanceBase[code] = uint16_t(distance);
        const uint32_t end = distance + (1u << distanceExtra[code]);
        for (; distance < end; distance += distance < 256 ? 1 : 128)
            t.distanceCode[distance < 256 ? distance : 256 + (distance >> 7)] = uint8_t(code);
    }

    uint32_t count[10] = {};
    uint8_t lengths[288] = {};
    for (uint32_t n = 0; n < 288; n++) {
        lengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        count[lengths[n]]++;
    }
    uint32_t next[10] = {};
    for (uint32_t bits = 1, code = 0; bits < 10; bits++) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (uint32_t n = 0; n < 288; n++)
        t.fixedLiteral[n] = {uint16_t(reverseBits(next[lengths[n]]++, lengths[n])), lengths[n]};
    for (uint32_t n = 0; n < BlockCoder::distanceCodes; n++)
        t.fixedDistance[n] = {uint16_t(reverseBits(n, 5)), 5};
    return t;
}

// n comes before m in the heap: less frequent, or as frequent and not deeper, so that equal
// weights keep the tree flat.
bool before(const BlockCoder::Tree &tree, const uint8_t *depth, uint32_t n, uint32_t m)
{
    return tree.freq[n] < tree.freq[m] || (tree.freq[n] == tree.freq[m] && depth[n] <= depth[m]);
}

} // namespace

const CodeTables codeTables = makeCodeTables();

namespace {

const BlockCoder::TreeShape literalShape = {BlockCoder::literalCodes, endOfBlock + 1, lengthExtra, 15,
                                            codeTables.fixedLiteral};
const BlockCoder::TreeShape distanceShape = {BlockCoder::distanceCodes, 0, distanceExtra, 15,
                                             codeTables.fixedDistance};
const BlockCoder::TreeShape bitLengthShape = {BlockCoder::bitLengthCodes, 0, bitLengthExtra, 7, nullptr};

} // namespace

BlockCoder::BlockCoder(EntryIo &io, FaultLog &faults) : io(io), faults(faults), out(io.buffer())
{
    resetBlock();
}

void BlockCoder::resetBlock()
{
    for (uint32_t n = 0; n < literalCodes; n++)
        literalTree.freq[n] = 0;
    for (uint32_t n = 0; n < distanceCodes; n++)
        distanceTree.freq[n] = 0;
    for (uint32_t n = 0; n < bitLengthCodes; n++)
        bitLengthTree.freq[n] = 0;
    literalTree.freq[endOfBlock] = 1;
    optimalBits = 0;
    fixedBits = 0;
    lastLiteral = 0;
    lastDistance = 0;
    flagByte = 0;
    flagBit = 1;
}

// End a block early when it is mostly literals but its input would shrink well: the data has
// changed character and fresh codes will serve the rest better.
bool BlockCoder::earlyEnd(uint32_t blockInput) const
{
    uint32_t outBits = lastLiteral * 8;
    for (uint32_t code = 0; code < distanceCodes; code++)
        outBits += distanceTree.freq[code] * (5 + distanceExtra[code]);
    return lastDistance < lastLiteral / 2 && (outBits >> 3) < blockInput / 2;
}

void BlockCoder::siftDown(const Tree &tree, uint32_t k)
{
    const uint32_t v = heap[k];
    for (uint32_t j = k << 1; j <= heapLength; j <<= 1) {
        if (j < heapLength && before(tree, depth, heap[j + 1], heap[j]))
            j++;
        if (before(tree, depth, v, heap[j]))
            break;
        heap[k] = heap[j];
        k = j;
    }
    heap[k] = v;
}

void BlockCoder::buildTree(Tree &tree, const TreeShape &shape)
{
    heapLength = 0;
    heapMax = heapSize;
    int32_t maxCode = -1;
    for (uint32_t n = 0; n < shape.elements; n++) {
        if (tree.freq[n] != 0) {
            heap[++heapLength] = n;
            maxCode = int32_t(n);
            depth[n] = 0;
        } else {
            tree.length[n] = 0;
        }
    }
    // A code needs two symbols at least, so a lone symbol gets a partner that costs nothing in
    // the estimates.
    while (heapLength < 2) {
        const uint32_t node = maxCode < 2 ? uint32_t(++maxCode) : 0;
        heap[++heapLength] = node;
        tree.freq[node] = 1;
        depth[node] = 0;
        optimalBits--;
        if (shape.fixed)
            fixedBits -= shape.fixed[node].length;
    }
    tree.maxCode = uint32_t(maxCode);

    for (uint32_t k = heapLength / 2; k >= 1; k--)
        siftDown(tree, k);

    uint32_t node = shape.elements;
    do {
        const uint32_t n = heap[1];
        heap[1] = heap[heapLength--];
        siftDown(tree, 1);
        const uint32_t m = heap[1];
        heap[--heapMax] = n;
        heap[--heapMax] = m;
        tree.freq[node] = tree.freq[n] + tree.freq[m];
        depth[node] = uint8_t((depth[n] >= depth[m] ? depth[n] : depth[m]) + 1);
        tree.parent[n] = tree.parent[m] = uint16_t(node);
        heap[1] = node++;
        siftDown(tree, 1);
    } while (heapLength >= 2);
    heap[--heapMax] = heap[1];

    assignLengths(tree, shape);
    assignCodes(tree);
}

void BlockCoder::assignLengths(Tree &tree, const TreeShape &shape)
{
    for (uint32_t &count : lengthCount)
        count = 0;
    tree.length[heap[heapMax]] = 0;  // the root

    // Parents left the heap after their children, so walking back gives every node its
    // parent's length first. Every node past the maximum depth counts, inner ones too: a
    // subtree of k leaves hanging below the limit holds 2k - 2 such nodes and needs k - 1
    // repairs below.
    uint32_t overflow = 0;
    for (uint32_t h = heapMax + 1; h < heapSize; h++) {
        const uint32_t n = heap[h];
        uint32_t bits = tree.length[tree.parent[n]] + 1u;
        if (bits > shape.maxLength) {
            bits = shape.maxLength;
            overflow++;
        }
        tree.length[n] = uint8_t(bits);
        if (n > tree.maxCode)
            continue;  // inner node
        lengthCount[bits]++;
        const uint32_t extra = n >= shape.extraBase ? shape.extraBits[n - shape.extraBase] : 0;
        optimalBits += tree.freq[n] * (bits + extra);
        if (shape.fixed)
            fixedBits += tree.freq[n] * (shape.fixed[n].length + extra);
    }
    if (overflow == 0)
        return;

    // Each repair moves a leaf from the deepest level above the limit one level down, where
    // it pairs with a leaf from the limit level.
    do {
        uint32_t bits = shape.maxLength - 1;
        while (lengthCount[bits] == 0)
            bits--;
        lengthCount[bits]--;
        lengthCount[bits + 1] += 2;
        lengthCount[shape.maxLength]--;
        overflow = overflow > 2 ? overflow - 2 : 0;
    } while (overflow > 0);

    // Hand the lengths out again, the longest to the leaves that left the heap first (the
    // least frequent).
    uint32_t h = heapSize;
    for (uint32_t bits = shape.maxLength; bits != 0; bits--) {
        for (uint32_t n = lengthCount[bits]; n != 0;) {
            const uint32_t m = heap[--h];
            if (m > tree.maxCode)
                continue;
            if (tree.length[m] != bits) {
                optimalBits += (bits - tree.length[m]) * tree.freq[m];
                tree.length[m] = uint8_t(bits);
            }
            n--;
        }
    }
}

void BlockCoder::assignCodes(Tree &tree)
{
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (uint32_t bits = 1; bits < 16; bits++) {
        code = (code + lengthCount[bits - 1]) << 1;
        next[bits] = code;
    }
    if (next[15] + lengthCount[15] != 32768)
        faults.record("inconsistent bit counts");
    for (uint32_t n = 0; n <= tree.maxCode; n++) {
        const uint32_t length = tree.length[n];
        if (length != 0)
            tree.code[n] = {uint16_t(reverseBits(next[length]++, length)), uint8_t(length)};
    }
}

// Walks a tree's code lengths as the dynamic block header codes them: runs of zeros as codes
// 17 and 18, repeats of a length as code 16, everything else one code per length. emit gets
// the bit-length symbol and its extra-bit value.
template <class Emit> void BlockCoder::walkLengths(const Tree &tree, Emit emit)
{
    const uint32_t maxCode = tree.maxCode;
    uint32_t previous = 0xFFFF;
    uint32_t next = tree.length[0];
    uint32_t count = 0;
    uint32_t maxCount = next == 0 ? 138 : 7;
    uint32_t minCount = next == 0 ? 3 : 4;
    for (uint32_t n = 0; n <= maxCode; n++) {
        const uint32_t current = next;
        next = n < maxCode ? tree.length[n + 1] : 0xFFFF;
        if (++count < maxCount && current == next)
            continue;
        if (count < minCount) {
            for (; count != 0; count--)
                emit(current, 0);
        } else if (current != 0) {
            if (current != previous) {
                emit(current, 0);
                count--;
            }
            if (count < 3 || count > 6)
                faults.record(" 3_6?");
            emit(16, count - 3);
        } else if (count <= 10) {
            emit(17, count - 3);
        } else {
            emit(18, count - 11);
        }
        count = 0;
        previous = current;
        if (next == 0) {
            maxCount = 138;
            minCount = 3;
        } else if (current == next) {
            maxCount = 6;
            minCount = 3;
        } else {
            maxCount = 7;
            minCount = 4;
        }
    }
}

uint32_t BlockCoder::buildBitLengthTree()
{
    const auto count = [this](uint32_t symbol, uint32_t) { bitLengthTree.freq[symbol]++; };
    walkLengths(literalTree, count);
    walkLengths(distanceTree, count);
    buildTree(bitLengthTree, bitLengthShape);

    // Send the bit-length code lengths up to the last one in use, four at least.
    uint32_t last = bitLengthCodes - 1;
    while (last > 3 && bitLengthTree.length[bitLengthOrder[last]] == 0)
        last--;
    optimalBits += 3 * (last + 1) + 5 + 5 + 4;
    return last + 1;
}

void BlockCoder::sendTrees(uint32_t bitLengthCodesSent)
{
    const uint32_t literalCount = literalTree.maxCode + 1;
    const uint32_t distanceCount = distanceTree.maxCode + 1;
    if (literalCount < 257 || distanceCount < 1 || bitLengthCodesSent < 4)
        faults.record("not enough codes");
    if (literalCount > literalCodes || distanceCount > distanceCodes
        || bitLengthCodesSent > bitLengthCodes)
        faults.record("too many codes");
    send(literalCount - 257, 5);
    send(distanceCount - 1, 5);
    send(bitLengthCodesSent - 4, 4);
    for (uint32_t rank = 0; rank < bitLengthCodesSent; rank++)
        send(bitLengthTree.length[bitLengthOrder[rank]], 3);
    const auto code = [this](uint32_t symbol, uint32_t extra) {
        send(bitLengthTree.code[symbol]);
        if (bitLengthExtra[symbol] != 0)
            send(extra, bitLengthExtra[symbol]);
    };
    walkLengths(literalTree, code);
    walkLengths(distanceTree, code);
}

void BlockCoder::sendSymbols(const Code *literal, const Code *distance)
{
    uint32_t dx = 0;
    uint32_t flags = 0;
    for (uint32_t lx = 0; lx < lastLiteral; lx++) {
        if ((lx & 7) == 0)
            flags = flagBytes[lx >> 3];
        const uint32_t v = literals[lx];
        if (flags & 1) {
            // Each code goes out with its extra bits in one step (at most 20 and 28 bits); a
            // code without extra bits stands for a single value, so they are 0 then.
            const uint32_t lcode = codeTables.lengthCode[v];
            const Code &lengthSymbol = literal[endOfBlock + 1 + lcode];
            send(lengthSymbol.bits | (v - codeTables.lengthBase[lcode]) << lengthSymbol.length,
                 lengthSymbol.length + lengthExtra[lcode]);
            const uint32_t d = distances[dx++];
            const uint32_t dcode = distanceCodeOf(d);
            const Code &distanceSymbol = distance[dcode];
            send(distanceSymbol.bits | (d - codeTables.distanceBase[dcode]) << distanceSymbol.length,
                 distanceSymbol.length + distanceExtra[dcode]);
        } else {
            send(literal[v]);
        }
        flags >>= 1;
    }
    send(literal[endOfBlock]);
}

uint64_t BlockCoder::emitBlock(const uint8_t *input, uint32_t storedLength, bool last)
{
    flagBytes[lastLiteral >> 3] = flagByte;
    buildTree(literalTree, literalShape);
    buildTree(distanceTree, distanceShape);
    const uint32_t bitLengthCodesSent = buildBitLengthTree();

    // Sizes in bytes with the 3 header bits, each rounded up as if the block ended the entry.
    const uint32_t fixedBytes = (fixedBits + 3 + 7) >> 3;
    uint32_t bestBytes = (optimalBits + 3 + 7) >> 3;
    if (fixedBytes <= bestBytes)
        bestBytes = fixedBytes;

    if (input != nullptr && storedLength + 4 <= bestBytes) {
        send(last ? 1 : 0, 3);
        compressedBytes += ((pendingBits + 3 + 7) >> 3) + storedLength + 4;
        pendingBits = 0;
        align();
        putByte(uint8_t(storedLength));
        putByte(uint8_t(storedLength >> 8));
        putByte(uint8_t(~storedLength));
        putByte(uint8_t(~storedLength >> 8));
        flush();
        writeDirect(input, storedLength);
    } else if (fixedBytes == bestBytes) {
        send(2 + (last ? 1 : 0), 3);
        sendSymbols(codeTables.fixedLiteral, codeTables.fixedDistance);
        pendingBits += 3 + fixedBits;
    } else {
        send(4 + (last ? 1 : 0), 3);
        sendTrees(bitLengthCodesSent);
        sendSymbols(literalTree.code, distanceTree.code);
        pendingBits += 3 + optimalBits;
    }
    compressedBytes += pendingBits >> 3;
    pendingBits &= 7;
    if (uint32_t(compressedBytes * 8 + pendingBits) != uint32_t(bytesOut * 8 + bitCount))
        faults.record("bad compressed size");

    resetBlock();
    if (last) {
        align();
        pendingBits += 7;
    }
    return compressedBytes + (pendingBits >> 3);
}

void BlockCoder::putByte(uint8_t byte)
{
    if (fill >= ioBufferSize)
        flush();
    out[fill++] = byte;
    bytesOut++;
}

// Pads the pending bits to a byte boundary and hands everything buffered to the archive.
void BlockCoder::align()
{
    for (; bitCount > 0; bitCount = bitCount > 8 ? bitCount - 8 : 0) {
        putByte(uint8_t(bitBuffer));
        bitBuffer >>= 8;
    }
    bitBuffer = 0;
    flush();
}

// A short write loses output for good, so the buffer is emptied either way and nothing more
// is written: the archive writer sees the short count and fails the entry.
void BlockCoder::flush()
{
    if (fill != 0 && !failed && io.write(out, fill) != fill)
        failed = true;
    fill = 0;
}

void BlockCoder::writeDirect(const uint8_t *bytes, uint32_t count)
{
    if (count != 0 && !failed && io.write(bytes, count) != count)
        failed = true;
    bytesOut += count;
}

} // namespace zip
