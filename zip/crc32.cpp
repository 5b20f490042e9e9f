#include "crc32.h"

#include "compiler.h"

#include <array>
#include <cstring>

namespace zip {

namespace {

// table[0] is the classic byte table; table[k][n] is the CRC of byte n followed by k zero
// bytes, so that eight bytes fold in with eight independent lookups (slicing by 8).
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables makeTables()
{
    Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (uint32_t n = 0; n < 256; ++n)
            tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ (tables[k - 1][n] >> 8);
    return tables;
}

constexpr Tables tables = makeTables();

static_assert(littleEndian, "the eight-byte step reads words low byte first");

} // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t *bytes, size_t count)
{
    if (!bytes)
        return 0;
    crc = ~crc;
    for (; count >= 8; count -= 8, bytes += 8) {
        uint32_t low, high;
        std::memcpy(&low, bytes, 4);
        std::memcpy(&high, bytes + 4, 4);
        low ^= crc;
        crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF]
            ^ tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF]
            ^ tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
    }
    for (; count > 0; --count)
        crc = tables[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace zip
