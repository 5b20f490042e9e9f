#pragma once
// The archive writer behind zipassembler.h: one ZipAssembler per archive, owned by its handle.

#include "entry_io.h"
#include "fileinfo.h"
#include "source.h"
#include "zipassembler.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zip {

// What the headers of one entry carry. The local header is written twice: first with the
// provisional values, then, once the data is written, with the final ones, in the same size.
struct ZipEntryRecord {
    std::string name; // normalised; no terminator is written
    uint16_t flags = 0x0008;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t externalAttributes = 0;
    uint64_t localHeaderOffset = 0;
    bool zip64Local = false; // the local header carries both sizes in a ZIP64 field
    EntryTimes times;
};

// The source of an entry being added, and what has been taken from it.
struct EntrySource {
    std::unique_ptr<Source> data; // null for a folder, which has no data
    std::optional<uint64_t> size; // the source's full size, when known before it is read
    uint64_t expectedSize = 0;    // size, or what a reader or a device's caller declared (0: unknown)
    uint32_t attributes = 0;
    EntryTimes times;
    uint64_t bytesRead = 0;
    uint32_t crc = 0;
    bool outgrown = false; // the source holds `limit` bytes or more: reading stopped

    // Up to maxBytes into `bytes`, counted and folded into the CRC; 0 at the end, on a read
    // error, and from the point where the source reaches `limit` bytes.
    uint32_t read(uint8_t *bytes, uint32_t maxBytes, uint64_t limit);
    // Starts the data again from its first byte, the counts too; false when it cannot.
    bool restart();
    // Lets go of the data (a stream the writer opened is closed); the counts stay.
    void close() { data.reset(); }
};

// Opens `source` for an add into `input` (see zipAssemblerAdd): OpenFailed or BadArgument
// when it cannot be read.
ZipAssemblerResult openSource(EntrySource &input, const void *source, uint32_t sourceLength, ZipSourceKind kind);

// True when an add of this name and kind deflates its data (from a file, a stream or memory).
bool deflatesSource(const char *entryName, ZipSourceKind kind);

class Crew;

// What a writer keeps from its creation on. The defaults are the format's; tests lower the
// limits to reach them cheaply, and the batch's budget and report interval to reach the scratch
// file, races and every report.
struct WriterOptions {
    // A size or offset at or past this bound goes into a ZIP64 field (0xFFFFFFFF marks one to
    // readers), and a memory archive's length stays within it; past this count of entries the
    // end records go ZIP64.
    uint32_t sizeLimit = 0xFFFFFFFF;
    uint32_t countLimit = 0xFFFF;
    // Batch adds: the compressed data kept in memory while it waits for its turn (beyond it,
    // a scratch file beside the archive), the threads (0: one per core; see
    // zipAssemblerSetThreads), the segment size of a large entry deflated on several threads
    // (0: chosen for the threads) and the time between progress reports.
    uint64_t spoolMemory = 32u << 20;
    uint32_t threads = 0;
    uint32_t segmentSize = 0;
    std::chrono::milliseconds progressInterval{100};
};

// What a batch lends one of its adds: the threads that help deflate a large entry, and a hook
// told of every source read, which stops the add with Cancelled by returning false.
struct AddContext {
    Crew *crew = nullptr;
    std::function<bool(uint32_t count)> onRead;
};

class ZipAssembler final {
public:
    explicit ZipAssembler(const WriterOptions &options = {}) : settings(options) {}
    ZipAssembler(const ZipAssembler &) = delete;
    ZipAssembler &operator=(const ZipAssembler &) = delete;
    ~ZipAssembler();

    const WriterOptions &options() const { return settings; }
    // The batch's thread count and segment size, which the public interface sets after create;
    // they leave the archive's bytes as they are.
    void setThreads(uint32_t threads) { settings.threads = threads; }
    void setSegmentSize(uint32_t bytes) { settings.segmentSize = bytes; }

