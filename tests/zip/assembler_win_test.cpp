// The archive writer on Windows: external attributes from the attribute bits Win32 reports,
// executable recognition on real executables, file times set with SetFileTime and shifted by
// the current zone, pipes and devices, UTF-8 paths, sizes past 4 GiB, the stored-suffix test
// against _stricmp, and memory archives in mapped views.

#include "archive_view.h"
#include "zipassembler.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <optional>
#include <thread>

using namespace archive_view;
using Result = ZipAssemblerResult;

namespace {

ZipAssemblerHandle *memoryTarget()
{
    return zipAssemblerCreate(nullptr, 64, ZipTargetKind::Memory);
}

// The writer takes UTF-8 paths.
std::string utf8(const std::filesystem::path &path)
{
    return path.u8string();
}

Result addFile(ZipAssemblerHandle *handle, const char *name, const std::filesystem::path &path)
{
    return zipAssemblerAdd(handle, name, utf8(path).c_str(), 0, ZipSourceKind::FileName);
}

Archive finishMemory(ZipAssemblerHandle *handle)
{
    const Bytes bytes = memoryBytes(handle);
    EXPECT_EQ(zipAssemblerClose(handle), Result::Ok);
    return parse(bytes);
}

// The one entry an archive of a single file holds.
Entry archivedAlone(const std::filesystem::path &path)
{
    ZipAssemblerHandle *archive = memoryTarget();
    EXPECT_EQ(addFile(archive, "x", path), Result::Ok);
    const Archive parsed = finishMemory(archive);
    if (parsed.count != 1)
        throw std::runtime_error("no entry for " + utf8(path));
    return parsed.entries[0];
}

FILETIME utcFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME fields{};
    fields.wYear = year;
    fields.wMonth = month;
    fields.wDay = day;
    fields.wHour = hour;
    fields.wMinute = minute;
    fields.wSecond = second;
    FILETIME time{};
    if (!SystemTimeToFileTime(&fields, &time))
        throw std::runtime_error("no such time");
    return time;
}

bool sameTime(const FILETIME &a, const FILETIME &b)
{
    return CompareFileTime(&a, &b) == 0;
}

// Sets the times given; null leaves a time as it is.
void setFileTimes(const std::filesystem::path &path, const FILETIME *creation, const FILETIME *access,
                  const FILETIME *write)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, creation, access, write));
    CloseHandle(file);
}

struct DiskTimes {
    FILETIME creation, access, write;
};

DiskTimes diskTimes(const std::filesystem::path &path)
{
    DiskTimes times{};
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE || !GetFileTime(file, &times.creation, &times.access, &times.write))
        throw std::runtime_error("no file times for " + utf8(path));
    CloseHandle(file);
    return times;
}

// Minutes to add to local time to get UTC, as the system reports it now.
long zoneBias()
{
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = GetTimeZoneInformation(&zone);
    return zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
}

