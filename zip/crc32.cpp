#include "crc32.h"

#include <array>

namespace zip {

namespace {

constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> table = makeTable();

inline uint32_t step(uint32_t crc, uint8_t byte)
{
    return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

} // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t *bytes, size_t count)
{
    if (!bytes)
        return 0;
    crc = ~crc;
    for (; count >= 8; count -= 8, bytes += 8) {
        crc = step(crc, bytes[0]);
        crc = step(crc, bytes[1]);
        crc = step(crc, bytes[2]);
        crc = step(crc, bytes[3]);
        crc = step(crc, bytes[4]);
        crc = step(crc, bytes[5]);
        crc = step(crc, bytes[6]);
        crc = step(crc, bytes[7]);
    }
    for (; count > 0; --count)
        crc = step(crc, *bytes++);
    return ~crc;
}

} // namespace zip
