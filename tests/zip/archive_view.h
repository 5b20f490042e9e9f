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

struct Entry {
    std::string name;
    uint32_t flags = 0, method = 0, dosDateTime = 0, crc = 0;
    uint32_t compressedSize = 0, uncompressedSize = 0;
    uint32_t externalAttributes = 0, offset = 0;
    uint32_t modification = 0, access = 0, creation = 0;
    Bytes data; // the entry's data as written
};

struct Archive {
    uint32_t count = 0, centralSize = 0, centralOffset = 0;
    std::vector<Entry> entries;
};

inline void expectField(const char *what, uint32_t found, uint32_t wanted)
{
    if (found != wanted)
        throw std::runtime_error(std::string(what) + ": " + std::to_string(found) + " instead of "
                                 + std::to_string(wanted));
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
    expectField("directory end", archive.centralOffset + archive.centralSize, static_cast<uint32_t>(end));

    size_t at = archive.centralOffset;
    for (uint32_t i = 0; i < archive.count; ++i) {
        Entry entry;
        expectField("central signature", le32(bytes, at), 0x02014B50);
        expectField("version made by", le16(bytes, at + 4), 0x0B17);
        expectField("central version needed", le16(bytes, at + 6), 20);
        entry.flags = le16(bytes, at + 8);
        entry.method = le16(bytes, at + 10);
        entry.dosDateTime = le16(bytes, at + 14) << 16 | le16(bytes, at + 12);
        entry.crc = le32(bytes, at + 16);
        entry.compressedSize = le32(bytes, at + 20);
        entry.uncompressedSize = le32(bytes, at + 24);
        const uint32_t nameLength = le16(bytes, at + 28);
        expectField("central extra length", le16(bytes, at + 30), 9);
        expectField("file comment length", le16(bytes, at + 32), 0);
        expectField("disk number start", le16(bytes, at + 34), 0);
        expectField("internal attributes", le16(bytes, at + 36), 0);
        entry.externalAttributes = le32(bytes, at + 38);
        entry.offset = le32(bytes, at + 42);
        if (at + 46 + nameLength + 9 > end)
            throw std::runtime_error("central header past the directory");
        entry.name.assign(bytes.begin() + at + 46, bytes.begin() + at + 46 + nameLength);
        const size_t extra = at + 46 + nameLength;
        expectField("central extra id", le16(bytes, extra), 0x5455);
        expectField("central extra size", le16(bytes, extra + 2), 5);
        expectField("central extra flags", bytes[extra + 4], 7);
        const uint32_t centralModification = le32(bytes, extra + 5);
        at = extra + 9;

        const size_t local = entry.offset;
        expectField("local signature", le32(bytes, local), 0x04034B50);
        expectField("local version needed", le16(bytes, local + 4), 20);
        expectField("local flags", le16(bytes, local + 6), entry.flags);
        expectField("local method", le16(bytes, local + 8), entry.method);
        expectField("local time", le16(bytes, local + 10), entry.dosDateTime & 0xFFFF);
        expectField("local date", le16(bytes, local + 12), entry.dosDateTime >> 16);
        expectField("local crc", le32(bytes, local + 14), entry.crc);
        expectField("local compressed size", le32(bytes, local + 18), entry.compressedSize);
        expectField("local uncompressed size", le32(bytes, local + 22), entry.uncompressedSize);
        expectField("local name length", le16(bytes, local + 26), nameLength);
        expectField("local extra length", le16(bytes, local + 28), 17);
        if (std::string(bytes.begin() + local + 30, bytes.begin() + local + 30 + nameLength) != entry.name)
            throw std::runtime_error("local name differs");
        const size_t localExtra = local + 30 + nameLength;
        expectField("local extra id", le16(bytes, localExtra), 0x5455);
        expectField("local extra size", le16(bytes, localExtra + 2), 13);
        expectField("local extra flags", bytes[localExtra + 4], 7);
        entry.modification = le32(bytes, localExtra + 5);
        entry.access = le32(bytes, localExtra + 9);
        entry.creation = le32(bytes, localExtra + 13);
        expectField("central modification time", centralModification, entry.modification);
        const size_t data = localExtra + 17;
        if (data + entry.compressedSize > archive.centralOffset)
            throw std::runtime_error("entry data past the directory");
        entry.data.assign(bytes.begin() + data, bytes.begin() + data + entry.compressedSize);
        archive.entries.push_back(std::move(entry));
    }
    expectField("directory size", static_cast<uint32_t>(at - archive.centralOffset), archive.centralSize);
    return archive;
}

// Reading a source can move its access time (tests read the same files for several archives,
// one after the other), so the access times in the local extended timestamps are set aside.
inline Bytes withoutAccessTimes(Bytes bytes)
{
    for (const Entry &entry : parse(bytes).entries) {
        const size_t access = entry.offset + 30 + entry.name.size() + 9;
        std::fill(bytes.begin() + std::ptrdiff_t(access), bytes.begin() + std::ptrdiff_t(access + 4), 0);
    }
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