// A row's file name as its test name.
template <typename Row>
std::string rowName(const testing::TestParamInfo<Row> &info)
{
    std::string name = info.param.name;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// A file for one test, made writable again afterwards so that its folder can be removed.
class ScratchFile {
public:
    ScratchFile(const TempDir &dir, const std::string &name, const Bytes &contents) : path(dir / name)
    {
        writeFile(path, contents);
    }
    ~ScratchFile() { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    // Gives the file these attribute bits; false when the file system keeps others instead.
    bool setAttributes(DWORD attributes) const
    {
        return SetFileAttributesW(path.c_str(), attributes) && GetFileAttributesW(path.c_str()) == attributes;
    }

    const std::filesystem::path path;
};

struct AttributeRow {
    const char *name;
    DWORD attributes;
    uint32_t external;
};

class WindowsAttributes : public testing::TestWithParam<AttributeRow> {};

TEST_P(WindowsAttributes, lowByteKeepsTheDosBitsAndTheModeFollowsReadOnly)
{
    TempDir dir;
    ScratchFile file(dir, GetParam().name, textOf("log line\r\n"));
    if (!file.setAttributes(GetParam().attributes))
        GTEST_SKIP() << "this file system keeps " << std::hex << GetFileAttributesW(file.path.c_str())
                     << " instead of " << GetParam().attributes;
    const Entry entry = archivedAlone(file.path);
    EXPECT_EQ(entry.externalAttributes, GetParam().external) << std::hex << entry.externalAttributes;
    EXPECT_EQ(contents(entry), textOf("log line\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Bits, WindowsAttributes,
    testing::Values(AttributeRow{"archived.log", FILE_ATTRIBUTE_ARCHIVE, 0x81800020},
                    AttributeRow{"normal.log", FILE_ATTRIBUTE_NORMAL, 0x81800000},
                    AttributeRow{"readonly.log", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 0x81000021},
                    AttributeRow{"readonly-unarchived.log", FILE_ATTRIBUTE_READONLY, 0x81000001},
                    AttributeRow{"hidden.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0x81800022},
                    AttributeRow{"system.log", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, 0x81800024},
                    AttributeRow{"all.log",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                                     | FILE_ATTRIBUTE_ARCHIVE,
                                 0x81000027},
                    // Bits outside the MS-DOS set are dropped.
                    AttributeRow{"unindexed.log", FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_ARCHIVE,
                                 0x81800020},
                    AttributeRow{"temporary.log", FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE, 0x81800020}),
    rowName<AttributeRow>);

Bytes runningProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        throw std::runtime_error("no path of the test program");
    return readFile(path);
}

struct ExecutableRow {
    const char *name;
    std::optional<int> cut; // bytes kept past the PE header offset + 52; none: the whole program
    DWORD attributes;
    uint32_t external;
};

class Executables : public testing::TestWithParam<ExecutableRow> {};

// This very test program is a real PE executable; cut short before its header is complete,
// it is not recognised any more.
TEST_P(Executables, areRecognisedByTheirHeaderOnly)
{
    Bytes program = runningProgram();
    ASSERT_GT(program.size(), 0x40u);
    ASSERT_EQ(std::string(program.begin(), program.begin() + 2), "MZ");
    const uint32_t headerOffset = le32(program, 0x3C);
    ASSERT_EQ(le32(program, headerOffset), 0x00004550u) << "PE\\0\\0";
    if (GetParam().cut)
        program.resize(headerOffset + 52 + *GetParam().cut);

    TempDir dir;
    ScratchFile file(dir, GetParam().name, program);
    ASSERT_TRUE(file.setAttributes(GetParam().attributes));
    const Entry entry = archivedAlone(file.path);
    EXPECT_EQ(entry.externalAttributes, GetParam().external) << std::hex << entry.externalAttributes;
    EXPECT_EQ(contents(entry), program) << "the header test leaves the file at its start";
}

INSTANTIATE_TEST_SUITE_P(
    TestProgram, Executables,
    testing::Values(ExecutableRow{"whole.exe", std::nullopt, FILE_ATTRIBUTE_ARCHIVE, 0x81C00020},
                    ExecutableRow{"whole-readonly.exe", std::nullopt, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
                                  0x81400021},
                    ExecutableRow{"header-fits.exe", 1, FILE_ATTRIBUTE_ARCHIVE, 0x81C00020},
                    ExecutableRow{"header-at-end.exe", 0, FILE_ATTRIBUTE_ARCHIVE, 0x81800020},
                    ExecutableRow{"no-header.exe", -52, FILE_ATTRIBUTE_ARCHIVE, 0x81800020}),
    rowName<ExecutableRow>);

TEST(WindowsSources, folderIsNoFileSource)
{
    TempDir dir;
    const std::filesystem::path folder = dir / "folder.log";
    std::filesystem::create_directory(folder);
    ZipAssemblerHandle *archive = memoryTarget();
    EXPECT_EQ(addFile(archive, "folder.log", folder), Result::OpenFailed);

    // A folder opened as a stream shows its directory bit to GetFileInformationByHandle.
    const HANDLE handle = CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    std::FILE *stream = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(zipAssemblerAdd(archive, "folder.log", stream, 0, ZipSourceKind::Stream), Result::OpenFailed);
    std::fclose(stream);
    EXPECT_EQ(finishMemory(archive).count, 0u);
}

TEST(WindowsSources, pipeHasUnknownSizeNoFileAttributesAndTheCurrentTime)
{
    const Bytes text = logText(100000, 30);
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::thread writer([&] {
        DWORD done = 0;
        WriteFile(writeEnd, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        CloseHandle(writeEnd);
    });
    std::FILE *stream = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), "rb");
    ASSERT_NE(stream, nullptr);
    ZipAssemblerHandle *archive = memoryTarget();
    const int64_t before = _time64(nullptr);
    EXPECT_EQ(zipAssemblerAdd(archive, "pipe.log", stream, 0, ZipSourceKind::Stream), Result::Ok);
    const int64_t after = _time64(nullptr);
    writer.join();
    std::fclose(stream);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.externalAttributes, 0x80000000u);
    EXPECT_EQ(contents(entry), text);
    EXPECT_GE(entry.modification, static_cast<uint32_t>(before));
    EXPECT_LE(entry.modification, static_cast<uint32_t>(after));
}

TEST(WindowsSources, nulDeviceGivesAnEmptyEntryWithoutFileAttributes)
{
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(zipAssemblerAdd(archive, "nul.log", "NUL", 0, ZipSourceKind::FileName), Result::Ok);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.externalAttributes, 0x80000000u);
    EXPECT_EQ(entry.uncompressedSize, 0u);
    EXPECT_EQ(entry.data, Bytes({0x03, 0x00}));
}

TEST(WindowsSources, utf8PathsReachFilesWithNonAsciiNames)
{
    TempDir dir;
    const std::filesystem::path source = dir.path() / std::filesystem::u8path("J\xC3\xB6rg \xE2\x80\x93 \xE6\x97\xA5\xE5\xBF\x97.log");
    const std::filesystem::path target = dir.path() / std::filesystem::u8path("Z\xC3\xBCrich.zip");
    writeFile(source, textOf("umlaut"));
    writeFile(dir.path() / std::filesystem::u8path("J\xC3\xB6rg.log"), textOf("latin-1 guess"));
    ZipAssemblerHandle *archive = zipAssemblerCreate(utf8(target).c_str(), 0, ZipTargetKind::FileName);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(addFile(archive, "a.log", source), Result::Ok);
    // Not UTF-8: refused rather than read as the file its Latin-1 reading would name.
    EXPECT_EQ(zipAssemblerAdd(archive, "b.log", (utf8(dir.path()) + "\\J\xF6rg.log").c_str(), 0,
                              ZipSourceKind::FileName),
              Result::OpenFailed);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    const Archive parsed = parse(readFile(target));
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(contents(parsed.entries[0]), textOf("umlaut"));
    EXPECT_EQ(zipAssemblerCreate((utf8(dir.path()) + "\\Z\xFCrich.zip").c_str(), 0, ZipTargetKind::FileName),
              nullptr);
}

void makeLarge(const std::filesystem::path &path, int64_t size)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr); // best effort
    LARGE_INTEGER end;
    end.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}

