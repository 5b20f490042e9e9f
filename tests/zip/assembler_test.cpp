// The archive writer through its public interface: archive layout, entry names and methods,
// sources, refusals, the memory target, the format's limits and the CRC-32.

#include "archive_view.h"
#include "assembler.h"
#include "crc32.h"
#include "zipassembler.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace archive_view;
using Result = ZipAssemblerResult;

namespace {

const Bytes endRecordAlone = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

ZipAssemblerHandle *memoryTarget(uint32_t capacity = 64)
{
    return zipAssemblerCreate(nullptr, capacity, ZipTargetKind::Memory);
}

Result addMemory(ZipAssemblerHandle *handle, const char *name, const Bytes &bytes)
{
    return zipAssemblerAdd(handle, name, bytes.data(), static_cast<uint32_t>(bytes.size()), ZipSourceKind::Memory);
}

Result addFile(ZipAssemblerHandle *handle, const char *name, const std::filesystem::path &path)
{
    return zipAssemblerAdd(handle, name, path.string().c_str(), 0, ZipSourceKind::FileName);
}

Result addFolder(ZipAssemblerHandle *handle, const char *name)
{
    return zipAssemblerAdd(handle, name, nullptr, 0, ZipSourceKind::Folder);
}

// Completes, parses and closes a memory archive.
Archive finishMemory(ZipAssemblerHandle *handle)
{
    const Bytes bytes = memoryBytes(handle);
    EXPECT_EQ(zipAssemblerClose(handle), Result::Ok);
    return parse(bytes);
}

uint32_t referenceCrc(const Bytes &bytes)
{
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

} // namespace

TEST(ArchiveLayout, closedEmptyArchiveIsTheBareEndRecord)
{
    TempDir dir;
    ZipAssemblerHandle *file = zipAssemblerCreate((dir / "empty.zip").string().c_str(), 0, ZipTargetKind::FileName);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(zipAssemblerClose(file), Result::Ok);
    EXPECT_EQ(readFile(dir / "empty.zip"), endRecordAlone);

    ZipAssemblerHandle *memory = memoryTarget();
    EXPECT_EQ(memoryBytes(memory), endRecordAlone);
    EXPECT_EQ(zipAssemblerClose(memory), Result::Ok);
}

TEST(ArchiveLayout, entriesFollowEachOtherAndTheDirectoryFollowsTheLast)
{
    TempDir dir;
    const Bytes log = logText(100000, 1), packed = randomBytes(20000, 2), ini = textOf("[LOGGING]\r\nLogging=0x0000FC03\r\n");
    writeFile(dir / "three.ini", ini);
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, "one.log", log), Result::Ok);
    ASSERT_EQ(addFolder(archive, "sub"), Result::Ok);
    ASSERT_EQ(addMemory(archive, "sub/two.gz", packed), Result::Ok);
    ASSERT_EQ(addFile(archive, "three.ini", dir / "three.ini"), Result::Ok);
    const Archive parsed = finishMemory(archive);

    ASSERT_EQ(parsed.count, 4u);
    const std::vector<std::string> names = {"one.log", "sub/", "sub/two.gz", "three.ini"};
    const std::vector<Bytes> data = {log, {}, packed, ini};
    uint32_t offset = 0, central = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const Entry &entry = parsed.entries[i];
        EXPECT_EQ(entry.name, names[i]);
        EXPECT_EQ(entry.offset, offset);
        EXPECT_EQ(contents(entry), data[i]);
        EXPECT_EQ(entry.uncompressedSize, data[i].size());
        EXPECT_EQ(entry.crc, referenceCrc(data[i]));
        offset += 30 + static_cast<uint32_t>(entry.name.size()) + 17 + entry.compressedSize;
        central += 46 + static_cast<uint32_t>(entry.name.size()) + 9;
    }
    EXPECT_EQ(parsed.centralOffset, offset);
    EXPECT_EQ(parsed.centralSize, central);
    EXPECT_LT(parsed.entries[0].compressedSize, log.size() / 3) << "the log is deflated";
}

struct MethodRow {
    const char *name;
    uint32_t method;
};

void PrintTo(const MethodRow &row, std::ostream *out)
{
    *out << '"' << row.name << "\" -> method " << row.method;
}

class EntryMethod : public testing::TestWithParam<MethodRow> {};

