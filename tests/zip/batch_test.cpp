// The batch add against single adds: the same archive byte for byte and the same results per
// entry, progress that only moves forward, and Cancel at several points.

#include "archive_view.h"
#include "assembler.h"
#include "zipassembler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

using namespace archive_view;
using Result = ZipAssemblerResult;

namespace {

// Files of every kind an archive meets: empty, stored by name, small, several megabytes,
// incompressible (one just below 1,000,000 bytes, which its stored blocks carry past that);
// a missing one and an empty name give their refusals.
struct Sources {
    TempDir dir;
    std::vector<std::string> names, paths;

    Sources()
    {
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"empty.log", {}},
            {"camera.log", logText(3'000'000, 1)},
            {"packed.zip", randomBytes(300'000, 2)},
            {"device.ini", textOf("[LOGGING]\r\nLogging=0x0000FC03\r\n")},
            {"noise.bin", randomBytes(1'000'000, 3)},
            {"recorder.log", logText(2'500'000, 4)},
            {"backup\\old.log", logText(200'000, 5)},
            {"sdk.log", logText(4'000'000, 6)},
            {"edge.bin", randomBytes(999'990, 7)},
        };
        std::filesystem::create_directory(dir / "src");
        for (const auto &[name, bytes] : files) {
            const std::string path = (dir / "src" / std::to_string(names.size())).string();
            writeFile(path, bytes);
            names.push_back(name);
            paths.push_back(path);
        }
        names.insert(names.begin() + 3, "missing.log");
        paths.insert(paths.begin() + 3, (dir / "src" / "missing").string());
        names.insert(names.begin() + 5, "");
        paths.insert(paths.begin() + 5, paths[0]);
    }

    std::vector<ZipAssemblerEntry> batch() const
    {
        std::vector<ZipAssemblerEntry> entries;
        for (size_t i = 0; i < names.size(); ++i)
            entries.push_back({names[i].c_str(), paths[i].c_str(), 0, ZipSourceKind::FileName, Result::Ok});
        return entries;
    }
};

using Tweak = std::function<void(zip::WriterOptions &)>;

ZipAssemblerHandle *create(const void *target, uint32_t capacity, ZipTargetKind kind, const Tweak &tweak)
{
    zip::WriterOptions options;
    tweak(options);
    return zip::createWriter(target, capacity, kind, options);
}

ZipAssemblerHandle *createIn(const TempDir &dir, const std::string &name, const Tweak &tweak)
{
    return create((dir / name).string().c_str(), 0, ZipTargetKind::FileName, tweak);
}

void noTweak(zip::WriterOptions &) {}

// The folder's files besides the sources: the archives, and anything left behind.
std::vector<std::string> filesBeside(const TempDir &dir)
{
    std::vector<std::string> names;
    for (const auto &item : std::filesystem::directory_iterator(dir.path()))
        if (item.path().filename() != "src")
            names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct BatchRow {
    const char *name;
    Tweak tweak;
    bool inMemory = false; // the batch writes a memory archive
    bool streams = false;  // the sources come as open streams, as the dialog hands them over
    bool toStream = false; // the batch writes into an open stream, as the dialog does
    bool readers = false;  // the batch reads the streams through readers that pass them on
};

// A reader that passes an open stream on as it is, from its start at every rewind.
uint32_t passOn(void *context, uint8_t *bytes, uint32_t maxBytes)
{
    return uint32_t(std::fread(bytes, 1, maxBytes, static_cast<std::FILE *>(context)));
}

bool startOver(void *context)
{
    return std::fseek(static_cast<std::FILE *>(context), 0, SEEK_SET) == 0;
}

void PrintTo(const BatchRow &row, std::ostream *out)
{
    *out << row.name;
}

class BatchAdd : public testing::TestWithParam<BatchRow> {};

} // namespace

TEST_P(BatchAdd, writesTheArchiveOfSingleAddsWithTheSameResults)
{
    const Sources sources;
    std::vector<ZipAssemblerEntry> entries = sources.batch();
    std::vector<std::unique_ptr<std::FILE, int (*)(std::FILE *)>> streams;
    for (ZipAssemblerEntry &entry : entries) {
        if (!GetParam().streams)
            break;
        // Every add reads a disk file's stream from its start, so both writers share them.
        streams.emplace_back(std::fopen(static_cast<const char *>(entry.source), "rb"), std::fclose);
        entry.source = streams.back().get();
        entry.sourceKind = ZipSourceKind::Stream;
    }
    // The single adds read the streams themselves, the batch through readers: a reader's entry
    // takes its times and attributes from its file, and its size as it reads.
    std::vector<ZipAssemblerReader> readers(entries.size());
    std::vector<ZipAssemblerEntry> batchEntries = entries;
    for (size_t i = 0; i < entries.size() && GetParam().readers; ++i) {
        auto *stream = static_cast<std::FILE *>(const_cast<void *>(entries[i].source));
        readers[i] = {passOn, startOver, stream, stream, 0};
        batchEntries[i].source = stream ? &readers[i] : nullptr;
        batchEntries[i].sourceKind = ZipSourceKind::Reader;
    }

    const Tweak &tweak = GetParam().tweak;
    ZipAssemblerHandle *single = GetParam().inMemory ? create(nullptr, 1, ZipTargetKind::Memory, tweak)
                                                     : createIn(sources.dir, "single.zip", tweak);
    ASSERT_NE(single, nullptr);
    std::vector<Result> singleResults;
    for (const ZipAssemblerEntry &entry : entries)
        singleResults.push_back(zipAssemblerAdd(single, entry.entryName, entry.source, 0, entry.sourceKind));
    const Bytes singleInMemory = GetParam().inMemory ? memoryBytes(single) : Bytes{};
    EXPECT_EQ(zipAssemblerClose(single), Result::Ok);

    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> target(
        GetParam().toStream ? std::fopen((sources.dir / "batch.zip").string().c_str(), "w+b") : nullptr, std::fclose);
    ZipAssemblerHandle *batch = GetParam().inMemory   ? create(nullptr, 1, ZipTargetKind::Memory, tweak)
                                : GetParam().toStream ? create(target.get(), 0, ZipTargetKind::Stream, tweak)
                                                      : createIn(sources.dir, "batch.zip", tweak);
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(zipAssemblerAddBatch(batch, batchEntries.data(), uint32_t(entries.size()), nullptr, nullptr), Result::Ok);
    const Bytes inMemory = GetParam().inMemory ? memoryBytes(batch) : Bytes{};
    EXPECT_EQ(zipAssemblerClose(batch), Result::Ok);

    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(batchEntries[i].result, singleResults[i]) << sources.names[i];
    const Bytes expected = withoutAccessTimes(GetParam().inMemory ? singleInMemory : readFile(sources.dir / "single.zip"));
    EXPECT_EQ(withoutAccessTimes(GetParam().inMemory ? inMemory : readFile(sources.dir / "batch.zip")), expected);
    EXPECT_GE(parse(expected).count, 4u);
    EXPECT_EQ(filesBeside(sources.dir).size(), GetParam().inMemory ? 0u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, BatchAdd,
    testing::Values(BatchRow{"asIs", noTweak},
                    BatchRow{"oneThread", [](zip::WriterOptions &writer) { writer.threads = 1; }},
                    BatchRow{"fourThreads", [](zip::WriterOptions &writer) { writer.threads = 4; }},
                    // Everything waiting goes through the scratch file.
                    BatchRow{"noSpoolMemory", [](zip::WriterOptions &writer) { writer.spoolMemory = 0; }},
                    BatchRow{"memoryArchive", noTweak, true},
                    BatchRow{"streams", noTweak, false, true},
                    BatchRow{"streamsNoSpoolMemory", [](zip::WriterOptions &writer) { writer.spoolMemory = 0; }, false,
                             true},
                    // The waiting data goes to a scratch file of the system's temporary folder.
                    BatchRow{"streamTargetNoSpoolMemory", [](zip::WriterOptions &writer) { writer.spoolMemory = 0; },
                             false, true, true},
                    BatchRow{"readers", noTweak, false, true, false, true},
                    BatchRow{"readersNoSpoolMemory", [](zip::WriterOptions &writer) { writer.spoolMemory = 0; }, false,
                             true, false, true},
                    // The large entries in segments that force many joins, also with their
                    // output waiting in the scratch file, and with a source outgrowing its entry.
                    BatchRow{"smallSegments",
                             [](zip::WriterOptions &writer) {
                                 writer.threads = 3;
                                 writer.segmentSize = 4096;
                             }},
                    BatchRow{"segmentsNoSpoolMemory",
                             [](zip::WriterOptions &writer) {
                                 writer.segmentSize = 65536;
                                 writer.spoolMemory = 0;
                             }},
                    // Past a limit of 1,000,000: entries with ZIP64 local headers from the start,
                    // one whose deflated data outgrows its header and is written again, offsets
                    // and the directory in ZIP64 fields.
                    BatchRow{"segmentsLoweredLimit",
                             [](zip::WriterOptions &writer) {
                                 writer.threads = 2;
                                 writer.segmentSize = 65536;
                                 writer.sizeLimit = 1'000'000;
                             }},
                    BatchRow{"loweredLimit", [](zip::WriterOptions &writer) { writer.sizeLimit = 1'000'000; }},
                    BatchRow{"loweredLimitNoSpoolMemory",
                             [](zip::WriterOptions &writer) {
                                 writer.sizeLimit = 1'000'000;
                                 writer.spoolMemory = 0;
                             }},
                    // The readers' sizes are not known: every entry past the limit outgrows its
                    // header, on several threads and in segments, and is read again, into the
                    // archive that the streams' known sizes give the single adds.
                    BatchRow{"readersLoweredLimit",
                             [](zip::WriterOptions &writer) {
                                 writer.threads = 3;
                                 writer.segmentSize = 65536;
                                 writer.sizeLimit = 1'000'000;
                             },
                             false, true, false, true},
                    BatchRow{"readersLoweredLimitOneThread",
                             [](zip::WriterOptions &writer) {
                                 writer.threads = 1;
                                 writer.sizeLimit = 1'000'000;
                             },
                             false, true, false, true},
                    // Entries past 4 MB do not fit the memory archive: refused, smaller ones follow.
                    BatchRow{"loweredLimitInMemory", [](zip::WriterOptions &writer) { writer.sizeLimit = 4'000'000; },
                             true}),
    [](const testing::TestParamInfo<BatchRow> &info) { return std::string(info.param.name); });

namespace {

struct ProgressCall {
    uint32_t entry;
    uint64_t done, total;
};

// Records every progress call and answers false from the call that reaches `stopEntry` with at
// least `stopDone` bytes done.
struct Recorder {
    uint32_t stopEntry = UINT32_MAX;
    uint64_t stopDone = 0;
    std::vector<ProgressCall> calls;

    static bool call(void *context, uint32_t entry, uint64_t done, uint64_t total)
    {
        auto &self = *static_cast<Recorder *>(context);
        self.calls.push_back({entry, done, total});
        return entry < self.stopEntry || done < self.stopDone;
    }
};

uint64_t sizeOfSources(const Sources &sources)
{
    uint64_t total = 0;
    for (const std::string &path : sources.paths)
        total += std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0;
    return total;
}

} // namespace

TEST(BatchProgress, movesForwardOverEveryEntryAndEndsAtTheTotal)
{
    const Sources sources;
    std::vector<ZipAssemblerEntry> entries = sources.batch();
    Recorder recorder;
    ZipAssemblerHandle *archive = createIn(sources.dir, "a.zip", noTweak);
    ASSERT_EQ(zipAssemblerAddBatch(archive, entries.data(), uint32_t(entries.size()), Recorder::call, &recorder),
              Result::Ok);
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);

    const uint64_t total = sizeOfSources(sources);
    ASSERT_FALSE(recorder.calls.empty());
    for (size_t i = 1; i < recorder.calls.size(); ++i) {
        EXPECT_GE(recorder.calls[i].entry, recorder.calls[i - 1].entry);
        EXPECT_GE(recorder.calls[i].done, recorder.calls[i - 1].done);
        EXPECT_EQ(recorder.calls[i].total, total);
    }
    for (uint32_t entry = 0; entry < entries.size(); ++entry)
        EXPECT_TRUE(std::any_of(recorder.calls.begin(), recorder.calls.end(),
                                [&](const ProgressCall &call) { return call.entry == entry; }))
            << entry;
    EXPECT_EQ(recorder.calls.back().entry, entries.size());
    EXPECT_EQ(recorder.calls.back().done, total);
}

struct CancelRow {
    uint32_t entry;
    uint64_t done;
};

// Reports at every read, and keeps the waiting data in the scratch file.
void everyReport(zip::WriterOptions &writer)
{
    writer.progressInterval = std::chrono::milliseconds(0);
    writer.spoolMemory = 0;
}

class BatchCancel : public testing::TestWithParam<CancelRow> {};

TEST_P(BatchCancel, leavesOutTheRestRemovesTemporaryFilesAndFailsLaterAdds)
{
    const Sources sources;
    std::vector<ZipAssemblerEntry> entries = sources.batch();
    Recorder recorder{GetParam().entry, GetParam().done, {}};
    ZipAssemblerHandle *archive = createIn(sources.dir, "a.zip", everyReport);
    ASSERT_EQ(zipAssemblerAddBatch(archive, entries.data(), uint32_t(entries.size()), Recorder::call, &recorder),
              Result::Cancelled);
    EXPECT_EQ(zipAssemblerAdd(archive, "late.log", sources.paths[1].c_str(), 0, ZipSourceKind::FileName),
              Result::PreviouslyFailed);
    EXPECT_EQ(filesBeside(sources.dir), std::vector<std::string>{"a.zip"});
    EXPECT_EQ(zipAssemblerClose(archive), Result::Cancelled);

    // Entries before the stop are complete; from the stop on every result is Cancelled.
    const uint32_t stop = recorder.calls.back().entry;
    ASSERT_LT(stop, entries.size());
    for (uint32_t i = stop + 1; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].result, Result::Cancelled) << i;
    EXPECT_NE(entries[stop].result, Result::Ok);
    size_t written = 0;
    for (uint32_t i = 0; i < stop; ++i) {
        EXPECT_NE(entries[i].result, Result::Cancelled) << i;
        written += entries[i].result == Result::Ok;
    }
    // What the close wrote is a sound archive of the entries completed before the stop.
    EXPECT_EQ(parse(readFile(sources.dir / "a.zip")).count, written);
}

INSTANTIATE_TEST_SUITE_P(Points, BatchCancel,
                         testing::Values(CancelRow{0, 0}, CancelRow{1, 1'000'000}, CancelRow{2, 0}, CancelRow{6, 0},
                                         CancelRow{9, 0}, CancelRow{9, 9'000'000}),
                         [](const testing::TestParamInfo<CancelRow> &info) {
                             const CancelRow &row = info.param;
                             return "entry" + std::to_string(row.entry) + "done" + std::to_string(row.done);
                         });
