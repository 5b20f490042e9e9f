#pragma once
// An entry's source and archive in memory, for the compressor's tests.

#include "entry_io.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// Reads deliver all that is asked for, as fread does.
class MemoryIo : public zip::EntryIo {
public:
    explicit MemoryIo(std::vector<uint8_t> input = {}) : input(std::move(input)) {}

    uint32_t read(uint8_t *buffer, uint32_t maxBytes) override
    {
        const size_t count = std::min<size_t>(maxBytes, input.size() - position);
        std::copy_n(input.begin() + std::ptrdiff_t(position), count, buffer);
        position += count;
        return uint32_t(count);
    }
    uint32_t write(const uint8_t *bytes, uint32_t count) override
    {
        writes++;
        const uint32_t accepted = writeLimit(count);
        output.insert(output.end(), bytes, bytes + accepted);
        return accepted;
    }
    uint8_t *buffer() override { return io.data(); }

    virtual uint32_t writeLimit(uint32_t count) { return count; }

    std::vector<uint8_t> input;
    size_t position = 0;
    std::vector<uint8_t> output;
    size_t writes = 0;

private:
    std::array<uint8_t, zip::ioBufferSize> io{};
};
