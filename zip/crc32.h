#pragma once
// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320, initial and final complement.

#include <cstddef>
#include <cstdint>

namespace zip {

// Folds `count` bytes into a running CRC. A running value that starts at 0 gives the standard
// CRC, and updates chain: crc32Update(crc32Update(0, a, n), b, m) is the CRC of a then b.
// A null buffer gives 0.
uint32_t crc32Update(uint32_t crc, const uint8_t *bytes, size_t count);

} // namespace zip
