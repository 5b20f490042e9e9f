#pragma once
// Where an entry's bytes come from: one interface, with an adapter for each kind of source.

#include "zipassembler.h"

#include <cstdio>
#include <memory>

namespace zip {

class Source {
public:
    virtual ~Source() = default;
    // Up to maxBytes into `bytes`; 0 at the end or on a read error.
    virtual uint32_t read(uint8_t *bytes, uint32_t maxBytes) = 0;
    // Starts the data again from its first byte; false when it cannot.
    virtual bool rewind() = 0;
};

// An open stream; `owned` ones are closed with the source. Only a disk file (`seekable`) can
// start over.
std::unique_ptr<Source> fileSource(std::FILE *stream, bool owned, bool seekable);
// A block the caller keeps for as long as the source lives.
std::unique_ptr<Source> memorySource(const uint8_t *bytes, uint32_t length);
// The caller's callbacks; the reader stays the caller's.
std::unique_ptr<Source> callbackSource(const ZipAssemblerReader &reader);

} // namespace zip
