#pragma once
// What the compressor needs of the compiler beyond standard C++: counting trailing zero bits,
// a hint for branches that are almost never taken, and the byte order that the word-at-a-time
// loops assume. GCC and Clang have built-ins for all three; MSVC has intrinsics, and every
// machine it builds for stores the low byte of a word first.

#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace zip {

// The number of zero bits below the lowest set bit; `value` is not zero.
inline uint32_t trailingZeros(uint32_t value)
{
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index = 0;
    _BitScanForward(&index, value);
    return uint32_t(index);
#else
    return uint32_t(__builtin_ctz(value));
#endif
}

inline uint32_t trailingZeros(uint64_t value)
{
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index = 0;
    _BitScanForward64(&index, value);
    return uint32_t(index);
#else
    return uint32_t(__builtin_ctzll(value));
#endif
}

// Whether the low byte of a word comes first in memory.
#if defined(__BYTE_ORDER__)
constexpr bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#elif defined(_MSC_VER)
constexpr bool littleEndian = true;
#endif

} // namespace zip

// A condition that is almost always false, so that the compiler lays out the other way first.
#if defined(__GNUC__) || defined(__clang__)
#define ZIP_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#else
#define ZIP_UNLIKELY(condition) (condition)
#endif
