#include "assembler.h"
#include "segments.h"

#include "batch.h"
#include "crc32.h"

#include <algorithm>
#include <cstring>
#include <ctime>

using Result = ZipAssemblerResult;

namespace zip {

namespace {

constexpr size_t maxNameLength = 260;
constexpr uint32_t localSignature = 0x04034B50;
constexpr uint32_t centralSignature = 0x02014B50;
constexpr uint32_t endSignature = 0x06054B50;
constexpr uint32_t zip64EndSignature = 0x06064B50;
constexpr uint32_t zip64LocatorSignature = 0x07064B50;
constexpr uint16_t versionMadeBy = 0x0B17;
constexpr uint16_t versionNeeded = 20;
constexpr uint16_t zip64VersionNeeded = 45;
constexpr uint16_t zip64Id = 0x0001;
constexpr uint16_t timestampId = 0x5455;
constexpr uint8_t timestampFlags = 0x07; // modification, access and creation time
constexpr uint16_t localExtraSize = 17;
constexpr uint16_t centralExtraSize = 9;
constexpr uint32_t endRecordSize = 22;
constexpr uint32_t zip64EndSize = 56;
constexpr uint32_t zip64LocatorSize = 20;
constexpr uint32_t mark32 = 0xFFFFFFFF; // "the value is in the ZIP64 field"
constexpr uint32_t mark16 = 0xFFFF;
constexpr uint16_t stored = 0;
constexpr uint16_t deflated = 8;
constexpr uint16_t provisionalFlag = 0x0008;
constexpr uint32_t unknownAttributes = 0x80000000; // regular file, no permissions known
constexpr uint32_t folderAttributes = 0x41C00010;  // directory, owner rwx, MS-DOS directory

// The ZIP64 field of a local header: both sizes, 8 bytes each, after its 4-byte head.
uint64_t localHeaderSize(const ZipEntryRecord &entry)
{
    return 30 + entry.name.size() + localExtraSize + (entry.zip64Local ? 20 : 0);
}

// The values of a central header's ZIP64 field, in the order the format gives: those whose
// 32-bit field overflows, at `limit` or past it.
std::vector<uint64_t> zip64Values(const ZipEntryRecord &entry, uint32_t limit)
{
    std::vector<uint64_t> values;
    for (const uint64_t value : {entry.uncompressedSize, entry.compressedSize, entry.localHeaderOffset})
        if (value >= limit)
            values.push_back(value);
    return values;
}

uint64_t centralHeaderSize(const ZipEntryRecord &entry, uint32_t limit)
{
    const size_t values = zip64Values(entry, limit).size();
    return 46 + entry.name.size() + centralExtraSize + (values ? 4 + 8 * values : 0);
}

// The most an entry's central header can take in a memory archive, whose offsets and compressed
// sizes stay below the limit: only the size of an entry with the local ZIP64 field overflows.
uint64_t centralReserve(const ZipEntryRecord &entry)
{
    return 46 + entry.name.size() + centralExtraSize + (entry.zip64Local ? 12 : 0);
}

// What the records after the central directory take for an archive of `count` entries whose
// directory needs no ZIP64 field for its offset or size.
uint64_t endRecordsSize(size_t count, uint32_t countLimit)
{
    return endRecordSize + (count > countLimit ? zip64EndSize + zip64LocatorSize : 0);
}

// Deflated data can outgrow its input only in a block coded with fixed or dynamic codes, which
// cost at most 9 bits per input byte (a literal of 144..255, or any match); every block adds at
// most 5 bytes of header and padding, and every block but the last covers 4,096 bytes or more.
uint64_t deflateBound(uint64_t size)
{
    return size + size / 8 + (size / 4096 + 1) * 8;
}

std::string normalisedName(const char *entryName)
{
    std::string name(entryName, strnlen(entryName, maxNameLength));
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// Names whose data is compressed already are stored: the text from the last "." on, in any case.
bool hasStoredSuffix(const std::string &name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string suffix = name.substr(dot);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    for (const char *known : {".z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"})
        if (suffix == known)
            return true;
    return false;
}

uint32_t externalAttributes(uint32_t dosAttributes, bool executable)
{
    uint32_t mode = (dosAttributes & directoryAttribute) ? 0x4000 : 0x8000;
    mode |= 0x0100;
    if (!(dosAttributes & readOnlyAttribute))
        mode |= 0x0080;
    if (executable)
        mode |= 0x0040;
    constexpr uint32_t kept = readOnlyAttribute | hiddenAttribute | systemAttribute
        | directoryAttribute | archiveAttribute;
    return mode << 16 | (dosAttributes & kept);
}

class RecordBytes {
public:
    RecordBytes &u8(uint32_t value) { return put(value, 1); }
    RecordBytes &u16(uint32_t value) { return put(value, 2); }
    RecordBytes &u32(uint32_t value) { return put(value, 4); }
    RecordBytes &u64(uint64_t value) { return put(value, 8); }
    // A 32-bit field, or its ZIP64 mark when the value reaches `limit`.
    RecordBytes &field32(uint64_t value, uint32_t limit) { return u32(value >= limit ? mark32 : uint32_t(value)); }
    RecordBytes &text(const std::string &value)
    {
        bytes.insert(bytes.end(), value.begin(), value.end());
        return *this;
    }
    const std::vector<uint8_t> &data() const { return bytes; }

private:
    RecordBytes &put(uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    std::vector<uint8_t> bytes;
};

// An entry needs version 4.5 when either of its headers has a ZIP64 field: the local one has
// it from the start, the central one has it for any size or the offset that overflows, and
// the sizes overflow only in an entry that has the local one.
bool usesZip64(const ZipEntryRecord &entry, uint32_t limit)
{
    return entry.zip64Local || entry.localHeaderOffset >= limit;
}

// The fields local and central headers share, from "version needed" to the name length; a
// local ZIP64 field holds both sizes, so both are marked then.
RecordBytes &entryFields(RecordBytes &record, const ZipEntryRecord &entry, uint32_t limit, bool local)
{
    const uint32_t sizeLimit = local && entry.zip64Local ? 0 : limit;
    return record.u16(usesZip64(entry, limit) ? zip64VersionNeeded : versionNeeded)
        .u16(entry.flags)
        .u16(entry.method)
        .u16(entry.times.dosDateTime & 0xFFFF)
        .u16(entry.times.dosDateTime >> 16)
        .u32(entry.crc)
        .field32(entry.compressedSize, sizeLimit)
        .field32(entry.uncompressedSize, sizeLimit)
        .u16(static_cast<uint32_t>(entry.name.size()));
}

// Unix times go into the 32-bit fields as their low 32 bits.
uint32_t low32(int64_t seconds)
{
    return static_cast<uint32_t>(seconds);
}

std::vector<uint8_t> localHeader(const ZipEntryRecord &entry, uint32_t limit)
{
    RecordBytes record;
    record.u32(localSignature);
    entryFields(record, entry, limit, true)
        .u16(localExtraSize + (entry.zip64Local ? 20 : 0))
        .text(entry.name);
    if (entry.zip64Local)
        record.u16(zip64Id).u16(16).u64(entry.uncompressedSize).u64(entry.compressedSize);
    record.u16(timestampId)
        .u16(13)
        .u8(timestampFlags)
        .u32(low32(entry.times.modification))
        .u32(low32(entry.times.access))
        .u32(low32(entry.times.creation));
    return record.data();
}

std::vector<uint8_t> centralHeader(const ZipEntryRecord &entry, uint32_t limit)
{
    const std::vector<uint64_t> values = zip64Values(entry, limit);
    RecordBytes record;
    record.u32(centralSignature).u16(versionMadeBy);
    entryFields(record, entry, limit, false)
        .u16(static_cast<uint32_t>(centralHeaderSize(entry, limit) - 46 - entry.name.size()))
        .u16(0) // comment length
        .u16(0) // disk number
        .u16(0) // internal attributes
        .u32(entry.externalAttributes)
        .field32(entry.localHeaderOffset, limit)
        .text(entry.name);
    if (!values.empty()) {
        record.u16(zip64Id).u16(static_cast<uint32_t>(8 * values.size()));
        for (const uint64_t value : values)
            record.u64(value);
    }
    record.u16(timestampId)
        .u16(5)
        .u8(timestampFlags)
        .u32(low32(entry.times.modification));
    return record.data();
}

// The end records of an archive whose central directory of `count` entries takes
// `centralBytes` from `centralOffset`: the ZIP64 end record and its locator first when a
// field of the classic one overflows, where that field then holds its mark.
std::vector<uint8_t> endRecords(uint64_t count, uint64_t centralBytes, uint64_t centralOffset,
                                uint32_t limit, uint32_t countLimit)
{
    RecordBytes record;
    const bool manyEntries = count > countLimit;
    if (manyEntries || centralBytes >= limit || centralOffset >= limit) {
        const uint64_t zip64End = centralOffset + centralBytes;
        record.u32(zip64EndSignature)
            .u64(zip64EndSize - 12) // the record's size after this field
            .u16(versionMadeBy)
            .u16(zip64VersionNeeded)
            .u32(0) // this disk
            .u32(0) // disk of the central directory
            .u64(count)
            .u64(count)
            .u64(centralBytes)
            .u64(centralOffset)
            .u32(zip64LocatorSignature)
            .u32(0) // disk of the ZIP64 end record
            .u64(zip64End)
            .u32(1); // disks in all
    }
    const uint32_t count16 = manyEntries ? mark16 : static_cast<uint32_t>(count);
    record.u32(endSignature)
        .u16(0) // this disk
        .u16(0) // disk of the central directory
        .u16(count16)
        .u16(count16)
        .field32(centralBytes, limit)
        .field32(centralOffset, limit)
        .u16(0); // comment length
    return record.data();
}

} // namespace

ZipAssembler::~ZipAssembler()
{
    input.close();
    if (output && ownsOutput)
        std::fclose(output);
    if (ownsMemory)
        releaseMemory(memory);
}

ZipAssemblerResult ZipAssembler::openFile(const char *path)
{
    if (!path)
        return Result::BadArgument;
    output = zip::createFile(path);
    ownsOutput = true;
    scratch = std::string(path) + ".spool";
    return output ? Result::Ok : Result::OpenFailed;
}

ZipAssemblerResult ZipAssembler::openStream(std::FILE *stream)
{
    if (!stream)
        return Result::BadArgument;
    output = stream;
    scratch = zip::scratchFolder() + "zel-spool-";
    return Result::Ok;
}

ZipAssemblerResult ZipAssembler::openMemory(void *buffer, uint32_t capacity)
{
    if (capacity == 0)
        return Result::CapacityTooSmall;
    if (buffer) {
        memory = {static_cast<uint8_t *>(buffer), capacity, nullptr};
        return Result::Ok;
    }
    ownsMemory = obtainMemory(capacity, memory);
    return ownsMemory ? Result::Ok : Result::MapFailed;
}

ZipAssemblerResult ZipAssembler::add(const char *entryName, const void *source, uint32_t sourceLength,
                                     ZipSourceKind kind, const AddContext &context)
{
    ZipEntryRecord entry;
    const Result result = admit(entryName, kind, entry);
    if (result != Result::Ok)
        return result;
    return writeEntry(entry, openSource(input, source, sourceLength, kind), [&] { return writeData(entry, kind, context); },
                      [&] { return input.restart(); });
}

ZipAssemblerResult ZipAssembler::addDeflated(const char *entryName, EntrySource &source, ZipAssemblerResult opened,
                                             const std::function<DeflateResult(uint16_t &flags)> &replay)
{
    ZipEntryRecord entry;
    const Result result = admit(entryName, ZipSourceKind::Memory, entry);
    if (result != Result::Ok)
        return result;
    input = std::move(source);
    // The compressed data is all there, so an entry that outgrows its header is replayed again;
    // a batch adds an entry whose source outgrew its header while read ahead as a single add.
    return writeEntry(
        entry, opened,
        [&] {
            const DeflateResult deflate = replay(entry.flags);
            if (input.outgrown && entryError == Result::Ok)
                entryError = Result::OpenFailed;
            return deflateOutcome(deflate);
        },
        [&] { return !input.outgrown; });
}

uint64_t ZipAssembler::readLimit(const EntrySource &source) const
{
    return source.expectedSize >= settings.sizeLimit ? UINT64_MAX : settings.sizeLimit;
}

ZipAssemblerResult ZipAssembler::refusal() const
{
    return stickyError != Result::Ok ? Result::PreviouslyFailed : closed ? Result::AlreadyClosed : Result::Ok;
}

// The checks before an entry's source is opened, and its normalised name and method.
ZipAssemblerResult ZipAssembler::admit(const char *entryName, ZipSourceKind kind, ZipEntryRecord &entry) const
{
    const Result refused = refusal();
    if (refused != Result::Ok)
        return refused;
    if (entryName)
        entry.name = normalisedName(entryName);
    if (entry.name.empty())
        return Result::BadArgument;
    if (kind == ZipSourceKind::Folder && entry.name.back() != '/')
        entry.name += '/';
    entry.method = kind == ZipSourceKind::Folder || hasStoredSuffix(entry.name) ? stored : deflated;
    return Result::Ok;
}

// Writes the entry whose source is open in `input` (`opened` is the open's result): its
// provisional header, its data through `data`, and its final header. The local header has
// the ZIP64 field from the start when the source's declared size needs it. An entry whose data
// outgrows a header without it is cut off and written again with it, when `restart` can have
// its data again; a failed entry is cut off the archive, unless the archive is in doubt.
ZipAssemblerResult ZipAssembler::writeEntry(ZipEntryRecord &entry, ZipAssemblerResult opened,
                                            const std::function<ZipAssemblerResult()> &data,
                                            const std::function<bool()> &restart)
{
    entry.zip64Local = readLimit(input) == UINT64_MAX;
    Result result = opened == Result::Ok ? checkRoom(entry) : opened;
    if (result != Result::Ok) {
        input.close();
        return result;
    }

    entry.times = input.times;
    entry.externalAttributes = input.attributes;
    entry.localHeaderOffset = written;
    const uint16_t flags = entry.flags;
    for (;;) {
        result = writeOnce(entry, data);
        if (result == Result::Ok || stickyError != Result::Ok || !rollBack(entry.localHeaderOffset))
            break;
        if (!entryOutgrown || entry.zip64Local || !restart())
            break;
        entry.zip64Local = true;
        entry.flags = flags;
    }
    input.close();
    result = archiveResult(result);
    if (result != Result::Ok)
        return result;
    centralSize += centralHeaderSize(entry, settings.sizeLimit);
    entries.push_back(std::move(entry));
    return Result::Ok;
}

// One writing of the entry, from its provisional header to its final one.
ZipAssemblerResult ZipAssembler::writeOnce(ZipEntryRecord &entry, const std::function<ZipAssemblerResult()> &data)
{
    // Provisional sizes, which the final header replaces in the same size.
    const uint64_t expected = input.size.value_or(input.expectedSize);
    entry.uncompressedSize = entry.zip64Local ? expected : static_cast<uint32_t>(expected);
    entry.compressedSize = entry.method == stored ? entry.uncompressedSize : 0;
    entry.crc = 0;
    entryReserve = static_cast<uint32_t>(centralReserve(entry));
    entryZip64 = entry.zip64Local;
    entryBytes = 0;
    entryOutgrown = false;
    entryError = Result::Ok;

    if (!writeRecord(localHeader(entry, settings.sizeLimit)))
        return Result::WriteFailed;
    written += localHeaderSize(entry);

    const Result result = data();
    written += entryBytes;
    entry.crc = input.crc;
    entry.compressedSize = entryBytes;
    entry.uncompressedSize = input.bytesRead;
    if (archiveResult(result) != Result::Ok)
        return result;

    // Bit 0 (encryption) is never set, so the provisional bit is always cleared.
    entry.flags &= ~provisionalFlag;
    return rewriteLocalHeader(entry);
}

// Cuts the archive back to `offset`, where the current entry began; a file that cannot be cut
// leaves the archive in doubt.
bool ZipAssembler::rollBack(uint64_t offset)
{
    if (output) {
        if (std::fflush(output) != 0) {
            fail(Result::WriteFailed);
            return false;
        }
        if (!truncateFile(output, offset) || !seekFile(output, offset)) {
            fail(Result::SeekFailed);
            return false;
        }
    } else {
        position = static_cast<uint32_t>(offset);
    }
    written = offset;
    return true;
}

namespace {

// The rest of an open stream's source: a disk file's size, times and attributes, or a device's
// declared size.
ZipAssemblerResult takeStream(EntrySource &input, std::FILE *stream, bool owned, const char *path,
                              uint32_t sourceLength)
{
    DiskFileInfo info;
    const SourceType type = querySource(stream, path, info);
    input.data = fileSource(stream, owned, type == SourceType::DiskFile);
    switch (type) {
    case SourceType::Unreadable:
        return Result::OpenFailed;
    case SourceType::Device:
        input.attributes = unknownAttributes;
        input.expectedSize = sourceLength;
        input.times = currentTimes();
        return Result::Ok;
    case SourceType::DiskFile:
        break;
    }
    input.attributes = externalAttributes(info.attributes, looksExecutable(stream, info.size));
    // The entry's data is read from the file's start, wherever the caller or the look at its
    // header left it.
    std::rewind(stream);
    input.size = input.expectedSize = info.size;
    input.times = info.times;
    return Result::Ok;
}

} // namespace

ZipAssemblerResult openSource(EntrySource &input, const void *source, uint32_t sourceLength, ZipSourceKind kind)
{
    input = EntrySource{};
    switch (kind) {
    case ZipSourceKind::FileName: {
        if (!source)
            return Result::BadArgument;
        const char *path = static_cast<const char *>(source);
        std::FILE *stream = zip::openSourceFile(path);
        if (!stream)
            return Result::OpenFailed;
        return takeStream(input, stream, true, path, 0);
    }
    case ZipSourceKind::Stream:
        if (!source)
            return Result::BadArgument;
        return takeStream(input, static_cast<std::FILE *>(const_cast<void *>(source)), false, nullptr, sourceLength);
    case ZipSourceKind::Reader: {
        const auto *reader = static_cast<const ZipAssemblerReader *>(source);
        if (!reader || !reader->read)
            return Result::BadArgument;
        if (reader->rewind && !reader->rewind(reader->context))
            return Result::OpenFailed;
        input.data = callbackSource(*reader);
        input.expectedSize = reader->size;
        // The data's size is known only once it is read; the file it comes from gives the rest.
        DiskFileInfo info;
        auto *file = static_cast<std::FILE *>(const_cast<void *>(reader->file));
        const bool disk = file && querySource(file, nullptr, info) == SourceType::DiskFile;
        input.attributes = disk ? externalAttributes(info.attributes, false) : unknownAttributes;
        input.times = disk ? info.times : currentTimes();
        return Result::Ok;
    }
    case ZipSourceKind::Memory:
        if (!source || sourceLength == 0)
            return Result::BadArgument;
        input.data = memorySource(static_cast<const uint8_t *>(source), sourceLength);
        input.attributes = unknownAttributes;
        input.size = input.expectedSize = sourceLength;
        input.times = currentTimes();
        return Result::Ok;
    case ZipSourceKind::Folder:
        input.attributes = folderAttributes;
        input.size = 0;
        input.times = currentTimes();
        return Result::Ok;
    }
    return Result::BadArgument;
}

bool deflatesSource(const char *entryName, ZipSourceKind kind)
{
    if (!entryName || (kind != ZipSourceKind::FileName && kind != ZipSourceKind::Stream &&
                       kind != ZipSourceKind::Memory && kind != ZipSourceKind::Reader))
        return false;
    const std::string name = normalisedName(entryName);
    return !name.empty() && !hasStoredSuffix(name);
}

bool EntrySource::restart()
{
    if (data && !data->rewind())
        return false;
    bytesRead = 0;
    crc = 0;
    outgrown = false;
    return true;
}

// Refuses an entry that could carry a memory archive past the length it can have, before
// anything of it is written. Sources of unknown size are cut off while written.
ZipAssemblerResult ZipAssembler::checkRoom(const ZipEntryRecord &entry) const
{
    if (output)
        return Result::Ok;
    const uint64_t size = input.size.value_or(0);
    const uint64_t data = entry.method == deflated ? deflateBound(size) : size;
    if (committed() + localHeaderSize(entry) + data + centralReserve(entry) > settings.sizeLimit)
        return Result::CapacityTooSmall;
    return Result::Ok;
}

namespace {

// The compressor's side of a single add: the entry's source in, the archive out.
class AddIo final : public EntryIo {
public:
    AddIo(const std::function<uint32_t(uint8_t *, uint32_t)> &in, ZipAssembler &writer, uint8_t *out)
        : in(in), writer(writer), out(out)
    {
    }
    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override { return in(bytes, maxBytes); }
    uint32_t write(const uint8_t *bytes, uint32_t count) override { return writer.write(bytes, count); }
    uint8_t *buffer() override { return out; }

private:
    const std::function<uint32_t(uint8_t *, uint32_t)> &in;
    ZipAssembler &writer;
    uint8_t *const out;
};

} // namespace

ZipAssemblerResult ZipAssembler::writeData(ZipEntryRecord &entry, ZipSourceKind kind, const AddContext &context)
{
    if (kind == ZipSourceKind::Folder)
        return Result::Ok;
    if (entry.method == deflated) {
        const std::function<uint32_t(uint8_t *, uint32_t)> in = [&](uint8_t *bytes, uint32_t maxBytes) {
            return readEntrySource(bytes, maxBytes, context);
        };
        AddIo io(in, *this, ioBuffer.data());
        return deflateOutcome(context.crew ? deflateEntry(io, entry.flags, *context.crew) : deflateEntry(io, entry.flags));
    }
    for (uint32_t count; (count = readEntrySource(ioBuffer.data(), ioBufferSize, context)) > 0;)
        if (write(ioBuffer.data(), count) < count)
            break;
    return entryError;
}

ZipAssemblerResult ZipAssembler::deflateOutcome(const DeflateResult &deflate) const
{
    if (entryError != Result::Ok)
        return entryError;
    // The compressor's own count must match what reached the archive.
    return deflate.failed || deflate.compressedSize != entryBytes ? Result::WriteFailed : Result::Ok;
}

ZipAssemblerResult ZipAssembler::rewriteLocalHeader(const ZipEntryRecord &entry)
{
    if (seekArchive(entry.localHeaderOffset) && writeRecord(localHeader(entry, settings.sizeLimit)) && seekArchive(written))
        return Result::Ok;
    return archiveResult(Result::WriteFailed);
}

// A failure that leaves the archive's bytes in doubt outranks the current operation's result.
ZipAssemblerResult ZipAssembler::archiveResult(ZipAssemblerResult result) const
{
    return stickyError != Result::Ok ? stickyError : result;
}

uint32_t ZipAssembler::readEntrySource(uint8_t *bytes, uint32_t maxBytes, const AddContext &context)
{
    if (entryError != Result::Ok)
        return 0;
    const uint32_t count = input.read(bytes, maxBytes, entryZip64 ? UINT64_MAX : settings.sizeLimit);
    if (input.outgrown) {
        entryError = Result::OpenFailed;
        entryOutgrown = true;
    }
    else if (context.onRead && !context.onRead(count))
        entryError = Result::Cancelled;
    return entryError == Result::Ok ? count : 0;
}

uint32_t EntrySource::read(uint8_t *bytes, uint32_t maxBytes, uint64_t limit)
{
    if (outgrown)
        return 0;
    const uint64_t room = limit - 1 - bytesRead;
    if (!data)
        return 0;
    const uint32_t count = data->read(bytes, static_cast<uint32_t>(std::min<uint64_t>(maxBytes, room)));
    if (count == 0 && room == 0 && maxBytes > 0) {
        uint8_t probe;
        outgrown = data->read(&probe, 1) == 1;
        return 0;
    }
    bytesRead += count;
    crc = crc32Update(crc, bytes, count);
    return count;
}

// Entry data out: refused whole when it would leave a memory archive no room for the directory
// or reach the compressed size a header without the ZIP64 field holds, and nothing more is
// written for the entry after a refusal or a short write, so that written stays exact.
uint32_t ZipAssembler::write(const uint8_t *bytes, uint32_t count)
{
    if (entryError != Result::Ok)
        return 0;
    if (!output && committed() + entryReserve + entryBytes + count > settings.sizeLimit) {
        entryError = Result::CapacityTooSmall;
        return 0;
    }
    if (!entryZip64 && entryBytes + count >= settings.sizeLimit) {
        entryError = Result::OpenFailed;
        entryOutgrown = true;
        return 0;
    }
    const uint32_t done = writeArchiveBytes(bytes, count);
    entryBytes += done;
    if (done < count)
        entryError = Result::WriteFailed;
    return done;
}

uint32_t ZipAssembler::writeArchiveBytes(const uint8_t *bytes, uint32_t count)
{
    if (output) {
        const uint32_t done = static_cast<uint32_t>(std::fwrite(bytes, 1, count, output));
        // What part of a failed write reached the file is unknown.
        if (done < count)
            fail(Result::WriteFailed);
        return done;
    }
    if (uint64_t{position} + count >= memory.size && !growMemory(uint64_t{position} + count))
        return 0;
    if (count > 0)
        std::memcpy(memory.bytes + position, bytes, count);
    position += count;
    return count;
}

bool ZipAssembler::writeRecord(const std::vector<uint8_t> &record)
{
    return writeArchiveBytes(record.data(), static_cast<uint32_t>(record.size())) == record.size();
}

bool ZipAssembler::seekArchive(uint64_t target)
{
    if (output) {
        // Flush first so that a failed write is told apart from a failed seek.
        if (std::fflush(output) != 0) {
            fail(Result::WriteFailed);
            return false;
        }
        if (!seekFile(output, target)) {
            fail(Result::SeekFailed);
            return false;
        }
        return true;
    }
    // The end of the block is a valid place too: the next write grows it.
    if (target > memory.size) {
        fail(Result::CapacityTooSmall);
        return false;
    }
    position = static_cast<uint32_t>(target);
    return true;
}

// Grows the memory archive to max(needed, twice its size). A caller's buffer is left as it is.
bool ZipAssembler::growMemory(uint64_t needed)
{
    const uint64_t size = std::min<uint64_t>(std::max<uint64_t>(needed, uint64_t{memory.size} * 2), UINT32_MAX);
    MemoryBlock grown;
    if (needed > size || !obtainMemory(static_cast<uint32_t>(size), grown))
        return false;
    std::memcpy(grown.bytes, memory.bytes, memory.size);
    if (ownsMemory)
        releaseMemory(memory);
    memory = grown;
    ownsMemory = true;
    return true;
}

// The archive's length once the entries so far and one more have their central headers and the
// end records.
uint64_t ZipAssembler::committed() const
{
    return written + centralSize + endRecordsSize(entries.size() + 1, settings.countLimit);
}

void ZipAssembler::fail(ZipAssemblerResult error)
{
    if (stickyError == Result::Ok)
        stickyError = error;
}

ZipAssemblerResult ZipAssembler::finish()
{
    if (closed)
        return finishResult;
    closed = true;
    finishResult = Result::WriteFailed;
    const uint64_t start = written;
    for (const ZipEntryRecord &entry : entries) {
        if (!writeRecord(centralHeader(entry, settings.sizeLimit)))
            return finishResult;
        written += centralHeaderSize(entry, settings.sizeLimit);
    }
    const std::vector<uint8_t> end = endRecords(entries.size(), written - start, start, settings.sizeLimit, settings.countLimit);
    if (!writeRecord(end))
        return finishResult;
    written += end.size();
    finishResult = Result::Ok;
    return finishResult;
}

ZipAssemblerResult ZipAssembler::close()
{
    Result result = finish();
    if (output) {
        const bool flushed = std::fflush(output) == 0;
        const bool closedWell = !ownsOutput || std::fclose(output) == 0;
        output = nullptr;
        if (!flushed || !closedWell)
            fail(Result::WriteFailed);
    }
    return archiveResult(result);
}

ZipAssemblerResult ZipAssembler::memoryArchive(const uint8_t **bytes, uint32_t *length)
{
    if (output || !bytes || !length)
        return Result::BadArgument;
    const Result result = finish();
    *bytes = memory.bytes;
    *length = static_cast<uint32_t>(written);
    return archiveResult(result);
}

} // namespace zip

namespace {

zip::ZipAssembler *writerOf(ZipAssemblerHandle *handle, Result &result)
{
    result = !handle ? Result::BadArgument
        : handle->kind != ZipAssemblerHandle::archiveWriter ? Result::WrongHandle
                                                           : Result::Ok;
    return result == Result::Ok ? handle->writer.get() : nullptr;
}

} // namespace

ZipAssemblerHandle *zip::createWriter(const void *target, uint32_t capacity, ZipTargetKind targetKind,
                                      const WriterOptions &options)
{
    tzset();
    auto writer = std::make_unique<zip::ZipAssembler>(options);
    Result result = Result::BadArgument;
    if (targetKind == ZipTargetKind::FileName)
        result = writer->openFile(static_cast<const char *>(target));
    else if (targetKind == ZipTargetKind::Stream)
        result = writer->openStream(static_cast<std::FILE *>(const_cast<void *>(target)));
    else if (targetKind == ZipTargetKind::Memory)
        result = writer->openMemory(const_cast<void *>(target), capacity);
    if (result != Result::Ok)
        return nullptr;
    auto *handle = new ZipAssemblerHandle;
    handle->writer = std::move(writer);
    return handle;
}

ZipAssemblerHandle *zipAssemblerCreate(const void *target, uint32_t capacity, ZipTargetKind targetKind)
{
    return zip::createWriter(target, capacity, targetKind, {});
}

ZipAssemblerResult zipAssemblerAdd(ZipAssemblerHandle *handle, const char *entryName, const void *source,
                                   uint32_t sourceLength, ZipSourceKind sourceKind)
{
    Result result;
    zip::ZipAssembler *writer = writerOf(handle, result);
    return writer ? writer->add(entryName, source, sourceLength, sourceKind) : result;
}

ZipAssemblerResult zipAssemblerAddBatch(ZipAssemblerHandle *handle, ZipAssemblerEntry *entries, uint32_t count,
                                        ZipAssemblerProgress progress, void *context)
{
    Result result;
    zip::ZipAssembler *writer = writerOf(handle, result);
    if (!writer)
        return result;
    if (!entries && count > 0)
        return Result::BadArgument;
    return zip::addBatch(*writer, entries, count, progress, context);
}

namespace {

// Sets one of the writer's batch settings.
ZipAssemblerResult setBatchValue(ZipAssemblerHandle *handle, void (zip::ZipAssembler::*set)(uint32_t), uint32_t value)
{
    Result result;
    zip::ZipAssembler *writer = writerOf(handle, result);
    if (writer)
        (writer->*set)(value);
    return result;
}

} // namespace

ZipAssemblerResult zipAssemblerSetThreads(ZipAssemblerHandle *handle, uint32_t threads)
{
    return setBatchValue(handle, &zip::ZipAssembler::setThreads, threads);
}

ZipAssemblerResult zipAssemblerSetSegmentSize(ZipAssemblerHandle *handle, uint32_t bytes)
{
    return setBatchValue(handle, &zip::ZipAssembler::setSegmentSize, bytes);
}

ZipAssemblerResult zipAssemblerMemory(ZipAssemblerHandle *handle, const uint8_t **bytes, uint32_t *length)
{
    Result result;
    zip::ZipAssembler *writer = writerOf(handle, result);
    return writer ? writer->memoryArchive(bytes, length) : result;
}

ZipAssemblerResult zipAssemblerClose(ZipAssemblerHandle *handle)
{
    Result result;
    zip::ZipAssembler *writer = writerOf(handle, result);
    if (!writer)
        return result;
    result = writer->close();
    delete handle;
    return result;
}
