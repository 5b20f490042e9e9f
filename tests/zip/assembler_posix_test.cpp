// The archive writer on POSIX: exact bytes with pinned file times and time zone, time clamping,
// attribute mapping, pipes and devices as sources, write failures on /dev/full and at a
// file-size limit, and the format's 4 GiB limits with sparse files.

#include "archive_view.h"
#include "assembler.h"
#include "spool.h"
#include "zipassembler.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <optional>

using namespace archive_view;
using Result = ZipAssemblerResult;

namespace {

// Runs a test in a fixed time zone and restores the caller's afterwards.
class PinnedZone {
public:
    explicit PinnedZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            previous = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~PinnedZone()
    {
        if (previous)
            setenv("TZ", previous->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    PinnedZone(const PinnedZone &) = delete;
    PinnedZone &operator=(const PinnedZone &) = delete;

private:
    std::optional<std::string> previous;
};

void setTimes(const std::filesystem::path &path, time_t modification, time_t access)
{
    const timespec times[2] = {{access, 0}, {modification, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// What the writer takes as a file's creation time: its birth time, else min(ctime, mtime).
time_t creationTime(const std::filesystem::path &path)
{
    struct statx status {};
    EXPECT_EQ(statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &status), 0);
    if (status.stx_mask & STATX_BTIME)
        return status.stx_btime.tv_sec;
    return std::min(status.stx_ctime.tv_sec, status.stx_mtime.tv_sec);
}

void appendLe(Bytes &bytes, uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Result addFile(ZipAssemblerHandle *handle, const char *name, const std::filesystem::path &path)
{
    return zipAssemblerAdd(handle, name, path.c_str(), 0, ZipSourceKind::FileName);
}

Archive finishMemory(ZipAssemblerHandle *handle)
{
    const Bytes bytes = memoryBytes(handle);
    EXPECT_EQ(zipAssemblerClose(handle), Result::Ok);
    return parse(bytes);
}

void makeSparse(const std::filesystem::path &path, uint64_t size)
{
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    close(fd);
}

} // namespace

TEST(ExactBytes, emptyLogMakesThe136ByteArchive)
{
    PinnedZone zone("UTC0");
    TempDir dir;
    const auto path = dir / "a.log";
    writeFile(path, {});
    chmod(path.c_str(), 0644);
    setTimes(path, 1622536200, 1622624400); // 2021-06-01 08:30:00 and 2021-06-02 09:00:00 UTC
    const auto archivePath = dir / "x.zip";
    ZipAssemblerHandle *archive = zipAssemblerCreate(archivePath.c_str(), 0, ZipTargetKind::FileName);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(addFile(archive, "a.log", path), Result::Ok);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);

    Bytes expected;
    const auto text = [&](const std::string &value) { expected.insert(expected.end(), value.begin(), value.end()); };
    // Local header, 52 bytes.
    appendLe(expected, 0x04034B50, 4);
    appendLe(expected, 20, 2);         // version needed
    appendLe(expected, 0x0002, 2);     // flags: deflated at level 8
    appendLe(expected, 8, 2);          // method
    appendLe(expected, 0x43C0, 2);     // 08:30:00
    appendLe(expected, 0x52C1, 2);     // 2021-06-01
    appendLe(expected, 0, 4);          // CRC of no bytes
    appendLe(expected, 2, 4);          // compressed size
    appendLe(expected, 0, 4);          // uncompressed size
    appendLe(expected, 5, 2);          // name length
    appendLe(expected, 17, 2);         // extra length
    text("a.log");
    appendLe(expected, 0x5455, 2);
    appendLe(expected, 13, 2);
    appendLe(expected, 7, 1);
    appendLe(expected, 1622536200, 4); // modification
    appendLe(expected, 1622624400, 4); // access
    appendLe(expected, static_cast<uint32_t>(creationTime(path)), 4);
    // Data: one empty fixed block.
    appendLe(expected, 0x0003, 2);
    // Central header, 60 bytes.
    appendLe(expected, 0x02014B50, 4);
    appendLe(expected, 0x0B17, 2);     // version made by
    appendLe(expected, 20, 2);
    appendLe(expected, 0x0002, 2);
    appendLe(expected, 8, 2);
    appendLe(expected, 0x43C0, 2);
    appendLe(expected, 0x52C1, 2);
    appendLe(expected, 0, 4);
    appendLe(expected, 2, 4);
    appendLe(expected, 0, 4);
    appendLe(expected, 5, 2);
    appendLe(expected, 9, 2);          // extra length
    appendLe(expected, 0, 2);          // comment length
    appendLe(expected, 0, 2);          // disk number start
    appendLe(expected, 0, 2);          // internal attributes
    appendLe(expected, 0x81800020, 4); // regular file rw-, archive bit
    appendLe(expected, 0, 4);          // local header offset
    text("a.log");
    appendLe(expected, 0x5455, 2);
    appendLe(expected, 5, 2);
    appendLe(expected, 7, 1);
    appendLe(expected, 1622536200, 4);
    // End record, 22 bytes.
    appendLe(expected, 0x06054B50, 4);
    appendLe(expected, 0, 2);
    appendLe(expected, 0, 2);
    appendLe(expected, 1, 2);
    appendLe(expected, 1, 2);
    appendLe(expected, 60, 4);         // directory size
    appendLe(expected, 54, 4);         // directory offset
    appendLe(expected, 0, 2);

    ASSERT_EQ(expected.size(), 136u);
    const Bytes written = readFile(archivePath);
    ASSERT_EQ(written.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(written[i], expected[i]) << "byte " << i;
}

struct TimeRow {
    const char *zone;
    time_t fileTime;       // UTC
    uint32_t unixTime;     // low 32 bits written
    uint32_t dosDateTime;
};

class FileTimes : public testing::TestWithParam<TimeRow> {};

TEST_P(FileTimes, areShiftedToLocalClampedAndKeepTheirTimeOfDay)
{
    PinnedZone zone(GetParam().zone);
    TempDir dir;
    const auto path = dir / "t.log";
    writeFile(path, textOf("t"));
    setTimes(path, GetParam().fileTime, GetParam().fileTime);
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    ASSERT_EQ(addFile(archive, "t.log", path), Result::Ok);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.modification, GetParam().unixTime);
    EXPECT_EQ(entry.access, GetParam().unixTime);
    EXPECT_EQ(entry.dosDateTime, GetParam().dosDateTime);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, FileTimes,
    testing::Values(
        // 1969-01-01 01:02:03 UTC: Unix 1970-01-01 01:02:03, DOS 1980-01-01 01:02:03.
        TimeRow{"UTC0", -31532277, 3723, 0x00210841},
        // 2040-06-15 12:34:56 UTC: Unix 2037-12-31 12:34:56, DOS keeps 2040.
        TimeRow{"UTC0", 2223376496, 2145875696, 0x78CF645C},
        // 2024-03-15 10:20:30 UTC is 19:20:30 local at +9.
        TimeRow{"XST-9", 1710498030, 1710498030, 0x586F9A8F},
        // 1969-12-31 10:00 UTC is 19:00 local, clamped to 1970-01-01 19:00 local = 10:00 UTC.
        TimeRow{"XST-9", -50400, 36000, 0x00219800},
        // 1969-12-31 20:00 UTC is already 1970-01-01 05:00 local: not clamped, before the epoch.
        TimeRow{"XST-9", -14400, 0xFFFFC7C0, 0x00212800},
        // 2038-01-01 03:00 UTC is still 2037-12-31 22:00 local at -5.
        TimeRow{"XST+5", 2145927600, 2145927600, 0x739FB000},
        // 2040-06-15 12:34:56 UTC is 07:34:56 local, clamped to 2037-12-31 07:34:56 local.
        TimeRow{"XST+5", 2223376496, 2145875696, 0x78CF3C5C}));

// The zones of the tests that need summer time: at any date one of them is in it.
const char *const summerTimeZones[] = {"Australia/Sydney", "Europe/Berlin"};

// The pinned zone's fields for now: tm_gmtoff is the current offset, tm_isdst tells summer time.
std::tm localNow()
{
    const time_t now = std::time(nullptr);
    std::tm fields{};
    localtime_r(&now, &fields);
    return fields;
}

uint32_t dosOf(time_t localSeconds)
{
    std::tm fields{};
    gmtime_r(&localSeconds, &fields);
    const uint32_t date = (fields.tm_year - 80) << 9 | (fields.tm_mon + 1) << 5 | fields.tm_mday;
    const uint32_t time = fields.tm_hour << 11 | fields.tm_min << 5 | fields.tm_sec / 2;
    return date << 16 | time;
}

TEST(FileTimes, unixTimesAreTheFilesOwnEachInItsFieldAlsoInSummerTime)
{
    int summer = 0;
    for (const char *name : {"UTC0", summerTimeZones[0], summerTimeZones[1]}) {
        PinnedZone zone(name);
        const std::tm now = localNow();
        summer += now.tm_isdst > 0;
        TempDir dir;
        const auto path = dir / "t.log";
        writeFile(path, textOf("t"));
        setTimes(path, 1622536200, 1622624400);
        ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
        ASSERT_EQ(addFile(archive, "t.log", path), Result::Ok);
        const Entry entry = finishMemory(archive).entries.at(0);
        EXPECT_EQ(entry.modification, 1622536200u) << name;
        EXPECT_EQ(entry.access, 1622624400u) << name;
        EXPECT_EQ(entry.creation, static_cast<uint32_t>(creationTime(path))) << name;
        // The DOS fields keep the current offset, whatever it was on the file's own date.
        EXPECT_EQ(entry.dosDateTime, dosOf(1622536200 + now.tm_gmtoff)) << name;
    }
    EXPECT_GT(summer, 0) << "neither zone is in summer time: is the zone data installed?";
}

TEST(FileTimes, sourcesWithoutTimesTakeNowWithTheLocalDosTime)
{
    for (const char *name : {"XST-9", summerTimeZones[0], summerTimeZones[1]}) {
        PinnedZone zone(name);
        ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
        const time_t before = std::time(nullptr);
        ASSERT_EQ(zipAssemblerAdd(archive, "m.log", "m", 1, ZipSourceKind::Memory), Result::Ok);
        const time_t after = std::time(nullptr);
        const Entry entry = finishMemory(archive).entries.at(0);
        EXPECT_GE(entry.modification, static_cast<uint32_t>(before)) << name;
        EXPECT_LE(entry.modification, static_cast<uint32_t>(after)) << name;
        EXPECT_EQ(entry.access, entry.modification);
        EXPECT_EQ(entry.creation, entry.modification);
        EXPECT_EQ(entry.dosDateTime, dosOf(static_cast<time_t>(entry.modification) + localNow().tm_gmtoff)) << name;
    }
}

struct AttributeRow {
    const char *name;
    mode_t mode;
    Bytes contents;
    uint32_t attributes;
};

Bytes executable(size_t size, uint32_t headerOffset, const char *signature)
{
    Bytes bytes(size, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) {
        bytes[0x3C + i] = static_cast<uint8_t>(headerOffset >> (8 * i));
        if (headerOffset + i < size)
            bytes[headerOffset + i] = static_cast<uint8_t>(signature[i]);
    }
    return bytes;
}

class Attributes : public testing::TestWithParam<AttributeRow> {};

TEST_P(Attributes, mapModeNameAndHeaderToExternalAttributes)
{
    TempDir dir;
    const auto path = dir / GetParam().name;
    writeFile(path, GetParam().contents);
    ASSERT_EQ(chmod(path.c_str(), GetParam().mode), 0);
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    ASSERT_EQ(addFile(archive, GetParam().name, path), Result::Ok);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.externalAttributes, GetParam().attributes);
    EXPECT_EQ(contents(entry), GetParam().contents) << "the header test leaves the file at its start";
}

INSTANTIATE_TEST_SUITE_P(
    Files, Attributes,
    testing::Values(AttributeRow{"plain.log", 0644, textOf("plain text log line\r\n"), 0x81800020},
                    AttributeRow{"readonly.log", 0444, textOf("read-only\r\n"), 0x81000021},
                    AttributeRow{".hidden.ini", 0644, textOf("[LOGGING]\r\n"), 0x81800022},
                    AttributeRow{"script.sh", 0755, textOf("#!/bin/sh\necho not marked by its mode\n"), 0x81800020},
                    AttributeRow{"elf", 0755, Bytes{0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x81800020},
                    AttributeRow{"pe.exe", 0644, executable(0x200, 0x80, "PE\0\0"), 0x81C00020},
                    AttributeRow{"ne.exe", 0644, executable(0x200, 0x80, "NE\0\0"), 0x81C00020},
                    AttributeRow{"le.exe", 0644, executable(0x200, 0x80, "LE\0\0"), 0x81C00020},
                    AttributeRow{"mz.exe", 0644, executable(0x200, 0x40, "MZ\0\0"), 0x81C00020},
                    AttributeRow{"readonly.exe", 0444, executable(0x200, 0x80, "PE\0\0"), 0x81400021},
                    AttributeRow{"header-at-end.exe", 0644, executable(0x80 + 52, 0x80, "PE\0\0"), 0x81800020},
                    AttributeRow{"header-fits.exe", 0644, executable(0x80 + 53, 0x80, "PE\0\0"), 0x81C00020},
                    AttributeRow{"pe-upper-half.exe", 0644, executable(0x200, 0x80, "PE\0\1"), 0x81800020},
                    AttributeRow{"header-beyond.exe", 0644, executable(0x200, 0xFFFFFFF0, "PE\0\0"), 0x81800020},
                    AttributeRow{"tiny.exe", 0644, Bytes{'M', 'Z', 0, 0}, 0x81800020}));

TEST(MemoryTarget, pageAlignedCallerBufferStaysMappedAfterTheArchiveOutgrowsIt)
{
    const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *buffer = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(buffer, MAP_FAILED);
    ZipAssemblerHandle *archive = zipAssemblerCreate(buffer, static_cast<uint32_t>(size), ZipTargetKind::Memory);
    const Bytes data = randomBytes(3 * size, 24);
    ASSERT_EQ(zipAssemblerAdd(archive, "x.gz", data.data(), static_cast<uint32_t>(data.size()), ZipSourceKind::Memory),
              Result::Ok);
    EXPECT_EQ(contents(finishMemory(archive).entries.at(0)), data);
    EXPECT_EQ(msync(buffer, size, MS_ASYNC), 0) << "the caller's buffer was unmapped";
    munmap(buffer, size);
}

TEST(Sources, folderGivenAsAFileIsRefused)
{
    TempDir dir;
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    EXPECT_EQ(addFile(archive, "dir.log", dir.path()), Result::OpenFailed);
    std::FILE *stream = std::fopen(dir.path().c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(zipAssemblerAdd(archive, "dir.log", stream, 0, ZipSourceKind::Stream), Result::OpenFailed);
    EXPECT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(finishMemory(archive).count, 0u);
}

TEST(Sources, pipeHasUnknownSizeNoFileAttributesAndTheCurrentTime)
{
    const Bytes text = logText(10000, 20);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(ends[1]);
    std::FILE *stream = fdopen(ends[0], "rb");
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    const time_t before = std::time(nullptr);
    ASSERT_EQ(zipAssemblerAdd(archive, "p.log", stream, 0, ZipSourceKind::Stream), Result::Ok);
    std::fclose(stream);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.externalAttributes, 0x80000000u);
    EXPECT_EQ(entry.uncompressedSize, text.size());
    EXPECT_EQ(contents(entry), text);
    EXPECT_GE(entry.modification, static_cast<uint32_t>(before));
}

TEST(Sources, namedPipeWithoutAWriterIsTakenAsAnEmptyEntryAtOnce)
{
    TempDir dir;
    const std::filesystem::path fifo = dir.path() / "kv4_usb.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20); // a blocking open would otherwise hang the test program
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    EXPECT_EQ(addFile(archive, "kv4_usb.log", fifo), Result::Ok);
    const Archive parsed = finishMemory(archive);
    alarm(0);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries.at(0).externalAttributes, 0x80000000u);
    EXPECT_EQ(parsed.entries.at(0).uncompressedSize, 0u);
}

// Devices as endless sources, with the format's ceiling lowered so that tests reach it quickly.
class EndlessSource : public testing::Test {
protected:
    void SetUp() override
    {
        if (access("/dev/zero", R_OK) != 0)
            GTEST_SKIP() << "no /dev/zero";
        zip::WriterOptions options;
        options.sizeLimit = 40000;
        archive = zip::createWriter(nullptr, 64, ZipTargetKind::Memory, options);
    }
    ZipAssemblerHandle *archive = nullptr;
};

TEST_F(EndlessSource, storedEntryThatFillsTheArchiveIsCutOffWhole)
{
    EXPECT_EQ(addFile(archive, "zero.gz", "/dev/zero"), Result::CapacityTooSmall);
    ASSERT_EQ(zipAssemblerAdd(archive, "after.log", "after", 5, ZipSourceKind::Memory), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
    EXPECT_EQ(contents(parsed.entries[0]), textOf("after"));
}

// A device cannot start over: past the size limit its entry fails and is cut off whole.
TEST_F(EndlessSource, deflatedEntryOfADeviceStopsAtTheSizeLimitAndLeavesNoTrace)
{
    EXPECT_EQ(addFile(archive, "zero.log", "/dev/zero"), Result::OpenFailed);
    ASSERT_EQ(zipAssemblerAdd(archive, "after.log", "after", 5, ZipSourceKind::Memory), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
    EXPECT_EQ(contents(parsed.entries[0]), textOf("after"));
}

TEST(PipeSource, entryWhoseDataOutgrowsItsHeaderFailsAndLeavesNoByteInTheFile)
{
    TempDir dir;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const Bytes noise = randomBytes(4998, 31); // 5,003 bytes in a stored block: past the limit
    ASSERT_EQ(write(ends[1], noise.data(), noise.size()), ssize_t(noise.size()));
    close(ends[1]);
    std::FILE *stream = fdopen(ends[0], "rb");
    const auto path = dir / "a.zip";
    zip::WriterOptions options;
    options.sizeLimit = 5000;
    ZipAssemblerHandle *archive = zip::createWriter(path.c_str(), 0, ZipTargetKind::FileName, options);
    EXPECT_EQ(zipAssemblerAdd(archive, "pipe.bin", stream, 0, ZipSourceKind::Stream), Result::OpenFailed);
    std::fclose(stream);
    ASSERT_EQ(zipAssemblerAdd(archive, "after.gz", "after", 5, ZipSourceKind::Memory), Result::Ok);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    const Bytes bytes = readFile(path);
    EXPECT_EQ(bytes.size(), 30 + 8 + 17 + 5 + 46 + 8 + 9 + 22u);
    EXPECT_EQ(parse(bytes).entries.at(0).offset, 0u);
}

class FullDevice : public testing::Test {
protected:
    void SetUp() override
    {
        archive = zipAssemblerCreate("/dev/full", 0, ZipTargetKind::FileName);
        if (!archive)
            GTEST_SKIP() << "no /dev/full";
    }
    TempDir dir;
    ZipAssemblerHandle *archive = nullptr;
};

TEST_F(FullDevice, failedWriteFailsTheAddEveryLaterAddAndTheClose)
{
    writeFile(dir / "a.log", logText(1000, 21));
    EXPECT_EQ(addFile(archive, "a.log", dir / "a.log"), Result::WriteFailed);
    EXPECT_EQ(addFile(archive, "a.log", dir / "a.log"), Result::PreviouslyFailed);
    EXPECT_EQ(zipAssemblerClose(archive), Result::WriteFailed);
}

TEST_F(FullDevice, largeStoredEntryFailsOnItsDataAndLaterAddsAreRefused)
{
    writeFile(dir / "big.gz", randomBytes(100000, 22));
    EXPECT_EQ(addFile(archive, "big.gz", dir / "big.gz"), Result::WriteFailed);
    EXPECT_EQ(zipAssemblerAdd(archive, "m.log", "m", 1, ZipSourceKind::Memory), Result::PreviouslyFailed);
    EXPECT_EQ(zipAssemblerClose(archive), Result::WriteFailed);
}

TEST_F(FullDevice, largeDeflatedEntryFailsOnItsData)
{
    writeFile(dir / "big.bin", randomBytes(100000, 23));
    EXPECT_EQ(addFile(archive, "big.bin", dir / "big.bin"), Result::WriteFailed);
    EXPECT_EQ(zipAssemblerClose(archive), Result::WriteFailed);
}

TEST_F(FullDevice, closeOfAnEmptyArchiveFailsWhenTheEndRecordCannotBeFlushed)
{
    EXPECT_EQ(zipAssemblerClose(archive), Result::WriteFailed);
}

// Sizes past 32 bits are seen whole: into a memory archive, which stays below 4 GiB, they do
// not fit; files of the lowered limit or more get the ZIP64 local header from the start.
TEST(SparseSources, sizesOf4GiBOrMoreAreSeenBeforeWriting)
{
    TempDir dir;
    ZipAssemblerHandle *memory = zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
    for (const uint64_t size : {uint64_t{0x100000005}, uint64_t{0xFFFFFFFF}, uint64_t{4000000000}}) {
        makeSparse(dir / "sparse", size);
        EXPECT_EQ(addFile(memory, "huge.log", dir / "sparse"), Result::CapacityTooSmall) << size;
    }
    EXPECT_EQ(parse(memoryBytes(memory)).count, 0u);
    EXPECT_EQ(zipAssemblerClose(memory), Result::Ok);

    const auto archivePath = dir / "x.zip";
    zip::WriterOptions options;
    options.sizeLimit = 1 << 20;
    ZipAssemblerHandle *archive = zip::createWriter(archivePath.c_str(), 0, ZipTargetKind::FileName, options);
    const struct {
        uint64_t size;
        const char *name;
        bool zip64Local;
    } rows[] = {
        {(1 << 20) + 5, "huge.log", true},
        {1 << 20, "huge.gz", true},      // the size field's mark
        {(1 << 20) - 1, "huge.log", false},
    };
    for (const auto &row : rows) {
        makeSparse(dir / "sparse", row.size);
        EXPECT_EQ(addFile(archive, row.name, dir / "sparse"), Result::Ok) << row.size;
    }
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    const Archive parsed = parse(readFile(archivePath));
    ASSERT_EQ(parsed.count, 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed.entries[i].zip64Local, rows[i].zip64Local) << i;
        EXPECT_EQ(contents(parsed.entries[i]), Bytes(rows[i].size)) << i;
    }
}

// The archive's own name in a folder that others can write to: what stands there is never a way
// out of the folder, and never holds the create.
TEST(ArchiveTarget, linkOrPipeOfTheArchivesNameFailsCreateAndChangesNothing)
{
    TempDir dir;
    const auto outside = dir / "outside.txt";
    writeFile(outside, textOf("private"));
    const auto linked = dir / "linked.zip";
    const auto dangling = dir / "dangling.zip";
    const auto fifo = dir / "fifo.zip";
    std::filesystem::create_symlink(outside, linked);
    std::filesystem::create_symlink(dir / "made.txt", dangling);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20); // a blocking open would otherwise hang the test program
    for (const auto &target : {linked, dangling, fifo})
        EXPECT_EQ(zipAssemblerCreate(target.c_str(), 0, ZipTargetKind::FileName), nullptr) << target;
    alarm(0);
    EXPECT_EQ(readFile(outside), textOf("private"));
    EXPECT_FALSE(std::filesystem::exists(dir / "made.txt"));
}

TEST(ArchiveTarget, existingArchiveIsEmptiedAndWrittenAnew)
{
    TempDir dir;
    const auto archivePath = dir / "x.zip";
    writeFile(archivePath, randomBytes(5000, 24));
    ZipAssemblerHandle *archive = zipAssemblerCreate(archivePath.c_str(), 0, ZipTargetKind::FileName);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(zipAssemblerAdd(archive, "m.log", "m", 1, ZipSourceKind::Memory), Result::Ok);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    const Archive parsed = parse(readFile(archivePath));
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(contents(parsed.entries.at(0)), textOf("m"));
}

// A scratch file that stops taking bytes (here at a file-size limit, with SIGXFSZ ignored as the
// program does) fails the piece that did not reach it, at once: every piece kept reads back
// whole, so no entry is packed from bytes that never got there.
TEST(Spool, pieceThatCannotReachTheScratchFileFailsWhenKept)
{
    TempDir dir;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lowered{100000, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lowered);
    std::vector<std::vector<uint8_t>> kept;
    {
        zip::SpoolStore store((dir / "archive.zip.spool").string(), 0);
        std::vector<zip::SpoolPiece> pieces(40);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const std::vector<uint8_t> bytes(3000, uint8_t(i));
            if (!store.keep(pieces[i], bytes.data(), uint32_t(bytes.size())))
                break;
            kept.push_back(bytes);
        }
        for (size_t i = 0; i < kept.size(); ++i) {
            std::vector<uint8_t> buffer;
            const uint8_t *loaded = store.load(pieces[i], buffer);
            ASSERT_NE(loaded, nullptr) << i;
            EXPECT_EQ(std::vector<uint8_t>(loaded, loaded + pieces[i].size), kept[i]) << i;
        }
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(kept.size(), 33u) << "every piece within the limit is kept, and none beyond it";
}
