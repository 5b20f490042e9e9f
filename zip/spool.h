#pragma once
// Compressed data that waits for its turn in a batch add: kept as the writes the compressor
// made, in memory up to a budget the batch's threads share, beyond it in one scratch file
// (beside a file archive) that disappears when it is closed.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zip {

// One write of the compressor: its bytes in memory, or their place in the scratch file.
struct SpoolPiece {
    uint32_t size = 0;
    uint64_t offset = 0;
    std::unique_ptr<uint8_t[]> bytes;
};

class SpoolStore {
public:
    // `scratchPrefix`: the start of the scratch file's path, or empty for a memory archive,
    // whose data stays in memory.
    SpoolStore(std::string scratchPrefix, uint64_t memoryBudget);
    ~SpoolStore();
    SpoolStore(const SpoolStore &) = delete;
    SpoolStore &operator=(const SpoolStore &) = delete;

    // Keeps `count` bytes as `piece`; false when the scratch file cannot take them.
    bool keep(SpoolPiece &piece, const uint8_t *bytes, uint32_t count);
    // The piece's bytes: in place, or read back into `buffer`; null when that read fails.
    const uint8_t *load(const SpoolPiece &piece, std::vector<uint8_t> &buffer);
    // Gives the memory of pieces no longer needed back to the budget.
    void release(std::vector<SpoolPiece> &pieces);

private:
    std::mutex lock;
    const std::string scratchPrefix;
    uint64_t memoryLeft;
    std::FILE *scratch = nullptr;
    uint64_t scratchEnd = 0;
};

} // namespace zip
