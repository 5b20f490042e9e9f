#pragma once
// The archive writer behind zipassembler.h: one ZipAssembler per archive, owned by its handle.

#include "entry_io.h"
#include "fileinfo.h"
#include "zipassembler.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zip {

// What the headers of one entry carry. The local header is written twice: first with the
// provisional values, then, once the data is written, with the final ones.
struct ZipEntryRecord {
    std::string name; // normalised; no terminator is written
    uint16_t flags = 0x0008;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    EntryTimes times;
};

// The source of the entry being added, and what has been taken from it.
struct EntrySource {
    std::FILE *stream = nullptr;
    bool closeStream = false; // the writer opened the stream itself
    const uint8_t *memory = nullptr;
    uint32_t memoryLength = 0;
    uint32_t memoryPosition = 0;
    uint32_t attributes = 0;
    EntryTimes times;
    int32_t declaredSize = -1; // for the provisional header; -1 when unknown
    bool sizeKnown = false;    // size below holds the source's full size
    uint64_t size = 0;
    uint32_t bytesRead = 0;
    uint32_t crc = 0;
};

class ZipAssembler final : public EntryIo {
public:
    // Sizes, offsets and the archive's length stay within this bound, and sources stay below
    // it: 0xFFFFFFFF marks a ZIP64 field to readers. Tests lower it to reach it cheaply.
    uint32_t sizeLimit = 0xFFFFFFFF;

    ZipAssembler() = default;
    ZipAssembler(const ZipAssembler &) = delete;
    ZipAssembler &operator=(const ZipAssembler &) = delete;
    ~ZipAssembler() override;

    ZipAssemblerResult openFile(const char *path);
    ZipAssemblerResult openMemory(void *buffer, uint32_t capacity);
    ZipAssemblerResult add(const char *entryName, const void *source, uint32_t sourceLength,
                           ZipSourceKind kind);
    ZipAssemblerResult addBatch(ZipAssemblerEntry *batch, uint32_t count, ZipAssemblerProgress progress,
                                void *context);
    // Writes the central directory and end record once; later calls repeat the result.
    ZipAssemblerResult finish();
    ZipAssemblerResult close();
    ZipAssemblerResult memoryArchive(const uint8_t **bytes, uint32_t *length);

    // EntryIo for the compressor: the source's bytes, and the entry's data out.
    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override { return readEntrySource(bytes, maxBytes); }
    uint32_t write(const uint8_t *bytes, uint32_t count) override;
    uint8_t *buffer() override { return ioBuffer.data(); }

private:
    ZipAssemblerResult openSource(const void *source, uint32_t sourceLength, ZipSourceKind kind);
    ZipAssemblerResult takeStream(const char *path, uint32_t sourceLength);
    void closeSource();
    ZipAssemblerResult checkRoom(const ZipEntryRecord &entry) const;
    ZipAssemblerResult writeData(ZipEntryRecord &entry, ZipSourceKind kind);
    ZipAssemblerResult rewriteLocalHeader(const ZipEntryRecord &entry);
    ZipAssemblerResult archiveResult(ZipAssemblerResult result) const;

    uint32_t readEntrySource(uint8_t *bytes, uint32_t maxBytes);
    uint32_t fetch(uint8_t *bytes, uint32_t maxBytes);
    uint32_t writeArchiveBytes(const uint8_t *bytes, uint32_t count);
    bool writeRecord(const std::vector<uint8_t> &record);
    bool seekArchive(uint32_t position);
    bool growMemory(uint64_t needed);
    uint64_t committed() const;
    void fail(ZipAssemblerResult error);

    std::FILE *output = nullptr;
    MemoryBlock memory;      // memory target
    bool ownsMemory = false; // false while the archive sits in the caller's buffer
    uint32_t position = 0;   // memory target's write position
    ZipAssemblerResult stickyError = ZipAssemblerResult::Ok;
    uint32_t written = 0;    // bytes in the archive so far: the offset of the next record
    bool closed = false;     // the central directory has been written
    ZipAssemblerResult finishResult = ZipAssemblerResult::Ok;
    std::vector<ZipEntryRecord> entries;
    uint64_t centralSize = 0; // central headers of the entries so far

    EntrySource input;
    uint32_t entryBytes = 0;   // entry data written for the current entry
    uint32_t entryReserve = 0; // its central header, kept free while its data is written
    ZipAssemblerResult entryError = ZipAssemblerResult::Ok;
    std::array<uint8_t, ioBufferSize> ioBuffer{};
};

} // namespace zip

struct ZipAssemblerHandle {
    static constexpr uint32_t archiveWriter = 2;
    uint32_t kind = archiveWriter;
    std::unique_ptr<zip::ZipAssembler> writer;
};
