// How a batch runs. The calling thread writes the entries in order. When the entry whose turn
// it is has not been taken yet, it adds it as a single add would, streaming straight into the
// archive. Meanwhile helper threads deflate the later entries whose data comes from a file, an
// open stream on a disk file or a memory block into spools, each entry as a single add would
// deflate it; when such an entry's turn comes, its spool is written out in the compressor's own
// pieces. While the calling thread waits for a helper, it deflates a later entry itself, and it
// reports progress between its reads and while it waits.

#include "batch.h"

#include "assembler.h"
#include "segments.h"
#include "spool.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

using Result = ZipAssemblerResult;
using Clock = std::chrono::steady_clock;

namespace zip {

namespace {

// Keeps the memory below 100 MiB on any machine: two compressor states of about 374 KiB a thread
// (an entry's and a segment's), 23 MiB at 32 threads, the segments' 32 MiB and the spools' 32 MiB.
constexpr uint32_t maxThreads = 32;

uint32_t threadsFor(const ZipAssembler &writer)
{
    const uint32_t threads = writer.options().threads;
    return std::min(threads ? threads : std::max(1u, std::thread::hardware_concurrency()), maxThreads);
}

// The disk file behind an open stream, or null for a pipe or device: a stream can be deflated
// ahead only when a later add can read it again from its start (as it does when its spool could
// not be kept).
std::FILE *diskStream(const ZipAssemblerEntry &entry, DiskFileInfo &info)
{
    auto *stream = static_cast<std::FILE *>(const_cast<void *>(entry.source));
    return entry.sourceKind == ZipSourceKind::Stream && stream &&
                   querySource(stream, nullptr, info) == SourceType::DiskFile
               ? stream
               : nullptr;
}

// Whether the entry's source can be read again from its start, at its turn, after it was read
// ahead.
bool rereadableSource(const ZipAssemblerEntry &entry)
{
    DiskFileInfo info;
    if (entry.sourceKind == ZipSourceKind::Reader)
        return entry.source && static_cast<const ZipAssemblerReader *>(entry.source)->rewind;
    return entry.sourceKind != ZipSourceKind::Stream || diskStream(entry, info);
}

// The size of an entry's source as known before reading it, for progress.
uint64_t sourceSize(const ZipAssemblerEntry &entry)
{
    DiskFileInfo info;
    if (diskStream(entry, info))
        return info.size;
    if (entry.sourceKind == ZipSourceKind::Memory)
        return entry.sourceLength;
    if (entry.sourceKind == ZipSourceKind::Reader && entry.source)
        return static_cast<const ZipAssemblerReader *>(entry.source)->size;
    if (entry.sourceKind != ZipSourceKind::FileName || !entry.source)
        return 0;
    std::error_code error;
    const auto path = std::filesystem::u8path(static_cast<const char *>(entry.source));
    const uint64_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// One entry deflated ahead of its turn.
struct Spool {
    EntrySource source;
    Result opened = Result::Ok;
    std::vector<SpoolPiece> pieces;
    DeflateResult deflate;
    uint16_t flags = 0;
    bool lost = false; // a piece could not be kept: the entry is added again at its turn
};

enum class JobState {
    AtItsTurn, // added only when its turn comes: its source cannot be read twice, or it is stored
    Open,      // may be deflated ahead of its turn; nobody works on it yet
    Taken,     // being deflated ahead, or added at its turn
    Ready,     // deflated ahead: its spool waits for its turn
};

struct Job {
    JobState state = JobState::AtItsTurn;
    Spool spool;
};

class Batch {
public:
    Batch(ZipAssembler &writer, ZipAssemblerEntry *entries, uint32_t count, ZipAssemblerProgress progress,
          void *context);
    Result run();

private:
    friend class AheadIo;

    void help();
    bool claimAhead(uint32_t &index);
    void deflateAhead(uint32_t index, bool onCaller);
    Result writeEntry(uint32_t index);
    Result writeSpool(uint32_t index);
    DeflateResult replay(Spool &spool);
    bool sourceRead(uint32_t count, bool onCaller);
    bool report(bool due);
    bool stopped() const { return cancelled || stopping; }

    ZipAssembler &writer;
    ZipAssemblerEntry *const entries;
    const uint32_t count;
    const ZipAssemblerProgress progress;
    void *const context;
    std::vector<Job> jobs;
    SpoolStore store;
    std::vector<uint8_t> pieceBuffer;

    Crew crew; // the segments of large entries, and the wake-ups of waiting threads
    const AddContext addContext; // what the adds at their turn get: the crew, and progress
    std::mutex lock; // guards the jobs' states, head and scanFrom
    uint32_t head = 0;     // the entry whose turn it is
    uint32_t scanFrom = 0; // no job below it is open
    std::atomic<bool> cancelled{false};
    std::atomic<bool> stopping{false}; // the batch ends or the archive refuses adds: no work ahead
    std::atomic<uint64_t> done{0};
    uint64_t total = 0;
    Clock::time_point lastReport;
};

// The compressor's input and output while an entry is deflated ahead.
class AheadIo final : public EntryIo {
public:
    AheadIo(Batch &batch, Spool &spool, bool onCaller) : batch(batch), spool(spool), onCaller(onCaller) {}

    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override
    {
        if (batch.stopped())
            return 0;
        const uint32_t count = spool.source.read(bytes, maxBytes, batch.writer.readLimit(spool.source));
        return batch.sourceRead(count, onCaller) ? count : 0;
    }
    uint32_t write(const uint8_t *bytes, uint32_t count) override
    {
        spool.pieces.emplace_back();
        spool.lost = spool.lost || !batch.store.keep(spool.pieces.back(), bytes, count);
        return spool.lost ? 0 : count;
    }
    uint8_t *buffer() override { return out; }

private:
    Batch &batch;
    Spool &spool;
    const bool onCaller;
    uint8_t out[ioBufferSize];
};

Batch::Batch(ZipAssembler &writer, ZipAssemblerEntry *entries, uint32_t count, ZipAssemblerProgress progress,
             void *context)
    : writer(writer), entries(entries), count(count), progress(progress), context(context), jobs(count),
      store(writer.scratchPrefix(), writer.options().spoolMemory), crew(threadsFor(writer), writer.options().segmentSize),
      addContext{&crew, [this](uint32_t read) { return sourceRead(read, true); }}
{
}

Result Batch::run()
{
    bool deflates = false;
    for (uint32_t i = 0; i < count; ++i) {
        total += sourceSize(entries[i]);
        if (deflatesSource(entries[i].entryName, entries[i].sourceKind)) {
            deflates = true;
            if (rereadableSource(entries[i]))
                jobs[i].state = JobState::Open;
        }
    }
    // Every core helps: with later entries first, then with the segments of large ones.
    const uint32_t helpers = deflates ? crew.threads() - 1 : 0;
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(&Batch::help, this);
        } catch (const std::system_error &) {
            break; // fewer threads do the same work
        }
    }

