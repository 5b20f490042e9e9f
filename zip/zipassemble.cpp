// zipassemble [--threads N] ARCHIVE NAME=SOURCE [NAME=SOURCE ...]
// Writes ARCHIVE with each SOURCE file added under NAME, in order (compressed on N threads, by
// default on all cores; the archive is the same for every N), and prints every add's and the
// close's result code. Exits 1 when any of them failed, 2 on bad arguments.

#include "zipassembler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    int first = 1; // the archive's argument
    unsigned long threads = 0;
    if (argc > 2 && std::strcmp(argv[1], "--threads") == 0) {
        char *end = nullptr;
        threads = std::strtoul(argv[2], &end, 10);
        first = *argv[2] && !*end && threads >= 1 && threads <= 64 ? 3 : argc;
    }
    bool wellFormed = argc >= first + 2;
    for (int i = first + 1; i < argc; ++i)
        wellFormed = wellFormed && std::strchr(argv[i], '=');
    if (!wellFormed) {
        std::fprintf(stderr, "usage: zipassemble [--threads 1-64] ARCHIVE NAME=SOURCE [NAME=SOURCE ...]\n");
        return 2;
    }

    ZipAssemblerHandle *archive = zipAssemblerCreate(argv[first], 0, ZipTargetKind::FileName);
    if (!archive) {
        std::fprintf(stderr, "zipassemble: cannot create %s\n", argv[first]);
        return 1;
    }
    zipAssemblerSetThreads(archive, static_cast<uint32_t>(threads));
    // The names and paths live in argv; the batch compresses them on the threads asked for.
    std::vector<std::string> names, sources;
    for (int i = first + 1; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t equals = pair.find('=');
        names.push_back(pair.substr(0, equals));
        sources.push_back(pair.substr(equals + 1));
    }
    std::vector<ZipAssemblerEntry> entries;
    for (size_t i = 0; i < names.size(); ++i)
        entries.push_back({names[i].c_str(), sources[i].c_str(), 0, ZipSourceKind::FileName, ZipAssemblerResult::Ok});
    zipAssemblerAddBatch(archive, entries.data(), static_cast<uint32_t>(entries.size()), nullptr, nullptr);
    bool failed = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::printf("add %s: 0x%08X\n", argv[int(i) + first + 1], static_cast<unsigned>(entries[i].result));
        failed = failed || entries[i].result != ZipAssemblerResult::Ok;
    }
    const ZipAssemblerResult result = zipAssemblerClose(archive);
    std::printf("close: 0x%08X\n", static_cast<unsigned>(result));
    return failed || result != ZipAssemblerResult::Ok ? 1 : 0;
}
