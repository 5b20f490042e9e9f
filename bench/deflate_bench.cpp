// Compresses the same inputs with our deflate (zip::deflateEntry, streaming through an
// in-memory entry source), with zlib at level 8 (raw deflate) and with libdeflate at level 8,
// and prints throughput, compressed size, the heap each compressor uses and the speed against
// zlib and libdeflate. The inputs: a generated camera log, real text and binaries from files
// every Debian system has, random data and a repetitive file. Then an archive of several logs:
// our batch add on all cores and our single adds against zlib and libdeflate compressing the
// same files one after another (reading, CRC-32, deflating, writing).
//
// Throughput is the input's size over the best wall-clock time of the runs; "cpu" is the same
// over the thread's (for the archive: the process's) processor time, which other load on the
// machine disturbs less.
//
// Heap: every allocation of the process goes through one counting allocator (operator new and
// delete are replaced; zlib and libdeflate get it as their allocator), and a run reports the
// peak of live bytes above what was live when it started. Input and output buffers are
// allocated by the harness before that point for all three, so the figure is the compressor's
// own working memory. libdeflate compresses whole buffers only, so in real use it also needs
// the entire input and output in memory; the other two stream.
//
// Usage: deflate_bench [log megabytes (default 64)] [runs (default 3)] [segment bytes (default:
// the crew's choice for the cores)]
// The text and binary inputs and the archive's logs together take about as much as the log.

#include "entry_io.h"
#include "segments.h"
#include "zipassembler.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Atomic: the batch add allocates on several threads.
std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

// Each block carries its size in front, so that frees can be counted too.
constexpr size_t header = alignof(std::max_align_t);

void *countedAlloc(size_t size)
{
    auto *block = static_cast<unsigned char *>(std::malloc(size + header));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    const size_t live = liveBytes += size;
    for (size_t peak = peakBytes; live > peak && !peakBytes.compare_exchange_weak(peak, live);) {
    }
    return block + header;
}

