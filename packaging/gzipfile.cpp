// Compresses one file into the gzip format with the ZIP writer's own deflate compressor, with no
// time stamp and no name in the header, so that equal inputs give equal bytes (Debian wants its
// changelogs and manual pages so).
// Usage: gzipfile INPUT OUTPUT

#include "zipassembler.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t le(const uint8_t *at, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

void putLe32(std::vector<uint8_t> &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: gzipfile INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    const std::vector<char> text((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    if (!input.eof() && input.fail()) {
        std::fprintf(stderr, "gzipfile: cannot read %s\n", argv[1]);
        return 1;
    }
    // A one-entry archive in memory; its entry's data is the deflate stream, with its CRC-32.
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 1 << 20, ZipTargetKind::Memory);
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (!archive || text.empty() ||
        zipAssemblerAdd(archive, "text", text.data(), uint32_t(text.size()), ZipSourceKind::Memory) !=
            ZipAssemblerResult::Ok ||
        zipAssemblerMemory(archive, &bytes, &length) != ZipAssemblerResult::Ok || length < 30) {
        std::fprintf(stderr, "gzipfile: cannot compress %s\n", argv[1]);
        return 1;
    }
    const uint8_t *local = bytes;
    const uint32_t method = le(local + 8, 2);
    const uint32_t crc = le(local + 14, 4);
    const uint32_t size = le(local + 18, 4);
    const uint32_t dataStart = 30 + le(local + 26, 2) + le(local + 28, 2);
    if (le(local, 4) != 0x04034b50 || method != 8 || dataStart + size > length) {
        std::fprintf(stderr, "gzipfile: unexpected archive for %s\n", argv[1]);
        return 1;
    }
    // Header: magic, deflate, no flags, no time, maximum compression, Unix.
    std::vector<uint8_t> gzip = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 2, 3};
    gzip.insert(gzip.end(), local + dataStart, local + dataStart + size);
    putLe32(gzip, crc);
    putLe32(gzip, uint32_t(text.size()));
    zipAssemblerClose(archive);
    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char *>(gzip.data()), std::streamsize(gzip.size()));
    return output.good() ? 0 : 1;
}
