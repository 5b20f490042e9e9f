// The deflate compressor under libFuzzer: for any input, the stream inflates back to it, its
// symbols are the reference matcher's wherever no stored block hides them, and the same input
// cut into segments on two threads gives the same bytes, for a segment size the input's last
// byte picks (4 to 32 KiB).

#include "block_reader.h"
#include "entry_io.h"
#include "memory_io.h"
#include "reference_matcher.h"
#include "segments.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool inflatesTo(std::vector<uint8_t> &deflated, const uint8_t *data, size_t size)
{
    std::vector<uint8_t> out(size + 1);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return false;
    stream.next_in = deflated.data();
    stream.avail_in = uInt(deflated.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const size_t produced = out.size() - stream.avail_out;
    inflateEnd(&stream);
    return result == Z_STREAM_END && produced == size && std::memcmp(out.data(), data, size) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MemoryIo io(std::vector<uint8_t>(data, data + size));
    uint16_t flags = 0;
    const zip::DeflateResult result = zip::deflateEntry(io, flags);
    if (result.failed || result.compressedSize != io.output.size() || !inflatesTo(io.output, data, size))
        std::abort();
    zip::Crew crew(2, size ? 4096u << (data[size - 1] % 4) : 4096u);
    zip::CrewThreads helper(crew);
    MemoryIo parallelIo(std::vector<uint8_t>(data, data + size));
    uint16_t parallelFlags = 0;
    const zip::DeflateResult parallel = zip::deflateEntry(parallelIo, parallelFlags, crew);
    if (parallel.failed || parallelFlags != flags || parallelIo.output != io.output)
        std::abort();
    const blockreader::Stream stream = blockreader::read(io.output);
    std::vector<blockreader::Symbol> symbols;
    for (const blockreader::Block &block : stream.blocks) {
        if (block.type == blockreader::BlockType::Stored)
            return 0;
        symbols.insert(symbols.end(), block.symbols.begin(), block.symbols.end());
    }
    if (symbols != reference::parse(std::vector<uint8_t>(data, data + size)))
        std::abort();
    return 0;
}
