#pragma once
// A plain, slow level-8 matcher for the tests, written straight from the compressor's rules: one
// chain walk at a time, no forecast, byte-by-byte compares, head and prev tables of 32-bit
// positions with prev indexed by position AND 0x7FFF. Its symbols are what the real matcher's
// must be, byte for byte.

#include "block_reader.h"

#include <cstdint>
#include <vector>

namespace reference {

// The literals and matches of `input`, read into the window in the largest pieces that fit, as
// the writer hands a file over.
std::vector<blockreader::Symbol> parse(const std::vector<uint8_t> &input);

} // namespace reference