TEST_P(EntryMethod, suffixOfTheLastDotChoosesStoredOrDeflated)
{
    const Bytes text = textOf("hello hello hello hello");
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, GetParam().name, text), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    const Entry &entry = parsed.entries[0];
    EXPECT_EQ(entry.method, GetParam().method);
    EXPECT_EQ(entry.flags, GetParam().method == 8 ? 0x0002u : 0x0000u);
    EXPECT_EQ(contents(entry), text);
}

INSTANTIATE_TEST_SUITE_P(Names, EntryMethod,
                         testing::Values(MethodRow{"LOGS.ZIP", 0}, MethodRow{"x.tar.gz", 0}, MethodRow{"x.z", 0},
                                         MethodRow{".zip", 0}, MethodRow{"a.TGZ", 0}, MethodRow{"a.zoo", 0},
                                         MethodRow{"a.Arc", 0}, MethodRow{"a.lzh", 0}, MethodRow{"a.ARJ", 0},
                                         MethodRow{"README", 8}, MethodRow{"a.log", 8}, MethodRow{"a.zip.log", 8},
                                         MethodRow{"dir.gz/readme", 8}, MethodRow{"a.zipx", 8}, MethodRow{"a.", 8},
                                         MethodRow{"a.gz ", 8}));

TEST(EntryNames, backslashesBecomeSlashes)
{
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, "backup\\a.log", textOf("x")), Result::Ok);
    EXPECT_EQ(finishMemory(archive).entries.at(0).name, "backup/a.log");
}

TEST(EntryNames, longNamesAreCutTo260Bytes)
{
    std::string name;
    for (int i = 0; i < 300; ++i)
        name += static_cast<char>('a' + i % 26);
    name[270] = '.'; // a suffix beyond the cut does not count
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, (name + "gz").c_str(), textOf("x")), Result::Ok);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.name, name.substr(0, 260));
    EXPECT_EQ(entry.method, 8u);
}

TEST(EntryNames, folderNamesGetOneTrailingSlashEvenAtTheLengthCut)
{
    const std::string longName(300, 'f');
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addFolder(archive, "backup"), Result::Ok);
    ASSERT_EQ(addFolder(archive, "logs/"), Result::Ok);
    ASSERT_EQ(addFolder(archive, "old\\x.gz"), Result::Ok);
    ASSERT_EQ(addFolder(archive, longName.c_str()), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 4u);
    EXPECT_EQ(parsed.entries[0].name, "backup/");
    EXPECT_EQ(parsed.entries[1].name, "logs/");
    EXPECT_EQ(parsed.entries[2].name, "old/x.gz/");
    EXPECT_EQ(parsed.entries[3].name, std::string(260, 'f') + "/");
    for (const Entry &entry : parsed.entries) {
        EXPECT_EQ(entry.method, 0u);
        EXPECT_EQ(entry.flags, 0u);
        EXPECT_EQ(entry.crc, 0u);
        EXPECT_EQ(entry.compressedSize, 0u);
        EXPECT_EQ(entry.uncompressedSize, 0u);
        EXPECT_EQ(entry.externalAttributes, 0x41C00010u);
    }
}

TEST(EntryNames, emptyNameIsRefusedAndWritesNothing)
{
    ZipAssemblerHandle *archive = memoryTarget();
    EXPECT_EQ(addMemory(archive, "", textOf("x")), Result::BadArgument);
    EXPECT_EQ(addMemory(archive, nullptr, textOf("x")), Result::BadArgument);
    EXPECT_EQ(addFolder(archive, ""), Result::BadArgument);
    ASSERT_EQ(addMemory(archive, "a.log", textOf("x")), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
}

TEST(EntryNames, sameNameTwiceGivesTwoEntries)
{
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, "a.log", textOf("first")), Result::Ok);
    ASSERT_EQ(addMemory(archive, "a.log", textOf("second")), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 2u);
    EXPECT_EQ(contents(parsed.entries[0]), textOf("first"));
    EXPECT_EQ(contents(parsed.entries[1]), textOf("second"));
}

