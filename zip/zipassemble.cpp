// zipassemble ARCHIVE NAME=SOURCE [NAME=SOURCE ...]
// Writes ARCHIVE with each SOURCE file added under NAME, in order, and prints every add's and
// the close's result code. Exits 1 when any of them failed, 2 on bad arguments.

#include "zipassembler.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    bool wellFormed = argc >= 3;
    for (int i = 2; i < argc; ++i)
        wellFormed = wellFormed && std::strchr(argv[i], '=');
    if (!wellFormed) {
        std::fprintf(stderr, "usage: zipassemble ARCHIVE NAME=SOURCE [NAME=SOURCE ...]\n");
        return 2;
    }

    ZipAssemblerHandle *archive = zipAssemblerCreate(argv[1], 0, ZipTargetKind::FileName);
    if (!archive) {
        std::fprintf(stderr, "zipassemble: cannot create %s\n", argv[1]);
        return 1;
    }
    bool failed = false;
    for (int i = 2; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t equals = pair.find('=');
        const std::string name = pair.substr(0, equals);
        const std::string source = pair.substr(equals + 1);
        const ZipAssemblerResult result =
            zipAssemblerAdd(archive, name.c_str(), source.c_str(), 0, ZipSourceKind::FileName);
        std::printf("add %s: 0x%08X\n", argv[i], static_cast<unsigned>(result));
        failed = failed || result != ZipAssemblerResult::Ok;
    }
    const ZipAssemblerResult result = zipAssemblerClose(archive);
    std::printf("close: 0x%08X\n", static_cast<unsigned>(result));
    return failed || result != ZipAssemblerResult::Ok ? 1 : 0;
}
