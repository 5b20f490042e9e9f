#include "spool.h"

#include "fileinfo.h"

#include <cstring>
#include <new>
#include <utility>

namespace zip {

// A memory archive holds all of its data in memory anyway: its budget has no bound that matters.
SpoolStore::SpoolStore(std::string scratchPrefix, uint64_t memoryBudget)
    : scratchPrefix(std::move(scratchPrefix)), memoryLeft(this->scratchPrefix.empty() ? UINT64_MAX / 2 : memoryBudget)
{
}

SpoolStore::~SpoolStore()
{
    if (scratch)
        std::fclose(scratch);
}

bool SpoolStore::keep(SpoolPiece &piece, const uint8_t *bytes, uint32_t count)
{
    piece.size = count;
    std::unique_lock<std::mutex> guard(lock);
    if (count <= memoryLeft) {
        memoryLeft -= count;
        guard.unlock();
        // A helper thread cannot let an exception out; without memory the entry is lost to the
        // spool and added again at its turn.
        piece.bytes.reset(new (std::nothrow) uint8_t[count]);
        if (!piece.bytes) {
            guard.lock();
            memoryLeft += count;
            return false;
        }
        std::memcpy(piece.bytes.get(), bytes, count);
        return true;
    }
    if (!scratch && !(scratch = openScratchFile(scratchPrefix)))
        return false;
    piece.offset = scratchEnd;
    // Flushed here, so that a piece that cannot reach the disk fails now, while its entry can
    // still be added again at its turn.
    if (!seekFile(scratch, scratchEnd) || std::fwrite(bytes, 1, count, scratch) != count ||
        std::fflush(scratch) != 0)
        return false;
    scratchEnd += count;
    return true;
}

const uint8_t *SpoolStore::load(const SpoolPiece &piece, std::vector<uint8_t> &buffer)
{
    if (piece.bytes)
        return piece.bytes.get();
    buffer.resize(piece.size);
    std::lock_guard<std::mutex> guard(lock);
    if (!seekFile(scratch, piece.offset) || std::fread(buffer.data(), 1, piece.size, scratch) != piece.size)
        return nullptr;
    return buffer.data();
}

void SpoolStore::release(std::vector<SpoolPiece> &pieces)
{
    uint64_t freed = 0;
    for (const SpoolPiece &piece : pieces)
        freed += piece.bytes ? piece.size : 0;
    pieces.clear();
    std::lock_guard<std::mutex> guard(lock);
    memoryLeft += freed;
}

} // namespace zip
