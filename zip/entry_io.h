#pragma once
// The seam between the archive writer and the deflate compressor: the compressor pulls an
// entry's bytes through `read` and pushes its output through `write`, using the writer's
// 16 KiB I/O buffer as its bit-output buffer.

#include <cstddef>
#include <cstdint>

namespace zip {

constexpr uint32_t ioBufferSize = 16384;
// The general-purpose flag bits a deflated entry gets: maximum compression (level 8).
constexpr uint16_t levelFlags = 0x0002;

class EntryIo {
public:
    virtual ~EntryIo() = default;
    // Up to maxBytes of the entry's source into buffer; 0 at the end of the source (or on a
    // read error). The writer keeps the byte count and CRC of what it delivers.
    virtual uint32_t read(uint8_t *buffer, uint32_t maxBytes) = 0;
    // Appends count bytes to the archive and returns how many were written.
    virtual uint32_t write(const uint8_t *bytes, uint32_t count) = 0;
    // The writer's I/O buffer of ioBufferSize bytes.
    virtual uint8_t *buffer() = 0;
};

struct DeflateResult {
    uint64_t compressedSize = 0;
    bool failed = false;          // an internal consistency message was recorded
    const char *message = nullptr; // the last such message, for diagnostics
};

// Deflates one entry at level 8 from io. ORs the level's bits (0x0002) into flags.
DeflateResult deflateEntry(EntryIo &io, uint16_t &flags);

} // namespace zip
