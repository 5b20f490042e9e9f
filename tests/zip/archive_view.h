#pragma once
// Test-side reading of the archives the writer produces: the end record, every central header
// and the local header it points at, with the fields both must agree on checked on the way.
// Deflated data is checked with zlib's inflate, an independent reader.

#include "zipassembler.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace archive_view {

using Bytes = std::vector<uint8_t>;

inline uint32_t le16(const Bytes &bytes, size_t at)
{
    if (at + 2 > bytes.size())
        throw std::runtime_error("read past the end at " + std::to_string(at));
    return bytes[at] | bytes[at + 1] << 8;
}

inline uint32_t le32(const Bytes &bytes, size_t at)
{
    return le16(bytes, at) | le16(bytes, at + 2) << 16;
}

inline uint64_t le64(const Bytes &bytes, size_t at)
{
    return le32(bytes, at) | uint64_t{le32(bytes, at + 4)} << 32;
}

struct Entry {
    std::string name;
    uint32_t flags = 0, method = 0, dosDateTime = 0, crc = 0;
    uint64_t compressedSize = 0, uncompressedSize = 0;
    uint32_t externalAttributes = 0;
    uint64_t offset = 0;
    uint32_t modification = 0, access = 0, creation = 0;
    size_t accessAt = 0;     // where the local header holds the access time
    bool zip64Local = false; // the local header has the ZIP64 field
    Bytes data;              // the entry's data as written
};

struct Archive {
    uint64_t count = 0, centralSize = 0, centralOffset = 0;
    bool zip64End = false; // the ZIP64 end record and its locator precede the end record
    std::vector<Entry> entries;
};

inline void expectField(const char *what, uint64_t found, uint64_t wanted)
{
    if (found != wanted)
        throw std::runtime_error(std::string(what) + ": " + std::to_string(found) + " instead of "
                                 + std::to_string(wanted));
}

// The value of a 32-bit (or 16-bit) field, or the next 64-bit value of a ZIP64 field when the
// field holds its mark.
inline uint64_t wideField(uint64_t field, uint64_t mark, const Bytes &bytes, size_t &zip64At, size_t zip64End)
{
    if (field != mark)
        return field;
    if (zip64At + 8 > zip64End)
        throw std::runtime_error("ZIP64 field too short");
    zip64At += 8;
    return le64(bytes, zip64At - 8);
}