// Not inlined into the replaced operators: GCC then takes the size read in front of the
// block for an access outside the caller's array.
[[gnu::noinline]] void countedFree(void *p)
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
void *operator new[](size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { countedFree(p); }
void operator delete(void *p, size_t) noexcept { countedFree(p); }
void operator delete[](void *p) noexcept { countedFree(p); }
void operator delete[](void *p, size_t) noexcept { countedFree(p); }

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

// Files under `folder` (sorted, regular files only, no links) whose names pass `wanted`.
std::vector<std::filesystem::path> filesIn(const std::string &folder, bool recursive,
                                           bool (*wanted)(const std::filesystem::path &))
{
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    const auto take = [&](const std::filesystem::directory_entry &entry) {
        if (entry.is_regular_file(error) && !entry.is_symlink(error) && wanted(entry.path()))
            paths.push_back(entry.path());
    };
    if (recursive)
        for (const auto &entry : std::filesystem::recursive_directory_iterator(folder, error))
            take(entry);
    else
        for (const auto &entry : std::filesystem::directory_iterator(folder, error))
            take(entry);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A file's contents, inflated with zlib when it is gzip-compressed.
Bytes contentsOf(const std::filesystem::path &path)
{
    Bytes bytes;
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t chunk[65536];
    for (int n; (n = gzread(file, chunk, sizeof chunk)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    gzclose(file);
    return bytes;
}

Bytes concatenated(const std::vector<std::filesystem::path> &paths, size_t size)
{
    Bytes out;
    for (const auto &path : paths) {
        if (out.size() >= size)
            break;
        const Bytes bytes = contentsOf(path);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out.resize(std::min(out.size(), size));
    return out;
}

// Real text: the licence texts, then the packages' change logs, then manual pages.
Bytes systemText(size_t size)
{
    auto paths = filesIn("/usr/share/common-licenses", false, [](const std::filesystem::path &) { return true; });
    for (const auto &path : filesIn("/usr/share/doc", true, [](const std::filesystem::path &p) {
             return p.filename().string().rfind("changelog", 0) == 0;
         }))
        paths.push_back(path);
    for (const auto &path : filesIn("/usr/share/man/man1", false, [](const std::filesystem::path &) { return true; }))
        paths.push_back(path);
    return concatenated(paths, size);
}

// Binaries: the programs in /usr/bin.
Bytes systemBinaries(size_t size)
{
    return concatenated(filesIn("/usr/bin", false, [](const std::filesystem::path &) { return true; }), size);
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

// One entry on every core: its segments parsed by a crew with a helper thread per further core.
uint32_t segmentSize = 0; // 0: the size the crew chooses for the cores

size_t oursAllCores(const Bytes &input, Bytes &output)
{
    zip::Crew crew(std::max(1u, std::thread::hardware_concurrency()), segmentSize);
    zip::CrewThreads helpers(crew);
    MemoryIo io(input, output);
    uint16_t flags = 0;
    const zip::DeflateResult result = zip::deflateEntry(io, flags, crew);
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

double threadSeconds();
double processSeconds();

struct Compressor {
    const char *name;
    size_t (*run)(const Bytes &, Bytes &);
    double (*cpuClock)();
};

double threadSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double processSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The best of several runs of one compressor.
struct Figures {
    const char *name;
    double wall = 1e30, cpu = 1e30;
    size_t size = 0, heap = 0;
    bool ok = true;
};

// Runs `run` and keeps its best times, its output size and its peak heap.
template <class Run> void time(Figures &figures, double (*cpuClock)(), Run run)
{
    const size_t base = liveBytes;
    peakBytes = base;
    const double cpuStart = cpuClock();
    const auto start = std::chrono::steady_clock::now();
    figures.size = run();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    figures.cpu = std::min(figures.cpu, cpuClock() - cpuStart);
    figures.wall = std::min(figures.wall, seconds.count());
    figures.heap = std::max(figures.heap, peakBytes - base);
}

// One line per compressor, with the speed against the peers: zlib level 8 is the row named
// "zlib...", libdeflate level 8 the row named "libdeflate...".
void print(const char *inputName, size_t inputSize, const std::vector<Figures> &rows)
{
    double zlibWall = 0, libdeflateWall = 0;
    for (const Figures &row : rows) {
        if (std::strncmp(row.name, "zlib", 4) == 0)
            zlibWall = row.wall;
        if (std::strncmp(row.name, "libdeflate", 10) == 0)
            libdeflateWall = row.wall;
    }
    for (const Figures &row : rows)
        std::printf("%-8s %-24s %7.1f MB/s %7.1f cpu %11zu bytes %6.2f%% %9.1f KiB heap  %5.2fx zlib %5.2fx libdeflate%s\n",
                    inputName, row.name, double(inputSize) / 1e6 / row.wall, double(inputSize) / 1e6 / row.cpu,
                    row.size, 100.0 * double(row.size) / double(inputSize), double(row.heap) / 1024.0,
                    zlibWall / row.wall, libdeflateWall / row.wall, row.ok ? "" : "  ROUND TRIP FAILED");
    std::fflush(stdout);
}

// Runs alternate between the compressors, so that load from elsewhere on the machine hits
// all of them alike; the best run counts.
void measure(const char *inputName, const Bytes &input, int runs)
{
    if (input.empty()) {
        std::printf("%-8s (no input found on this system)\n", inputName);
        return;
    }
    const Compressor compressors[] = {{"ours (level 8)", ours, threadSeconds},
                                      {"ours, all cores", oursAllCores, processSeconds},
                                      {"zlib level 8", zlib8, threadSeconds},
                                      {"libdeflate level 8", libdeflate8, threadSeconds}};
    Bytes output(input.size() + input.size() / 100 + 4096);
    std::vector<Figures> rows;
    for (const Compressor &compressor : compressors)
        rows.push_back({compressor.name});
    for (int r = 0; r < runs; r++) {
        for (size_t c = 0; c < rows.size(); c++) {
            time(rows[c], compressors[c].cpuClock, [&] { return compressors[c].run(input, output); });
            rows[c].ok = rows[c].ok && inflatesTo(output, rows[c].size, input);
        }
    }
    print(inputName, input.size(), rows);
}

// What the parallel compressor leaves to one thread: coding the joined symbols in order (with
// the window fills and block ends) and parsing the input's last stretch. Timed here on the
// symbols of one whole parse, against the single-threaded compressor. That thread codes one
// segment while the others parse the next ones, so n cores reach at most min(n, 1 / share) times
// the single-threaded speed, less the small cost of cutting (each segment's parse rebuilds the
// chains of the 32 KiB before it and runs a few KiB past its end).
void measureSequentialShare(const char *inputName, const Bytes &input, int runs)
{
    if (input.size() < 4096)
        return;
    Bytes output(input.size() + input.size() / 100 + 4096);
    double single = 1e30, coding = 1e30;
    for (int r = 0; r < runs; r++) {
        auto start = std::chrono::steady_clock::now();
        ours(input, output);
        single = std::min(single, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

        MemoryIo parseIo(input, output);
        zip::Script script;
        zip::FaultLog faults;
        parseScript(parseIo, {0, input.size() - 1024}, nullptr, script, faults);
        // Coded up to the last position in sync; the rest is parsed by the coding thread.
        size_t last = 0, count = 0;
        for (const uint32_t symbol : script.symbols) {
            if (symbol & zip::scriptSymbol::sync)
                last = count;
            ++count;
        }
        start = std::chrono::steady_clock::now();
        MemoryIo codeIo(input, output);
        zip::ScriptedDeflater coder(codeIo);
        coder.replay(script.symbols.data(), last, 0);
        coder.finish(true);
        coding = std::min(coding, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double share = coding / single;
    std::printf("%-8s coding pass %.3f s of %.3f s single-threaded: %.1f %%; at most", inputName, coding, single,
                100 * share);
    for (const unsigned cores : {2u, 4u, 8u, 16u})
        std::printf(" %.2fx on %u cores", std::min(double(cores), 1 / share), cores);
    std::printf("\n");
    std::fflush(stdout);
}

// ---- an archive of several logs ----

uint64_t fileSize(const std::string &path)
{
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

size_t batchArchive(const std::string &archive, const std::vector<std::string> &files)
{
    ZipAssemblerHandle *handle = zipAssemblerCreate(archive.c_str(), 0, ZipTargetKind::FileName);
    std::vector<std::string> names;
    for (const std::string &file : files)
        names.push_back(std::filesystem::path(file).filename().string());
    std::vector<ZipAssemblerEntry> entries;
    for (size_t i = 0; i < files.size(); ++i)
        entries.push_back({names[i].c_str(), files[i].c_str(), 0, ZipSourceKind::FileName, ZipAssemblerResult::Ok});
    const bool added = zipAssemblerAddBatch(handle, entries.data(), uint32_t(entries.size()), nullptr, nullptr)
        == ZipAssemblerResult::Ok;
    if (zipAssemblerClose(handle) != ZipAssemblerResult::Ok || !added)
        std::exit(1);
    return fileSize(archive);
}

size_t singleAdds(const std::string &archive, const std::vector<std::string> &files)
{
    ZipAssemblerHandle *handle = zipAssemblerCreate(archive.c_str(), 0, ZipTargetKind::FileName);
    for (const std::string &file : files)
        if (zipAssemblerAdd(handle, std::filesystem::path(file).filename().string().c_str(), file.c_str(), 0,
                            ZipSourceKind::FileName)
            != ZipAssemblerResult::Ok)
            std::exit(1);
    if (zipAssemblerClose(handle) != ZipAssemblerResult::Ok)
        std::exit(1);
    return fileSize(archive);
}

// zlib streams each file through a 64 KiB buffer, as our writer does.
size_t zlibFiles(const std::string &archive, const std::vector<std::string> &files)
{
    std::FILE *out = std::fopen(archive.c_str(), "wb");
    std::vector<uint8_t> in(65536), packed(65536);
    for (const std::string &file : files) {
        std::FILE *source = std::fopen(file.c_str(), "rb");
        z_stream z{};
        z.zalloc = [](voidpf, uInt items, uInt size) { return countedAlloc(size_t(items) * size); };
        z.zfree = [](voidpf, voidpf p) { countedFree(p); };
        deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        uLong crc = crc32(0, nullptr, 0);
        int flush = Z_NO_FLUSH;
        do {
            const size_t n = std::fread(in.data(), 1, in.size(), source);
            crc = crc32(crc, in.data(), uInt(n));
            flush = n < in.size() ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = in.data();
            z.avail_in = uInt(n);
            do {
                z.next_out = packed.data();
                z.avail_out = uInt(packed.size());
                deflate(&z, flush);
                std::fwrite(packed.data(), 1, packed.size() - z.avail_out, out);
            } while (z.avail_out == 0);
        } while (flush != Z_FINISH);
        deflateEnd(&z);
        std::fclose(source);
        std::fwrite(&crc, 1, 4, out); // stands in for the headers a writer adds
    }
    std::fclose(out);
    return fileSize(archive);
}

// libdeflate compresses whole buffers: each file is read whole first.
size_t libdeflateFiles(const std::string &archive, const std::vector<std::string> &files)
{
    std::FILE *out = std::fopen(archive.c_str(), "wb");
    libdeflate_compressor *c = libdeflate_alloc_compressor(8);
    for (const std::string &file : files) {
        std::ifstream source(file, std::ios::binary);
        const Bytes in((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
        Bytes packed(libdeflate_deflate_compress_bound(c, in.size()));
        const uint32_t crc = libdeflate_crc32(0, in.data(), in.size());
        const size_t size = libdeflate_deflate_compress(c, in.data(), in.size(), packed.data(), packed.size());
        std::fwrite(packed.data(), 1, size, out);
        std::fwrite(&crc, 1, 4, out);
    }
    libdeflate_free_compressor(c);
    std::fclose(out);
    return fileSize(archive);
}

// A support archive's worth of logs, of mixed sizes, written to a temporary folder.
void measureArchive(size_t logMegabytes, int runs)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "deflate_bench_archive";
    std::filesystem::create_directories(folder);
    const size_t parts[] = {24, 16, 12, 8, 8, 4, 2, 1, 1}; // sixty-fourths of the log size
    std::vector<std::string> files;
    size_t total = 0;
    for (size_t i = 0; i < sizeof parts / sizeof parts[0]; ++i) {
        const std::string path = (folder / ("component" + std::to_string(i) + ".log")).string();
        const Bytes log = cameraLog((logMegabytes << 20) * parts[i] / 64 + 1000 * i);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(log.data()), std::streamsize(log.size()));
        files.push_back(path);
        total += log.size();
    }
    const std::string archive = (folder / "archive.zip").string();
    struct Way {
        const char *name;
        size_t (*run)(const std::string &, const std::vector<std::string> &);
    };
    const Way ways[] = {{"ours, batch add", batchArchive},
                        {"ours, single adds", singleAdds},
                        {"zlib level 8, in turn", zlibFiles},
                        {"libdeflate 8, in turn", libdeflateFiles}};
    std::vector<Figures> rows;
    for (const Way &way : ways)
        rows.push_back({way.name});
    for (int r = 0; r < runs; r++)
        for (size_t w = 0; w < rows.size(); w++)
            time(rows[w], processSeconds, [&] { return ways[w].run(archive, files); });
    std::filesystem::remove_all(folder);
    print("archive", total, rows);
}

} // namespace

int main(int argc, char **argv)
{
    const size_t logMegabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    segmentSize = argc > 3 ? uint32_t(std::atoi(argv[3])) : 0;
    libdeflate_set_memory_allocator(countedAlloc, countedFree);
    std::printf("best of %d runs; MB = 10^6 bytes; heap = peak live bytes allocated by the compressor; "
                "%u cores\n", runs, std::thread::hardware_concurrency());
    const Bytes log = cameraLog(logMegabytes << 20), text = systemText(logMegabytes << 19),
                binary = systemBinaries(logMegabytes << 19);
    measure("log", log, runs);
    measure("text", text, runs);
    measure("binary", binary, runs);
    measure("random", randomBytes(16u << 20), runs);
    measure("repeat", repetitive(32u << 20), runs);
    // Memory must not grow with the input: the same compressors on a quarter of the log.
    measure("log/4", cameraLog(logMegabytes << 18), runs);
    measureArchive(logMegabytes, runs);
    measureSequentialShare("log", log, runs);
    measureSequentialShare("text", text, runs);
    measureSequentialShare("binary", binary, runs);
    return 0;
}