    ZipAssemblerResult openFile(const char *path);
    ZipAssemblerResult openStream(std::FILE *stream);
    ZipAssemblerResult openMemory(void *buffer, uint32_t capacity);
    ZipAssemblerResult add(const char *entryName, const void *source, uint32_t sourceLength,
                           ZipSourceKind kind, const AddContext &context = {});
    // Adds an entry deflated ahead of its turn, as add would with the same source: `source` is
    // what opening and reading it found (`opened` the open's result), `replay` writes the
    // compressed bytes through write() as the compressor made them, ORs the compressor's flag
    // bits into `flags` and returns its result.
    ZipAssemblerResult addDeflated(const char *entryName, EntrySource &source, ZipAssemblerResult opened,
                                   const std::function<DeflateResult(uint16_t &flags)> &replay);
    // Where reading a source for an entry stops: at sizeLimit unless its declared size has the
    // entry start with the ZIP64 local header.
    uint64_t readLimit(const EntrySource &source) const;
    // The reason adds are refused before they start, or Ok.
    ZipAssemblerResult refusal() const;
    // Ends the archive's usefulness after a cancelled batch: later adds are refused.
    void cancel() { fail(ZipAssemblerResult::Cancelled); }
    // The failure that leaves the archive in doubt, or Ok.
    ZipAssemblerResult failure() const { return stickyError; }
    // Where a batch's waiting data goes past its memory budget: the start of a scratch file's
    // path; empty for a memory target, which holds all its data in memory anyway.
    const std::string &scratchPrefix() const { return scratch; }
    // Writes the central directory and end record once; later calls repeat the result.
    ZipAssemblerResult finish();
    ZipAssemblerResult close();
    ZipAssemblerResult memoryArchive(const uint8_t **bytes, uint32_t *length);

    // The current entry's data out: see the definition.
    uint32_t write(const uint8_t *bytes, uint32_t count);

private:
    ZipAssemblerResult admit(const char *entryName, ZipSourceKind kind, ZipEntryRecord &entry) const;
    ZipAssemblerResult writeEntry(ZipEntryRecord &entry, ZipAssemblerResult opened,
                                  const std::function<ZipAssemblerResult()> &data,
                                  const std::function<bool()> &restart);
    ZipAssemblerResult writeOnce(ZipEntryRecord &entry, const std::function<ZipAssemblerResult()> &data);
    bool rollBack(uint64_t offset);
    ZipAssemblerResult checkRoom(const ZipEntryRecord &entry) const;
    ZipAssemblerResult writeData(ZipEntryRecord &entry, ZipSourceKind kind, const AddContext &context);
    ZipAssemblerResult deflateOutcome(const DeflateResult &deflate) const;
    ZipAssemblerResult rewriteLocalHeader(const ZipEntryRecord &entry);
    ZipAssemblerResult archiveResult(ZipAssemblerResult result) const;

    uint32_t readEntrySource(uint8_t *bytes, uint32_t maxBytes, const AddContext &context);
    uint32_t writeArchiveBytes(const uint8_t *bytes, uint32_t count);
    bool writeRecord(const std::vector<uint8_t> &record);
    bool seekArchive(uint64_t position);
    bool growMemory(uint64_t needed);
    uint64_t committed() const;
    void fail(ZipAssemblerResult error);

    WriterOptions settings;
    std::FILE *output = nullptr;
    bool ownsOutput = false; // false for a stream target, which the caller closes
    std::string scratch;
    MemoryBlock memory;      // memory target
    bool ownsMemory = false; // false while the archive sits in the caller's buffer
    uint32_t position = 0;   // memory target's write position
    ZipAssemblerResult stickyError = ZipAssemblerResult::Ok;
    uint64_t written = 0;    // bytes in the archive so far: the offset of the next record
    bool closed = false;     // the central directory has been written
    ZipAssemblerResult finishResult = ZipAssemblerResult::Ok;
    std::vector<ZipEntryRecord> entries;
    uint64_t centralSize = 0; // central headers of the entries so far

    EntrySource input;
    uint64_t entryBytes = 0;   // entry data written for the current entry
    uint32_t entryReserve = 0; // its central header at most, kept free in a memory archive
    bool entryZip64 = false;   // the current entry's local header has the ZIP64 field
    bool entryOutgrown = false; // its data passed what a header without that field holds
    ZipAssemblerResult entryError = ZipAssemblerResult::Ok;
    std::array<uint8_t, ioBufferSize> ioBuffer{};
};

} // namespace zip

struct ZipAssemblerHandle {
    static constexpr uint32_t archiveWriter = 2;
    uint32_t kind = archiveWriter;
    std::unique_ptr<zip::ZipAssembler> writer;
};

namespace zip {

// zipAssemblerCreate with options other than the defaults.
ZipAssemblerHandle *createWriter(const void *target, uint32_t capacity, ZipTargetKind targetKind,
                                 const WriterOptions &options);

} // namespace zip
