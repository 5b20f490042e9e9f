// The writer's public interface under libFuzzer. The input's first bytes choose a thread count,
// a segment size and a point at which the progress callback cancels; the rest is cut into
// entries read from memory, from an open disk file or through a reader (with or without
// `rewind`). A batch must give every entry the result single adds give it and the archive they
// write, times aside, each entry inflating back to its source with zlib; a cancelled batch
// leaves a readable archive of the entries it completed. Anything else stops the run.

#include "zipassembler.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

struct MemoryReader {
    const Bytes *bytes;
    size_t position = 0;

    static uint32_t read(void *context, uint8_t *out, uint32_t maxBytes)
    {
        auto &self = *static_cast<MemoryReader *>(context);
        const size_t count = std::min<size_t>(maxBytes, self.bytes->size() - self.position);
        if (count > 0)
            std::memcpy(out, self.bytes->data() + self.position, count);
        self.position += count;
        return uint32_t(count);
    }
    static bool rewind(void *context)
    {
        static_cast<MemoryReader *>(context)->position = 0;
        return true;
    }
};

enum class Kind { Memory, Stream, Reader, OnceReader };

struct Entry {
    std::string name;
    Kind kind;
    Bytes bytes;
};

// The entries with their sources, made afresh for each writer: a reader without `rewind` can be
// read only once.
class Sources {
public:
    explicit Sources(const std::vector<Entry> &entries) : readers(entries.size()), calls(entries.size())
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry &entry = entries[i];
            ZipAssemblerEntry &batch = list.emplace_back();
            batch = {entry.name.c_str(), entry.bytes.data(), uint32_t(entry.bytes.size()), ZipSourceKind::Memory,
                     ZipAssemblerResult::Ok};
            if (entry.kind == Kind::Stream) {
                std::FILE *file = std::tmpfile();
                if (!file || std::fwrite(entry.bytes.data(), 1, entry.bytes.size(), file) != entry.bytes.size())
                    fail("no temporary file");
                files.emplace_back(file, std::fclose);
                batch.source = file;
                batch.sourceLength = 0;
                batch.sourceKind = ZipSourceKind::Stream;
            } else if (entry.kind != Kind::Memory) {
                readers[i] = {&entry.bytes};
                calls[i] = {MemoryReader::read, entry.kind == Kind::Reader ? MemoryReader::rewind : nullptr,
                            &readers[i], nullptr, entry.bytes.size()};
                batch.source = &calls[i];
                batch.sourceKind = ZipSourceKind::Reader;
            }
        }
    }
    std::vector<ZipAssemblerEntry> list;

private:
    std::vector<MemoryReader> readers;
    std::vector<ZipAssemblerReader> calls;
    std::vector<std::unique_ptr<std::FILE, int (*)(std::FILE *)>> files;
};

uint32_t le16(const Bytes &bytes, size_t at)
{
    return bytes.at(at) | bytes.at(at + 1) << 8;
}

uint32_t le32(const Bytes &bytes, size_t at)
{
    return le16(bytes, at) | le16(bytes, at + 2) << 16;
}

// Zeroes the times in a header's fixed part and its extended timestamp field.
void clearTimes(Bytes &bytes, size_t header, size_t dosTime, size_t extra, size_t extraLength)
{
    std::memset(&bytes.at(header + dosTime), 0, 4);
    for (size_t at = extra; at + 4 <= extra + extraLength;) {
        const uint32_t size = le16(bytes, at + 2);
        if (le16(bytes, at) == 0x5455 && size > 1)
            std::memset(&bytes.at(at + 5), 0, size - 1);
        at += 4 + size;
    }
}

Bytes inflated(const uint8_t *data, size_t size, size_t expected)
{
    Bytes out(expected + 1);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        fail("inflateInit2");
    stream.next_in = const_cast<uint8_t *>(data);
    stream.avail_in = uInt(size);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        fail("entry does not inflate");
    return out;
}

// Reads the archive back: its entries' names and data, checked against their CRCs. Returns the
// bytes with the times cleared.
Bytes readBack(Bytes bytes, std::vector<std::pair<std::string, Bytes>> &entries)
{
    if (bytes.size() < 22 || le32(bytes, bytes.size() - 22) != 0x06054B50)
        fail("no end record");
    const uint32_t count = le16(bytes, bytes.size() - 12);
    size_t at = le32(bytes, bytes.size() - 6);
    for (uint32_t i = 0; i < count; ++i) {
        if (le32(bytes, at) != 0x02014B50)
            fail("no central header");
        const uint32_t method = le16(bytes, at + 10), crc = le32(bytes, at + 16);
        const uint32_t packed = le32(bytes, at + 20), size = le32(bytes, at + 24);
        const uint32_t nameLength = le16(bytes, at + 28), extraLength = le16(bytes, at + 30);
        const size_t local = le32(bytes, at + 42);
        clearTimes(bytes, at, 12, at + 46 + nameLength, extraLength);
        if (le32(bytes, local) != 0x04034B50)
            fail("no local header");
        const size_t localName = le16(bytes, local + 26), localExtra = le16(bytes, local + 28);
        clearTimes(bytes, local, 10, local + 30 + localName, localExtra);
        const size_t data = local + 30 + localName + localExtra;
        if (data + packed > bytes.size())
            fail("entry past the end");
        Bytes contents = method == 8 ? inflated(&bytes[data], packed, size)
                                     : Bytes(bytes.begin() + long(data), bytes.begin() + long(data + packed));
        if (contents.size() != size || crc32(0, contents.data(), uInt(contents.size())) != crc)
            fail("entry differs from its header");
        entries.emplace_back(std::string(reinterpret_cast<const char *>(&bytes[at + 46]), nameLength), contents);
        at += 46 + nameLength + extraLength + le16(bytes, at + 32);
    }
    return bytes;
}