TEST(WindowsSources, sizeAbove32BitsIsSeenAndTooLargeForAMemoryArchive)
{
    TempDir dir;
    ZipAssemblerHandle *archive = memoryTarget();
    for (const int64_t size : {int64_t{0x100000005}, int64_t{0xFFFFFFFF}}) {
        makeLarge(dir / "large.log", size);
        EXPECT_EQ(addFile(archive, "large.log", dir / "large.log"), Result::CapacityTooSmall) << size;
    }
    std::filesystem::remove(dir / "large.log");
    writeFile(dir / "small.log", textOf("small"));
    ASSERT_EQ(addFile(archive, "small.log", dir / "small.log"), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
}

struct ZoneRow {
    long bias;        // the zone, in minutes from local time to UTC
    FILETIME written; // UTC
    uint32_t unixTime;
    uint32_t dosDateTime;
};

// Only rows for the zone the test runs in apply; ctest runs this suite in UTC, 9 hours east
// and 5 hours west of it, and in Sydney and Berlin, one of which is in summer time at any
// date (Wine and the C library take the zone from TZ).
const ZoneRow zoneRows[] = {
    // 2021-06-01 08:30:00 UTC.
    {0, utcFileTime(2021, 6, 1, 8, 30, 0), 1622536200, 0x52C143C0},
    // 1969-07-20 20:17:40: Unix 1970-01-01 20:17:40, DOS 1980-01-01 20:17:40.
    {0, utcFileTime(1969, 7, 20, 20, 17, 40), 73060, 0x0021A234},
    // The first and last moments DOS holds; Unix stops at 2037-12-31.
    {0, utcFileTime(1980, 1, 1, 0, 0, 0), 315532800, 0x00210000},
    {0, utcFileTime(2107, 12, 31, 23, 59, 59), 2145916799, 0xFF9FBF7D},
    // 2040-06-15 12:34:56: Unix 2037-12-31 12:34:56, DOS keeps 2040.
    {0, utcFileTime(2040, 6, 15, 12, 34, 56), 2145875696, 0x78CF645C},
    // 2110-03-01 00:00:10: Unix 2037-12-31 00:00:10, DOS 2107-12-31 00:00:10.
    {0, utcFileTime(2110, 3, 1, 0, 0, 10), 2145830410, 0xFF9F0005},
    // 2024-03-15 10:20:30 UTC is 19:20:30 local at +9.
    {-540, utcFileTime(2024, 3, 15, 10, 20, 30), 1710498030, 0x586F9A8F},
    // 1969-12-31 10:00 UTC is 19:00 local, clamped to 1970-01-01 19:00 local = 10:00 UTC.
    {-540, utcFileTime(1969, 12, 31, 10, 0, 0), 36000, 0x00219800},
    // 1969-12-31 20:00 UTC is already 1970-01-01 05:00 local: not clamped, 4 hours before the epoch.
    {-540, utcFileTime(1969, 12, 31, 20, 0, 0), 0xFFFFC7C0, 0x00212800},
    // 2038-01-01 03:00 UTC is still 2037-12-31 22:00 local at -5.
    {300, utcFileTime(2038, 1, 1, 3, 0, 0), 2145927600, 0x739FB000},
    // 2040-06-15 12:34:56 UTC is 07:34:56 local, clamped to 2037-12-31 07:34:56 local.
    {300, utcFileTime(2040, 6, 15, 12, 34, 56), 2145875696, 0x78CF3C5C},
    // 2021-06-01 08:30:00 UTC in Sydney and Berlin, in standard and in summer time now: the
    // DOS time takes the current offset, the Unix time stays the file's own.
    {-600, utcFileTime(2021, 6, 1, 8, 30, 0), 1622536200, 0x52C193C0},
    {-660, utcFileTime(2021, 6, 1, 8, 30, 0), 1622536200, 0x52C19BC0},
    {-60, utcFileTime(2021, 6, 1, 8, 30, 0), 1622536200, 0x52C14BC0},
    {-120, utcFileTime(2021, 6, 1, 8, 30, 0), 1622536200, 0x52C153C0},
};

TEST(LocalZone, fileTimesAreShiftedByTheCurrentOffsetAndClamped)
{
    const long bias = zoneBias();
    TempDir dir;
    int applied = 0;
    for (const ZoneRow &row : zoneRows) {
        if (row.bias != bias)
            continue;
        ++applied;
        const std::filesystem::path path = dir / ("t" + std::to_string(applied) + ".log");
        writeFile(path, textOf("t"));
        setFileTimes(path, nullptr, nullptr, &row.written);
        ASSERT_TRUE(sameTime(diskTimes(path).write, row.written)) << "the file system did not keep the time";
        const Entry entry = archivedAlone(path);
        EXPECT_EQ(entry.modification, row.unixTime) << "row " << applied;
        EXPECT_EQ(entry.dosDateTime, row.dosDateTime) << "row " << applied << std::hex << ": " << entry.dosDateTime;
    }
    if (applied == 0)
        GTEST_SKIP() << "no rows for a zone " << bias << " minutes from UTC";
}

TEST(LocalZone, sourcesWithoutTimesTakeTheCurrentLocalTime)
{
    const long bias = zoneBias();
    ZipAssemblerHandle *archive = memoryTarget();
    const int64_t before = _time64(nullptr);
    ASSERT_EQ(zipAssemblerAdd(archive, "m.log", "m", 1, ZipSourceKind::Memory), Result::Ok);
    const int64_t after = _time64(nullptr);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_GE(entry.modification, static_cast<uint32_t>(before));
    EXPECT_LE(entry.modification, static_cast<uint32_t>(after));
    EXPECT_EQ(entry.access, entry.modification);
    EXPECT_EQ(entry.creation, entry.modification);

    const __time64_t local = static_cast<__time64_t>(entry.modification) - bias * 60;
    std::tm fields{};
    ASSERT_EQ(_gmtime64_s(&fields, &local), 0);
    const uint32_t date = (fields.tm_year - 80) << 9 | (fields.tm_mon + 1) << 5 | fields.tm_mday;
    const uint32_t time = fields.tm_hour << 11 | fields.tm_min << 5 | fields.tm_sec / 2;
    EXPECT_EQ(entry.dosDateTime, date << 16 | time) << std::hex << entry.dosDateTime;
}

// Seconds since 1970 of a FILETIME, and back, worked out from its tick count.
constexpr int64_t epochTicks = 116444736000000000;

int64_t unixSeconds(const FILETIME &time)
{
    const int64_t ticks = static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
    return (ticks - epochTicks) / 10000000;
}

FILETIME fileTimeOf(int64_t unixSeconds)
{
    const uint64_t ticks = static_cast<uint64_t>(unixSeconds * 10000000 + epochTicks);
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TEST(FileTimes, creationAccessAndWriteTimesHaveTheirOwnFields)
{
    if (zoneBias() != 0)
        GTEST_SKIP() << "expected values are for UTC";
    TempDir dir;
    const std::filesystem::path path = dir / "t.log";
    writeFile(path, textOf("t"));
    // Reading a file moves its access time forward on many file systems (Linux with relatime,
    // under Wine) unless that time is already later than its write and change times.
    const int64_t tomorrow = _time64(nullptr) + 86400;
    const FILETIME creation = utcFileTime(1969, 7, 20, 20, 17, 40);
    const FILETIME access = fileTimeOf(tomorrow);
    const FILETIME write = utcFileTime(2021, 6, 1, 8, 30, 0);
    setFileTimes(path, &creation, &access, &write);
    const FILETIME reportedCreation = diskTimes(path).creation;
    const Entry entry = archivedAlone(path);
    EXPECT_EQ(entry.modification, 1622536200u);
    EXPECT_EQ(entry.access, static_cast<uint32_t>(tomorrow));
    EXPECT_EQ(entry.dosDateTime, 0x52C143C0u);
    // File systems that cannot set a creation time (Wine on Linux) report one of their own.
    if (sameTime(reportedCreation, creation))
        EXPECT_EQ(entry.creation, 73060u);
    else
        EXPECT_EQ(entry.creation, static_cast<uint32_t>(unixSeconds(reportedCreation)));
}

// Names ending in every case variant of the stored suffixes, and near misses.
std::vector<std::string> suffixCandidates()
{
    std::vector<std::string> suffixes;
    for (const std::string known : {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"}) {
        const size_t letters = known.size() - 1;
        for (unsigned mask = 0; mask < 1u << letters; ++mask) {
            std::string variant = known;
            for (size_t i = 0; i < letters; ++i) {
                char &c = variant[i + 1];
                c = static_cast<char>((mask >> i & 1) ? std::toupper(c) : std::tolower(c));
            }
            suffixes.push_back(variant);
        }
    }
    for (const char *nearMiss : {".zipx", ".zi", ".g z", ".tg", ".Z ", ".", ".z\xC3\xAF" "p", ".ZIP\xC2\xA0", ".7z", ".tar"})
        suffixes.push_back(nearMiss);
    return suffixes;
}

TEST(StoredSuffixes, agreeWithStricmpForEveryCaseOfTheKnownSuffixes)
{
    const char *stored[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    const std::vector<std::string> suffixes = suffixCandidates();
    ZipAssemblerHandle *archive = memoryTarget();
    for (const std::string &suffix : suffixes)
        ASSERT_EQ(zipAssemblerAdd(archive, ("log" + suffix).c_str(), "x", 1, ZipSourceKind::Memory), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, suffixes.size());
    for (size_t i = 0; i < suffixes.size(); ++i) {
        bool matches = false;
        for (const char *known : stored)
            matches = matches || _stricmp(suffixes[i].c_str(), known) == 0;
        EXPECT_EQ(parsed.entries[i].method, matches ? 0u : 8u) << parsed.entries[i].name;
    }
}

MEMORY_BASIC_INFORMATION regionOf(const void *address)
{
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) != sizeof region)
        throw std::runtime_error("VirtualQuery");
    return region;
}

TEST(MemoryTarget, archiveLivesInAMappedViewThatTheCloseReleases)
{
    ZipAssemblerHandle *archive = zipAssemblerCreate(nullptr, 1, ZipTargetKind::Memory);
    const Bytes data = randomBytes(200000, 31);
    ASSERT_EQ(zipAssemblerAdd(archive, "a.gz", data.data(), static_cast<uint32_t>(data.size()), ZipSourceKind::Memory),
              Result::Ok);
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(zipAssemblerMemory(archive, &bytes, &length), Result::Ok);
    EXPECT_EQ(contents(parse(Bytes(bytes, bytes + length)).entries.at(0)), data);
    const MEMORY_BASIC_INFORMATION mapped = regionOf(bytes);
    EXPECT_EQ(mapped.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(mapped.Type, static_cast<DWORD>(MEM_MAPPED));
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    EXPECT_EQ(regionOf(bytes).State, static_cast<DWORD>(MEM_FREE));
}

TEST(MemoryTarget, callerViewStaysMappedAfterTheArchiveOutgrowsIt)
{
    const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto *view = static_cast<uint8_t *>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096));
    ASSERT_NE(view, nullptr);
    ZipAssemblerHandle *archive = zipAssemblerCreate(view, 4096, ZipTargetKind::Memory);
    ASSERT_EQ(zipAssemblerAdd(archive, "dir", nullptr, 0, ZipSourceKind::Folder), Result::Ok);
    const Bytes data = randomBytes(3 * 4096, 32);
    ASSERT_EQ(zipAssemblerAdd(archive, "x.gz", data.data(), static_cast<uint32_t>(data.size()), ZipSourceKind::Memory),
              Result::Ok);
    const Bytes bytes = memoryBytes(archive);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    EXPECT_EQ(contents(parse(bytes).entries.at(1)), data);
    EXPECT_EQ(regionOf(view).State, static_cast<DWORD>(MEM_COMMIT)) << "the caller's view was unmapped";
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 51, view)) << "the folder's header went into the view";
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}

} // namespace
