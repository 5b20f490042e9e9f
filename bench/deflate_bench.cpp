// Compresses the same generated inputs with our deflate (zip::deflateEntry, streaming through
// an in-memory entry source), with zlib at level 8 (raw deflate) and with libdeflate at level
// 8, and prints throughput, compressed size and the heap each compressor uses.
//
// Heap: every allocation of the process goes through one counting allocator (operator new and
// delete are replaced; zlib and libdeflate get it as their allocator), and a run reports the
// peak of live bytes above what was live when it started. Input and output buffers are
// allocated by the harness before that point for all three, so the figure is the compressor's
// own working memory. libdeflate compresses whole buffers only, so in real use it also needs
// the entire input and output in memory; the other two stream.
//
// Usage: deflate_bench [log megabytes (default 64)] [runs (default 3)]

#include "entry_io.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

size_t liveBytes = 0;
size_t peakBytes = 0;

// Each block carries its size in front, so that frees can be counted too.
constexpr size_t header = alignof(std::max_align_t);

void *countedAlloc(size_t size)
{
    auto *block = static_cast<unsigned char *>(std::malloc(size + header));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    liveBytes += size;
    peakBytes = std::max(peakBytes, liveBytes);
    return block + header;
}

void countedFree(void *p)
{
    if (p == nullptr)
        return;
    auto *block = static_cast<unsigned char *>(p) - header;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    liveBytes -= size;
    std::free(block);
}

} // namespace