TEST(Sources, missingSourceFileLeavesNoTraceAndTheNextAddSucceeds)
{
    TempDir dir;
    writeFile(dir / "a.log", textOf("present"));
    ZipAssemblerHandle *archive = memoryTarget();
    EXPECT_EQ(addFile(archive, "gone.log", dir / "gone.log"), Result::OpenFailed);
    ASSERT_EQ(addFile(archive, "a.log", dir / "a.log"), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
    EXPECT_EQ(contents(parsed.entries[0]), textOf("present"));
}

TEST(Sources, memoryBlockIsCopiedWithoutFileAttributes)
{
    Bytes block = logText(5000, 3);
    const Bytes original = block;
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, "block.txt", block), Result::Ok);
    block.assign(block.size(), 0); // the archive holds its own copy
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(entry.externalAttributes, 0x80000000u);
    EXPECT_EQ(contents(entry), original);
}

TEST(Sources, streamIsReadFromItsStartAndLeftOpenForTheCaller)
{
    TempDir dir;
    const Bytes text = logText(3000, 4);
    writeFile(dir / "s.log", text);
    std::FILE *stream = std::fopen((dir / "s.log").string().c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    std::fseek(stream, 100, SEEK_SET);
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(zipAssemblerAdd(archive, "s.log", stream, 0, ZipSourceKind::Stream), Result::Ok);
    EXPECT_EQ(std::fgetc(stream), EOF) << "the stream stays open, read to its end";
    EXPECT_EQ(std::fclose(stream), 0);
    const Entry entry = finishMemory(archive).entries.at(0);
    EXPECT_EQ(contents(entry), text);
    EXPECT_EQ(entry.externalAttributes & 0xFFFF0000, 0x81800000u);
}

// A reader handing over a block in pieces of at most 1000 bytes, each byte raised by one, and
// able to start over as often as `rewinds` allows.
struct Filter {
    const Bytes &block;
    size_t at = 0;
    int rewinds = 1;

    static uint32_t read(void *context, uint8_t *bytes, uint32_t maxBytes)
    {
        auto &self = *static_cast<Filter *>(context);
        const uint32_t count = uint32_t(std::min<size_t>({maxBytes, 1000, self.block.size() - self.at}));
        for (uint32_t i = 0; i < count; ++i)
            bytes[i] = uint8_t(self.block[self.at++] + 1);
        return count;
    }
    static bool rewind(void *context)
    {
        auto &self = *static_cast<Filter *>(context);
        self.at = 0;
        return self.rewinds-- > 0;
    }
};

TEST(Sources, readerIsReadFromItsStartToItsEndAndARefusedRewindLeavesNoTrace)
{
    const Bytes block = logText(70'000, 5);
    Bytes raised = block;
    for (uint8_t &byte : raised)
        ++byte;
    Filter filter{block, 500}; // read from its start all the same
    ZipAssemblerReader reader{Filter::read, Filter::rewind, &filter, nullptr, 0};
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(zipAssemblerAdd(archive, "r.log", &reader, 0, ZipSourceKind::Reader), Result::Ok);
    EXPECT_EQ(zipAssemblerAdd(archive, "again.log", &reader, 0, ZipSourceKind::Reader), Result::OpenFailed);
    // Without a way back, it is read from where it stands.
    Filter once{block};
    ZipAssemblerReader onward{Filter::read, nullptr, &once, nullptr, 0};
    ASSERT_EQ(zipAssemblerAdd(archive, "once.log", &onward, 0, ZipSourceKind::Reader), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 2u);
    EXPECT_EQ(contents(parsed.entries[0]), raised);
    EXPECT_EQ(parsed.entries[0].externalAttributes, 0x80000000u) << "no file, no attributes of one";
    EXPECT_EQ(parsed.entries[1].name, "once.log");
    EXPECT_EQ(contents(parsed.entries[1]), raised);
}

struct BadSourceRow {
    ZipSourceKind kind;
    bool withSource;
    uint32_t length;
};

class BadSource : public testing::TestWithParam<BadSourceRow> {};

TEST_P(BadSource, isRefusedAsBadArgumentWithNothingWritten)
{
    const char data[] = "data";
    ZipAssemblerHandle *archive = memoryTarget();
    EXPECT_EQ(zipAssemblerAdd(archive, "x.log", GetParam().withSource ? data : nullptr, GetParam().length,
                              GetParam().kind),
              Result::BadArgument);
    EXPECT_EQ(memoryBytes(archive), endRecordAlone);
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BadSource,
                         testing::Values(BadSourceRow{ZipSourceKind::FileName, false, 0},
                                         BadSourceRow{ZipSourceKind::Stream, false, 0},
                                         BadSourceRow{ZipSourceKind::Memory, false, 4},
                                         BadSourceRow{ZipSourceKind::Memory, true, 0},
                                         BadSourceRow{ZipSourceKind::Reader, false, 0},
                                         BadSourceRow{static_cast<ZipSourceKind>(9), true, 4}));

TEST(Handles, nullHandleIsBadArgumentAndForeignHandleIsWrongHandle)
{
    const Bytes data = textOf("x");
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(addMemory(nullptr, "x.log", data), Result::BadArgument);
    EXPECT_EQ(zipAssemblerMemory(nullptr, &bytes, &length), Result::BadArgument);
    EXPECT_EQ(zipAssemblerClose(nullptr), Result::BadArgument);

    ZipAssemblerHandle foreign;
    foreign.kind = 7;
    EXPECT_EQ(addMemory(&foreign, "x.log", data), Result::WrongHandle);
    EXPECT_EQ(zipAssemblerMemory(&foreign, &bytes, &length), Result::WrongHandle);
    EXPECT_EQ(zipAssemblerClose(&foreign), Result::WrongHandle) << "and leaves the foreign object alone";
}

TEST(Handles, createFailsWithoutATarget)
{
    TempDir dir;
    EXPECT_EQ(zipAssemblerCreate(nullptr, 0, ZipTargetKind::Memory), nullptr);
    EXPECT_EQ(zipAssemblerCreate(nullptr, 0, ZipTargetKind::FileName), nullptr);
    EXPECT_EQ(zipAssemblerCreate((dir / "no/such/folder.zip").string().c_str(), 0, ZipTargetKind::FileName), nullptr);
    EXPECT_EQ(zipAssemblerCreate(nullptr, 0, ZipTargetKind::Stream), nullptr);
    EXPECT_EQ(zipAssemblerCreate((dir / "x.zip").string().c_str(), 0, static_cast<ZipTargetKind>(9)), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.zip"));
}

TEST(MemoryTarget, archiveEqualsTheFileTargetsBytes)
{
    TempDir dir;
    writeFile(dir / "big.log", logText(300000, 5));
    writeFile(dir / "pack.gz", randomBytes(40000, 6));
    writeFile(dir / "empty.log", {});
    const auto build = [&](ZipAssemblerHandle *archive) {
        EXPECT_EQ(addFile(archive, "big.log", dir / "big.log"), Result::Ok);
        EXPECT_EQ(addFile(archive, "pack.gz", dir / "pack.gz"), Result::Ok);
        EXPECT_EQ(addFile(archive, "empty.log", dir / "empty.log"), Result::Ok);
    };
    ZipAssemblerHandle *file = zipAssemblerCreate((dir / "out.zip").string().c_str(), 0, ZipTargetKind::FileName);
    build(file);
    ASSERT_EQ(zipAssemblerClose(file), Result::Ok);
    const Bytes fromFile = withoutAccessTimes(readFile(dir / "out.zip"));
    ASSERT_EQ(parse(fromFile).count, 3u);

    Bytes callerBuffer(100);
    ZipAssemblerHandle *inCallerBuffer = zipAssemblerCreate(callerBuffer.data(), 100, ZipTargetKind::Memory);
    build(inCallerBuffer);
    EXPECT_EQ(withoutAccessTimes(memoryBytes(inCallerBuffer)), fromFile);
    EXPECT_EQ(zipAssemblerClose(inCallerBuffer), Result::Ok);

    ZipAssemblerHandle *growing = memoryTarget(1);
    build(growing);
    EXPECT_EQ(withoutAccessTimes(memoryBytes(growing)), fromFile);
    EXPECT_EQ(zipAssemblerClose(growing), Result::Ok);
}

// A stream target gets the file target's bytes, complete on the disk at the close, and stays
// open for its owner, who decides what becomes of the file.
TEST(StreamTarget, archiveEqualsTheFileTargetsBytesAndTheStreamStaysOpen)
{
    TempDir dir;
    writeFile(dir / "big.log", logText(300000, 5));
    writeFile(dir / "empty.log", {});
    const auto build = [&](ZipAssemblerHandle *archive) {
        EXPECT_EQ(addFile(archive, "big.log", dir / "big.log"), Result::Ok);
        EXPECT_EQ(addFile(archive, "empty.log", dir / "empty.log"), Result::Ok);
        EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
    };
    build(zipAssemblerCreate((dir / "out.zip").string().c_str(), 0, ZipTargetKind::FileName));
    std::FILE *stream = std::fopen((dir / "stream.zip").string().c_str(), "w+b");
    ASSERT_NE(stream, nullptr);
    ZipAssemblerHandle *archive = zipAssemblerCreate(stream, 0, ZipTargetKind::Stream);
    ASSERT_NE(archive, nullptr);
    build(archive);
    EXPECT_EQ(withoutAccessTimes(readFile(dir / "stream.zip")), withoutAccessTimes(readFile(dir / "out.zip")));
    // Used after a close of the writer's own, the stream would fail these (and the sanitizers).
    EXPECT_EQ(std::fseek(stream, 0, SEEK_END), 0);
    EXPECT_EQ(std::ftell(stream), long(readFile(dir / "out.zip").size()));
    EXPECT_EQ(std::fclose(stream), 0);
}

TEST(MemoryTarget, callerBufferIsFilledInPlaceThenLeftToTheCaller)
{
    Bytes callerBuffer(200, 0xEE);
    ZipAssemblerHandle *archive = zipAssemblerCreate(callerBuffer.data(), 200, ZipTargetKind::Memory);
    ASSERT_EQ(addFolder(archive, "dir"), Result::Ok); // 51 bytes fit the buffer
    ASSERT_EQ(addMemory(archive, "x.log", logText(50000, 7)), Result::Ok);
    const Bytes bytes = memoryBytes(archive);
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
    EXPECT_EQ(parse(bytes).count, 2u);
    // The header went into the caller's buffer before the archive outgrew it; the buffer stays
    // the caller's, still readable and writable after the close.
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 51, callerBuffer.begin()));
    EXPECT_EQ(callerBuffer[199], 0xEE);
    std::fill(callerBuffer.begin(), callerBuffer.end(), 0);
}

TEST(MemoryTarget, storedEntryEndingExactlyAtTheGrownBlockSucceeds)
{
    // The 51-byte header fits 100 bytes; the 16,384 data bytes grow the block to exactly
    // 16,435 bytes, and completing the header must seek back to that very end.
    Bytes callerBuffer(100);
    ZipAssemblerHandle *archive = zipAssemblerCreate(callerBuffer.data(), 100, ZipTargetKind::Memory);
    const Bytes data = randomBytes(16384, 8);
    ASSERT_EQ(addMemory(archive, "x.gz", data), Result::Ok);
    ASSERT_EQ(addMemory(archive, "y.gz", data), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 2u);
    EXPECT_EQ(contents(parsed.entries[1]), data);
}

TEST(MemoryTarget, completedArchiveRefusesFurtherAdds)
{
    ZipAssemblerHandle *archive = memoryTarget();
    ASSERT_EQ(addMemory(archive, "a.log", textOf("a")), Result::Ok);
    const Bytes first = memoryBytes(archive);
    EXPECT_EQ(addMemory(archive, "b.log", textOf("b")), Result::AlreadyClosed);
    EXPECT_EQ(memoryBytes(archive), first);
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
}

TEST(MemoryTarget, queryOnAFileTargetIsBadArgument)
{
    TempDir dir;
    ZipAssemblerHandle *archive = zipAssemblerCreate((dir / "x.zip").string().c_str(), 0, ZipTargetKind::FileName);
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(zipAssemblerMemory(archive, &bytes, &length), Result::BadArgument);
    EXPECT_EQ(addMemory(archive, "a.log", textOf("a")), Result::Ok);
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
    EXPECT_EQ(parse(readFile(dir / "x.zip")).count, 1u);
}

TEST(Limits, entriesPastThe65535thAreCountedInTheZip64EndRecord)
{
    for (const uint32_t count : {65535u, 65536u}) {
        ZipAssemblerHandle *archive = memoryTarget(1 << 20);
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(addFolder(archive, "d"), Result::Ok) << i;
        const Bytes bytes = memoryBytes(archive);
        EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
        const bool zip64 = count > 0xFFFF;
        EXPECT_EQ(bytes.size(), count * (30 + 2 + 17 + 46 + 2 + 9) + 22 + (zip64 ? 56 + 20 : 0u));
        const Archive parsed = parse(bytes);
        EXPECT_EQ(parsed.count, count);
        EXPECT_EQ(parsed.zip64End, zip64);
        EXPECT_EQ(le16(bytes, bytes.size() - 12), zip64 ? 0xFFFFu : count);
    }
}

// The format's 32-bit ceiling, lowered so that tests reach it with kilobytes.
class LoweredLimit : public testing::Test {
protected:
    void SetUp() override
    {
        zip::WriterOptions options;
        options.sizeLimit = 2000;
        archive = zip::createWriter(nullptr, 64, ZipTargetKind::Memory, options);
    }
    Bytes bytesSoFar() { return memoryBytes(archive); }
    ZipAssemblerHandle *archive = nullptr;
};

TEST_F(LoweredLimit, sourceTooLargeForTheMemoryArchiveIsRefusedBeforeWriting)
{
    EXPECT_EQ(addMemory(archive, "big.gz", Bytes(2000)), Result::CapacityTooSmall);
    EXPECT_EQ(addMemory(archive, "big.gz", Bytes(1999)), Result::CapacityTooSmall);
    ASSERT_EQ(addMemory(archive, "small.gz", Bytes(100)), Result::Ok);
    const Archive parsed = finishMemory(archive);
    ASSERT_EQ(parsed.count, 1u);
    EXPECT_EQ(parsed.entries[0].offset, 0u);
}

TEST_F(LoweredLimit, entryThatWouldOverfillTheArchiveIsRefusedAndSmallerOnesFollow)
{
    // Each entry takes 51 + 700 bytes and 59 of directory: the third would end at 2452.
    ASSERT_EQ(addMemory(archive, "a.gz", Bytes(700, 'a')), Result::Ok);
    ASSERT_EQ(addMemory(archive, "b.gz", Bytes(700, 'b')), Result::Ok);
    EXPECT_EQ(addMemory(archive, "c.gz", Bytes(700, 'c')), Result::CapacityTooSmall);
    ASSERT_EQ(addFolder(archive, "d"), Result::Ok);
    const Bytes bytes = bytesSoFar();
    EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
    EXPECT_LE(bytes.size(), 2000u);
    const Archive parsed = parse(bytes);
    ASSERT_EQ(parsed.count, 3u);
    EXPECT_EQ(parsed.entries[2].offset, 2 * (51 + 700u));
    EXPECT_EQ(contents(parsed.entries[1]), Bytes(700, 'b'));
}

TEST_F(LoweredLimit, deflatedEntryIsBoundedByItsWorstCaseSize)
{
    // 1,700 bytes fit stored (22 + 51 + 1700 + 59), but not with room for deflate's worst case.
    const Bytes text = logText(1700, 9);
    EXPECT_EQ(addMemory(archive, "a.log", text), Result::CapacityTooSmall);
    ASSERT_EQ(addMemory(archive, "a.gz", text), Result::Ok);
    EXPECT_EQ(contents(finishMemory(archive).entries.at(0)), text);
}

TEST(Crc32, knownStringsGiveTheirStandardValues)
{
    const std::pair<std::string, uint32_t> rows[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
        {std::string(32, '\0'), 0x190A55AD},
    };
    for (const auto &[text, crc] : rows)
        EXPECT_EQ(zip::crc32Update(0, reinterpret_cast<const uint8_t *>(text.data()), text.size()), crc) << text;
}

TEST(Crc32, nullBufferGivesZero)
{
    EXPECT_EQ(zip::crc32Update(0x12345678, nullptr, 10), 0u);
}

TEST(Crc32, updatesChainAtEverySplit)
{
    const Bytes bytes = randomBytes(100, 10);
    const uint32_t whole = zip::crc32Update(0, bytes.data(), bytes.size());
    EXPECT_EQ(whole, referenceCrc(bytes));
    for (size_t split = 0; split <= bytes.size(); ++split) {
        const uint32_t head = zip::crc32Update(0, bytes.data(), split);
        EXPECT_EQ(zip::crc32Update(head, bytes.data() + split, bytes.size() - split), whole) << split;
    }
}

TEST(Crc32, everyLengthAroundTheEightByteStepMatchesAReferenceReader)
{
    const Bytes bytes = randomBytes(40, 11);
    for (size_t length = 0; length <= bytes.size(); ++length) {
        const Bytes prefix(bytes.begin(), bytes.begin() + length);
        EXPECT_EQ(zip::crc32Update(0, prefix.data(), prefix.size()), referenceCrc(prefix)) << length;
    }
}