Bytes memoryOf(ZipAssemblerHandle *archive, ZipAssemblerResult expected)
{
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (zipAssemblerMemory(archive, &bytes, &length) != expected)
        fail("unexpected result of completing the archive");
    return Bytes(bytes, bytes + length);
}

struct Cancel {
    uint32_t calls; // the call that answers false; 0: none does
    uint32_t seen = 0;

    static bool progress(void *context, uint32_t, uint64_t, uint64_t)
    {
        auto &self = *static_cast<Cancel *>(context);
        return self.calls == 0 || ++self.seen < self.calls;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const uint32_t threads = 1 + data[0] % 4;
    const uint32_t segment = 4096u << (data[1] % 5);
    Cancel cancel{data[2] % 4 == 0 ? 1u + data[2] / 4 : 0u};
    // Entries: a head byte (kind, stored name, and how many 256-byte steps the entry takes)
    // and its bytes, repeated to reach sizes that span segments.
    std::vector<Entry> entries;
    for (size_t at = 3; at < size && entries.size() < 8;) {
        const uint8_t head = data[at++];
        const size_t length = std::min<size_t>(size - at, 1 + (head >> 3) * 8);
        Bytes bytes;
        for (int copy = 0; copy < 1 + (head >> 3) % 8 * 40; ++copy)
            bytes.insert(bytes.end(), data + at, data + at + length);
        if (length == 0)
            bytes.clear();
        at += length;
        const Kind kind = Kind(head & 3);
        entries.push_back({"e" + std::to_string(entries.size()) + ((head & 4) ? ".gz" : ".log"), kind, bytes});
    }

    Sources singleSources(entries);
    ZipAssemblerHandle *single = zipAssemblerCreate(nullptr, 1, ZipTargetKind::Memory);
    std::vector<ZipAssemblerResult> results;
    for (const ZipAssemblerEntry &entry : singleSources.list)
        results.push_back(zipAssemblerAdd(single, entry.entryName, entry.source, entry.sourceLength, entry.sourceKind));
    std::vector<std::pair<std::string, Bytes>> singleEntries;
    const Bytes singleBytes = readBack(memoryOf(single, ZipAssemblerResult::Ok), singleEntries);
    zipAssemblerClose(single);

    Sources batchSources(entries);
    ZipAssemblerHandle *batch = zipAssemblerCreate(nullptr, 1, ZipTargetKind::Memory);
    zipAssemblerSetThreads(batch, threads);
    zipAssemblerSetSegmentSize(batch, segment);
    std::vector<ZipAssemblerEntry> &list = batchSources.list;
    const ZipAssemblerResult result =
        zipAssemblerAddBatch(batch, list.data(), uint32_t(list.size()), Cancel::progress, &cancel);
    std::vector<std::pair<std::string, Bytes>> batchEntries;
    if (result == ZipAssemblerResult::Cancelled) {
        readBack(memoryOf(batch, ZipAssemblerResult::Cancelled), batchEntries);
        size_t completed = 0;
        for (size_t i = 0; i < list.size() && list[i].result != ZipAssemblerResult::Cancelled; ++i) {
            if (list[i].result != results[i])
                fail("an entry before the cancel has another result");
            completed += list[i].result == ZipAssemblerResult::Ok;
        }
        if (batchEntries.size() != completed ||
            !std::equal(batchEntries.begin(), batchEntries.end(), singleEntries.begin()))
            fail("the cancelled archive is not the entries completed before the cancel");
    } else {
        if (result != ZipAssemblerResult::Ok)
            fail("the batch failed");
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].result != results[i])
                fail("an entry has another result in the batch");
        if (readBack(memoryOf(batch, ZipAssemblerResult::Ok), batchEntries) != singleBytes)
            fail("the batch's archive differs from the single adds'");
    }
    zipAssemblerClose(batch);
    for (size_t i = 0, k = 0; i < entries.size(); ++i)
        if (results[i] == ZipAssemblerResult::Ok && singleEntries.at(k++).second != entries[i].bytes)
            fail("an entry holds other bytes than its source");
    return 0;
}