    lastReport = Clock::now();
    for (uint32_t index = 0; index < count && !cancelled; ++index) {
        {
            std::lock_guard<std::mutex> guard(lock);
            head = index;
        }
        if (report(true))
            entries[index].result = writeEntry(index);
        stopping = writer.refusal() != Result::Ok;
    }
    stopping = true;
    crew.wake();
    for (std::thread &thread : threads)
        thread.join();
    for (Job &job : jobs)
        store.release(job.spool.pieces);

    if (cancelled) {
        for (uint32_t i = head; i < count; ++i)
            entries[i].result = Result::Cancelled;
        writer.cancel();
        return Result::Cancelled;
    }
    if (progress)
        progress(context, count, done, total);
    return writer.failure();
}

void Batch::help()
{
    uint32_t index;
    while (claimAhead(index))
        deflateAhead(index, false);
    crew.serve(stopping);
}

// Takes the first entry after the current one that may be deflated ahead and is not taken yet.
bool Batch::claimAhead(uint32_t &index)
{
    std::lock_guard<std::mutex> guard(lock);
    if (stopped())
        return false;
    for (index = std::max(scanFrom, head + 1); index < count; ++index) {
        if (jobs[index].state == JobState::Open) {
            jobs[index].state = JobState::Taken;
            scanFrom = index + 1;
            return true;
        }
    }
    scanFrom = count;
    return false;
}

void Batch::deflateAhead(uint32_t index, bool onCaller)
{
    const ZipAssemblerEntry &entry = entries[index];
    Spool &spool = jobs[index].spool;
    spool.opened = openSource(spool.source, entry.source, entry.sourceLength, entry.sourceKind);
    if (spool.opened == Result::Ok) {
        AheadIo io(*this, spool, onCaller);
        spool.deflate = deflateEntry(io, spool.flags, crew);
    }
    spool.source.close();
    {
        std::lock_guard<std::mutex> guard(lock);
        jobs[index].state = JobState::Ready;
    }
    crew.wake();
}

// Adds the entry whose turn it is: at once when nobody has taken it, else from its spool once
// it is ready, deflating a later entry or reporting progress meanwhile.
Result Batch::writeEntry(uint32_t index)
{
    const ZipAssemblerEntry &entry = entries[index];
    Job &job = jobs[index];
    std::unique_lock<std::mutex> guard(lock);
    if (job.state == JobState::AtItsTurn || job.state == JobState::Open) {
        job.state = JobState::Taken;
        guard.unlock();
        return writer.add(entry.entryName, entry.source, entry.sourceLength, entry.sourceKind, addContext);
    }
    guard.unlock();
    for (;;) {
        // Read before the state, so that a change in between is not slept through.
        const uint64_t seen = crew.generation();
        guard.lock();
        if (job.state == JobState::Ready || cancelled)
            break;
        guard.unlock();
        uint32_t other;
        if (claimAhead(other)) {
            deflateAhead(other, true);
        } else if (!crew.runOne()) {
            // A helper's progress is reported from here: wake up when the next report is due.
            if (progress)
                crew.waitUntil(seen, lastReport + std::max<std::chrono::milliseconds>(
                                                      writer.options().progressInterval, std::chrono::milliseconds(1)));
            else
                crew.wait(seen);
        }
        report(false);
    }
    guard.unlock();
    return cancelled ? Result::Cancelled : writeSpool(index);
}

Result Batch::writeSpool(uint32_t index)
{
    const ZipAssemblerEntry &entry = entries[index];
    Spool &spool = jobs[index].spool;
    // A source that outgrew its entry's header is read again at its turn, as a single add reads it.
    const Result result = spool.lost || spool.source.outgrown
        ? writer.add(entry.entryName, entry.source, entry.sourceLength, entry.sourceKind, addContext)
        : writer.addDeflated(entry.entryName, spool.source, spool.opened, [&](uint16_t &flags) {
              flags |= spool.flags;
              return replay(spool);
          });
    store.release(spool.pieces);
    return result;
}

// Writes a spool's pieces as the compressor wrote them, and stops at the first short write.
DeflateResult Batch::replay(Spool &spool)
{
    for (const SpoolPiece &piece : spool.pieces) {
        const uint8_t *bytes = store.load(piece, pieceBuffer);
        if (!bytes || writer.write(bytes, piece.size) < piece.size)
            break;
    }
    return spool.deflate;
}

// Counts bytes read from any source; on the calling thread, reports progress when it is due.
// False once the batch is cancelled.
bool Batch::sourceRead(uint32_t read, bool onCaller)
{
    done += read;
    return onCaller ? report(false) : !cancelled;
}

bool Batch::report(bool due)
{
    const Clock::time_point now = Clock::now();
    if (!progress || cancelled || (!due && now - lastReport < writer.options().progressInterval))
        return !cancelled;
    lastReport = now;
    if (!progress(context, head, done, total)) {
        cancelled = true;
        crew.wake();
    }
    return !cancelled;
}

} // namespace

ZipAssemblerResult addBatch(ZipAssembler &writer, ZipAssemblerEntry *entries, uint32_t count,
                            ZipAssemblerProgress progress, void *context)
{
    const Result refusal = writer.refusal();
    if (refusal != Result::Ok) {
        for (uint32_t i = 0; i < count; ++i)
            entries[i].result = refusal;
        return refusal;
    }
    return Batch(writer, entries, count, progress, context).run();
}

} // namespace zip