void *operator new(size_t size)
{
    if (void *p = countedAlloc(size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { countedFree(p); }
void operator delete(void *p, size_t) noexcept { countedFree(p); }

namespace {

// ---- inputs ----

Bytes cameraLog(size_t size)
{
    static const char *const components[] = {"GigE", "USB3", "CLHS", "SDK", "Recorder", "GenICam"};
    static const char *const messages[] = {
        "frame received", "buffer queued", "exposure changed", "trigger armed",
        "packet resend requested", "stream started", "stream stopped", "link speed negotiated"};
    std::mt19937 rng(2024);
    std::string text;
    text.reserve(size + 256);
    uint64_t ms = 8ull * 3600 * 1000;
    uint32_t frame = 0;
    char line[256];
    while (text.size() < size) {
        ms += rng() % 50;
        const uint32_t kind = rng() % 16;
        const int n = std::snprintf(
            line, sizeof line,
            "2024-03-05 %02u:%02u:%02u.%03u [%s] cam%u %s %s frame=%u ts=0x%012llX value=0x%08X size=%ux%u\n",
            unsigned(ms / 3600000 % 24), unsigned(ms / 60000 % 60), unsigned(ms / 1000 % 60),
            unsigned(ms % 1000), components[rng() % 6], unsigned(rng() % 4),
            kind == 0 ? "ERROR" : kind < 4 ? "WARN " : "INFO ", messages[rng() % 8], frame++,
            static_cast<unsigned long long>(ms * 1000003ull), unsigned(rng()), 640u << (rng() % 3),
            480u << (rng() % 3));
        text.append(line, size_t(n));
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(size_t size)
{
    std::mt19937 rng(7);
    Bytes out(size);
    for (uint8_t &b : out)
        b = uint8_t(rng() >> 24);
    return out;
}

// One kilobyte of text over and over, with one byte changed every 64 KiB.
Bytes repetitive(size_t size)
{
    const std::string unit = [] {
        std::string s;
        while (s.size() < 1024)
            s += "camera idle, no frames, waiting for trigger; ";
        s.resize(1024);
        return s;
    }();
    Bytes out(size);
    for (size_t i = 0; i < size; i++)
        out[i] = i % 65536 == 0 ? uint8_t(i >> 16) : uint8_t(unit[i % unit.size()]);
    return out;
}

// ---- compressors ----

class MemoryIo : public zip::EntryIo {
public:
    MemoryIo(const Bytes &input, Bytes &output) : input(input), output(output) {}
    uint32_t read(uint8_t *buffer, uint32_t maxBytes) override
    {
        const size_t count = std::min<size_t>(maxBytes, input.size() - position);
        std::memcpy(buffer, input.data() + position, count);
        position += count;
        return uint32_t(count);
    }
    uint32_t write(const uint8_t *bytes, uint32_t count) override
    {
        std::memcpy(output.data() + written, bytes, count);
        written += count;
        return count;
    }
    uint8_t *buffer() override { return io; }

private:
    const Bytes &input;
    Bytes &output;
    size_t position = 0;
    size_t written = 0;
    uint8_t io[zip::ioBufferSize];
};

size_t ours(const Bytes &input, Bytes &output)
{
    MemoryIo io(input, output);
    uint16_t flags = 0;
    const zip::DeflateResult result = zip::deflateEntry(io, flags);
    if (result.failed) {
        std::fprintf(stderr, "deflateEntry failed: %s\n", result.message);
        std::exit(1);
    }
    return result.compressedSize;
}

size_t zlib8(const Bytes &input, Bytes &output)
{
    z_stream z{};
    z.zalloc = [](voidpf, uInt items, uInt size) { return countedAlloc(size_t(items) * size); };
    z.zfree = [](voidpf, voidpf p) { countedFree(p); };
    if (deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        std::exit(1);
    z.next_in = const_cast<Bytef *>(input.data());
    z.avail_in = uInt(input.size());
    z.next_out = output.data();
    z.avail_out = uInt(output.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        std::exit(1);
    const size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

size_t libdeflate8(const Bytes &input, Bytes &output)
{
    libdeflate_compressor *c = libdeflate_alloc_compressor(8);
    const size_t size = libdeflate_deflate_compress(c, input.data(), input.size(), output.data(), output.size());
    libdeflate_free_compressor(c);
    return size;
}

bool inflatesTo(const Bytes &compressed, size_t size, const Bytes &expected)
{
    z_stream z{};
    Bytes out(expected.size() + 1);
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef *>(compressed.data());
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == expected.size()
                    && std::equal(expected.begin(), expected.end(), out.begin());
    inflateEnd(&z);
    return ok;
}

struct Compressor {
    const char *name;
    size_t (*run)(const Bytes &, Bytes &);
};

// Runs alternate between the compressors, so that load from elsewhere on the machine hits
// all of them alike; the best run counts.
void measure(const char *inputName, const Bytes &input, int runs)
{
    const Compressor compressors[] = {{"ours (level 8)", ours}, {"zlib level 8", zlib8},
                                      {"libdeflate level 8", libdeflate8}};
    constexpr size_t count = sizeof compressors / sizeof compressors[0];
    Bytes output(input.size() + input.size() / 100 + 4096);
    double best[count];
    size_t size[count] = {};
    size_t heap[count] = {};
    bool ok[count] = {};
    std::fill(best, best + count, 1e30);
    for (int r = 0; r < runs; r++) {
        for (size_t c = 0; c < count; c++) {
            const size_t base = liveBytes;
            peakBytes = liveBytes;
            const auto start = std::chrono::steady_clock::now();
            size[c] = compressors[c].run(input, output);
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            best[c] = std::min(best[c], seconds.count());
            heap[c] = std::max(heap[c], peakBytes - base);
            ok[c] = inflatesTo(output, size[c], input);
        }
    }
    for (size_t c = 0; c < count; c++)
        std::printf("%-10s %-20s %8.1f MB/s %12zu bytes %7.2f%% %8.1f KiB heap%s\n", inputName,
                    compressors[c].name, double(input.size()) / 1e6 / best[c], size[c],
                    100.0 * double(size[c]) / double(input.size()), double(heap[c]) / 1024.0,
                    ok[c] ? "" : "  ROUND TRIP FAILED");
}

} // namespace

int main(int argc, char **argv)
{
    const size_t logMegabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    libdeflate_set_memory_allocator(countedAlloc, countedFree);
    std::printf("best of %d runs; MB = 10^6 bytes; heap = peak live bytes allocated by the compressor\n", runs);
    measure("log", cameraLog(logMegabytes << 20), runs);
    measure("random", randomBytes(16u << 20), runs);
    measure("repeat", repetitive(32u << 20), runs);
    // Memory must not grow with the input: the same compressors on a quarter of the log.
    measure("log/4", cameraLog(logMegabytes << 18), runs);
    return 0;
}
