// zipassemble [--threads N] [--segment-size BYTES] ARCHIVE NAME=SOURCE [NAME=SOURCE ...]
// Writes ARCHIVE with each SOURCE file added under NAME, in order (compressed on N threads, by
// default on all cores, a large file in segments of BYTES; the archive is the same for every N
// and size), and prints every add's and the close's result code. Exits 1 when any of them
// failed, 2 on bad arguments.

#include "zipassembler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The value of option `name` at argv[i], from `least` to `most`; false when argv[i] is not it.
bool option(int argc, char **argv, int &i, const char *name, unsigned long least, unsigned long most,
            unsigned long &value, bool &bad)
{
    if (i + 1 >= argc || std::strcmp(argv[i], name) != 0)
        return false;
    char *end = nullptr;
    value = std::strtoul(argv[i + 1], &end, 10);
    bad = bad || !*argv[i + 1] || *end || value < least || value > most;
    i += 2;
    return true;
}

int main(int argc, char **argv)
{
    int first = 1; // the archive's argument
    unsigned long threads = 0, segmentSize = 0;
    bool bad = false;
    while (option(argc, argv, first, "--threads", 1, 32, threads, bad) ||
           option(argc, argv, first, "--segment-size", 4096, 4u << 20, segmentSize, bad)) {
    }
    bool wellFormed = !bad && argc >= first + 2;
    for (int i = first + 1; i < argc; ++i)
        wellFormed = wellFormed && std::strchr(argv[i], '=');
    if (!wellFormed) {
        std::fprintf(stderr, "usage: zipassemble [--threads 1-32] [--segment-size 4096-4194304] ARCHIVE "
                             "NAME=SOURCE [NAME=SOURCE ...]\n");
        return 2;
    }

    ZipAssemblerHandle *archive = zipAssemblerCreate(argv[first], 0, ZipTargetKind::FileName);
    if (!archive) {
        std::fprintf(stderr, "zipassemble: cannot create %s\n", argv[first]);
        return 1;
    }
    zipAssemblerSetThreads(archive, static_cast<uint32_t>(threads));
    zipAssemblerSetSegmentSize(archive, static_cast<uint32_t>(segmentSize));
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