inline Archive parse(const Bytes &bytes)
{
    if (bytes.size() < 22)
        throw std::runtime_error("shorter than an end record");
    const size_t end = bytes.size() - 22;
    expectField("end signature", le32(bytes, end), 0x06054B50);
    expectField("this disk", le16(bytes, end + 4), 0);
    expectField("directory disk", le16(bytes, end + 6), 0);
    expectField("total entries", le16(bytes, end + 10), le16(bytes, end + 8));
    expectField("comment length", le16(bytes, end + 20), 0);
    Archive archive;
    archive.count = le16(bytes, end + 8);
    archive.centralSize = le32(bytes, end + 12);
    archive.centralOffset = le32(bytes, end + 16);
    size_t directoryEnd = end;
    archive.zip64End = end >= 76 && le32(bytes, end - 20) == 0x07064B50;
    if (archive.zip64End) {
        const size_t locator = end - 20, record = end - 76;
        expectField("ZIP64 end record disk", le32(bytes, locator + 4), 0);
        expectField("ZIP64 end record offset", le64(bytes, locator + 8), record);
        expectField("disks", le32(bytes, locator + 16), 1);
        expectField("ZIP64 end signature", le32(bytes, record), 0x06064B50);
        expectField("ZIP64 end record size", le64(bytes, record + 4), 44);
        expectField("ZIP64 version made by", le16(bytes, record + 12), 0x0B17);
        expectField("ZIP64 version needed", le16(bytes, record + 14), 45);
        expectField("ZIP64 this disk", le32(bytes, record + 16), 0);
        expectField("ZIP64 directory disk", le32(bytes, record + 20), 0);
        expectField("ZIP64 total entries", le64(bytes, record + 32), le64(bytes, record + 24));
        // A classic field holds either its value or its mark.
        const uint64_t zip64[] = {le64(bytes, record + 24), le64(bytes, record + 40), le64(bytes, record + 48)};
        const uint64_t marks[] = {0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
        uint64_t *classic[] = {&archive.count, &archive.centralSize, &archive.centralOffset};
        bool marked = false;
        for (int i = 0; i < 3; ++i) {
            marked = marked || *classic[i] == marks[i];
            if (*classic[i] != marks[i])
                expectField("end record field", *classic[i], zip64[i]);
            *classic[i] = zip64[i];
        }
        if (!marked)
            throw std::runtime_error("ZIP64 end record without a marked field");
        directoryEnd = record;
    }
    expectField("directory end", archive.centralOffset + archive.centralSize, directoryEnd);

    size_t at = archive.centralOffset;
    for (uint64_t i = 0; i < archive.count; ++i) {
        Entry entry;
        expectField("central signature", le32(bytes, at), 0x02014B50);
        expectField("version made by", le16(bytes, at + 4), 0x0B17);
        const uint32_t versionNeeded = le16(bytes, at + 6);
        entry.flags = le16(bytes, at + 8);
        entry.method = le16(bytes, at + 10);
        entry.dosDateTime = le16(bytes, at + 14) << 16 | le16(bytes, at + 12);
        entry.crc = le32(bytes, at + 16);
        const uint32_t compressed32 = le32(bytes, at + 20), uncompressed32 = le32(bytes, at + 24);
        const uint32_t nameLength = le16(bytes, at + 28);
        const uint32_t extraLength = le16(bytes, at + 30);
        expectField("file comment length", le16(bytes, at + 32), 0);
        expectField("disk number start", le16(bytes, at + 34), 0);
        expectField("internal attributes", le16(bytes, at + 36), 0);
        entry.externalAttributes = le32(bytes, at + 38);
        const uint32_t offset32 = le32(bytes, at + 42);
        if (at + 46 + nameLength + extraLength > directoryEnd)
            throw std::runtime_error("central header past the directory");
        entry.name.assign(bytes.begin() + at + 46, bytes.begin() + at + 46 + nameLength);
        size_t extra = at + 46 + nameLength;
        // The ZIP64 field holds exactly the values whose fields are marked, in this order.
        const bool centralZip64 = extraLength != 9;
        const size_t zip64Size = centralZip64 ? extraLength - 9 : 0;
        size_t zip64At = extra + 4;
        if (centralZip64) {
            expectField("central ZIP64 id", le16(bytes, extra), 0x0001);
            expectField("central ZIP64 size", le16(bytes, extra + 2), zip64Size - 4);
        }
        entry.uncompressedSize = wideField(uncompressed32, 0xFFFFFFFF, bytes, zip64At, extra + zip64Size);
        entry.compressedSize = wideField(compressed32, 0xFFFFFFFF, bytes, zip64At, extra + zip64Size);
        entry.offset = wideField(offset32, 0xFFFFFFFF, bytes, zip64At, extra + zip64Size);
        if (centralZip64)
            expectField("central ZIP64 values", zip64At, extra + zip64Size);
        extra += zip64Size;
        expectField("central extra id", le16(bytes, extra), 0x5455);
        expectField("central extra size", le16(bytes, extra + 2), 5);
        expectField("central extra flags", bytes[extra + 4], 7);
        const uint32_t centralModification = le32(bytes, extra + 5);
        at = extra + 9;

        const size_t local = entry.offset;
        expectField("local signature", le32(bytes, local), 0x04034B50);
        const uint32_t localExtraLength = le16(bytes, local + 28);
        entry.zip64Local = localExtraLength == 37;
        if (!entry.zip64Local)
            expectField("local extra length", localExtraLength, 17);
        // Version 4.5 exactly when a header has a ZIP64 field or the offset is marked.
        expectField("version needed", versionNeeded, entry.zip64Local || offset32 == 0xFFFFFFFF ? 45 : 20);
        expectField("local version needed", le16(bytes, local + 4), versionNeeded);
        if (centralZip64 && !entry.zip64Local && offset32 != 0xFFFFFFFF)
            throw std::runtime_error("central sizes marked without the local ZIP64 field");
        expectField("local flags", le16(bytes, local + 6), entry.flags);
        expectField("local method", le16(bytes, local + 8), entry.method);
        expectField("local time", le16(bytes, local + 10), entry.dosDateTime & 0xFFFF);
        expectField("local date", le16(bytes, local + 12), entry.dosDateTime >> 16);
        expectField("local crc", le32(bytes, local + 14), entry.crc);
        const uint64_t sizeMark = entry.zip64Local ? 0xFFFFFFFF : 0;
        expectField("local compressed size", le32(bytes, local + 18), sizeMark ? sizeMark : entry.compressedSize);
        expectField("local uncompressed size", le32(bytes, local + 22), sizeMark ? sizeMark : entry.uncompressedSize);
        expectField("local name length", le16(bytes, local + 26), nameLength);
        if (std::string(bytes.begin() + local + 30, bytes.begin() + local + 30 + nameLength) != entry.name)
            throw std::runtime_error("local name differs");
        size_t localExtra = local + 30 + nameLength;
        if (entry.zip64Local) {
            expectField("local ZIP64 id", le16(bytes, localExtra), 0x0001);
            expectField("local ZIP64 size", le16(bytes, localExtra + 2), 16);
            expectField("local ZIP64 uncompressed size", le64(bytes, localExtra + 4), entry.uncompressedSize);
            expectField("local ZIP64 compressed size", le64(bytes, localExtra + 12), entry.compressedSize);
            localExtra += 20;
        }
        expectField("local extra id", le16(bytes, localExtra), 0x5455);
        expectField("local extra size", le16(bytes, localExtra + 2), 13);
        expectField("local extra flags", bytes[localExtra + 4], 7);
        entry.modification = le32(bytes, localExtra + 5);
        entry.access = le32(bytes, localExtra + 9);
        entry.accessAt = localExtra + 9;
        entry.creation = le32(bytes, localExtra + 13);
        expectField("central modification time", centralModification, entry.modification);
        const size_t data = localExtra + 17;
        if (data + entry.compressedSize > archive.centralOffset)
            throw std::runtime_error("entry data past the directory");
        entry.data.assign(bytes.begin() + data, bytes.begin() + data + entry.compressedSize);
        archive.entries.push_back(std::move(entry));
    }
    expectField("directory size", at - archive.centralOffset, archive.centralSize);
    return archive;
}

// Reading a source can move its access time (tests read the same files for several archives,
// one after the other), so the access times in the local extended timestamps are set aside.
inline Bytes withoutAccessTimes(Bytes bytes)
{
    for (const Entry &entry : parse(bytes).entries)
        std::fill(bytes.begin() + std::ptrdiff_t(entry.accessAt), bytes.begin() + std::ptrdiff_t(entry.accessAt + 4), 0);
    return bytes;
}

inline Bytes inflateRaw(const Bytes &deflated, size_t expectedSize)
{
    Bytes out(expectedSize + 1);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    stream.next_in = const_cast<Bytef *>(deflated.data());
    stream.avail_in = static_cast<uInt>(deflated.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool consumedAll = stream.avail_in == 0;
    out.resize(stream.total_out);
    inflateEnd(&stream);
    if (status != Z_STREAM_END || !consumedAll)
        throw std::runtime_error("not one whole deflate stream");
    return out;
}

// The bytes an entry holds once unpacked.
inline Bytes contents(const Entry &entry)
{
    return entry.method == 8 ? inflateRaw(entry.data, entry.uncompressedSize) : entry.data;
}

inline Bytes readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes textOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

// Log-like text: repeated lines with varying numbers, so that it deflates into several blocks.
inline Bytes logText(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += "2026-12-07 21:" + std::to_string(random() % 60) + " camera " + std::to_string(random() % 8)
            + ": frame " + std::to_string(random()) + " delivered\r\n";
    text.resize(size);
    return textOf(text);
}

inline Bytes randomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t &byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path()
            / ("zipassembler-test-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directory(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Completes a memory archive and returns a copy of its bytes; the handle stays open.
inline Bytes memoryBytes(ZipAssemblerHandle *handle)
{
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (zipAssemblerMemory(handle, &bytes, &length) != ZipAssemblerResult::Ok)
        throw std::runtime_error("memory archive not complete");
    return Bytes(bytes, bytes + length);
}

} // namespace archive_view
