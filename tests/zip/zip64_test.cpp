// ZIP64 records: written exactly where a size, an offset, the count or the directory passes
// what the 32-bit fields hold, and nowhere else; entries that outgrow a header without them are
// written again with them, or cut off. The limits are lowered so that kilobytes reach them.

#include "archive_view.h"
#include "assembler.h"
#include "zipassembler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace archive_view;
using Result = ZipAssemblerResult;

namespace {

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The archive with the bytes of its times set to zero: `ranges` are [from, to) pairs.
Bytes withoutTimes(Bytes bytes, std::initializer_list<std::pair<size_t, size_t>> ranges)
{
    for (const auto &[from, to] : ranges)
        std::fill(bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(to), 0);
    return bytes;
}

ZipAssemblerHandle *fileTarget(const std::filesystem::path &path, uint32_t sizeLimit, uint32_t countLimit = 0xFFFF)
{
    zip::WriterOptions options;
    options.sizeLimit = sizeLimit;
    options.countLimit = countLimit;
    return zip::createWriter(path.string().c_str(), 0, ZipTargetKind::FileName, options);
}

Result addMemory(ZipAssemblerHandle *handle, const char *name, const Bytes &bytes)
{
    return zipAssemblerAdd(handle, name, bytes.data(), static_cast<uint32_t>(bytes.size()), ZipSourceKind::Memory);
}

Result addFile(ZipAssemblerHandle *handle, const char *name, const std::filesystem::path &path)
{
    return zipAssemblerAdd(handle, name, path.string().c_str(), 0, ZipSourceKind::FileName);
}

bool installed(const char *tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Independent readers test every entry of the archive: Python's zipfile (CRC and sizes of each
// entry through its ZIP64 fields) and unzip. Where one is missing it is skipped, unless the
// suite's set-up asks for all of them.
void expectReadersAccept(const std::filesystem::path &archive)
{
    const std::string path = "'" + archive.string() + "'";
    const std::pair<const char *, std::string> readers[] = {
        {"python3", "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                    "sys.exit(z.testzip() is not None)' " + path},
        {"unzip", "unzip -tq " + path + " >/dev/null"},
    };
    for (const auto &[tool, command] : readers) {
        if (!installed(tool)) {
            EXPECT_EQ(std::getenv("ZEL_REQUIRE_READERS"), nullptr) << tool << " is not installed";
            continue;
        }
        EXPECT_EQ(std::system(command.c_str()), 0) << tool << " on " << archive;
    }
}

// A reader over a block of bytes, which can start over `rewinds` times.
struct Block {
    Bytes bytes;
    int rewinds = 1000;
    size_t at = 0;

    static uint32_t read(void *context, uint8_t *out, uint32_t maxBytes)
    {
        auto &self = *static_cast<Block *>(context);
        const uint32_t count = static_cast<uint32_t>(std::min<size_t>(maxBytes, self.bytes.size() - self.at));
        std::copy_n(self.bytes.begin() + std::ptrdiff_t(self.at), count, out);
        self.at += count;
        return count;
    }
    static bool rewind(void *context)
    {
        auto &self = *static_cast<Block *>(context);
        self.at = 0;
        return self.rewinds-- > 0;
    }
};

} // namespace

// An entry of 120 bytes and the offset of the next one past a limit of 100, and so the
// directory's offset and size: every ZIP64 record, field by field.
TEST(Zip64Records, entryOffsetAndDirectoryPastTheLimitHaveTheirFieldsAndRecords)
{
    TempDir dir;
    ZipAssemblerHandle *archive = fileTarget(dir / "a.zip", 100);
    ASSERT_EQ(addMemory(archive, "a.gz", Bytes(120, 'a')), Result::Ok);
    ASSERT_EQ(addMemory(archive, "b.gz", textOf("hi")), Result::Ok);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);

    const Bytes times12(12), times4(4), time4(4);
    const Bytes expected = join({
        // local header of a.gz at 0: version 4.5, both sizes marked and in its ZIP64 field
        {0x50, 0x4B, 0x03, 0x04, 45, 0, 0, 0, 0, 0}, time4, {0x47, 0x74, 0x98, 0xD9},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 37, 0, 'a', '.', 'g', 'z'},
        {0x01, 0, 16, 0, 120, 0, 0, 0, 0, 0, 0, 0, 120, 0, 0, 0, 0, 0, 0, 0},
        {0x55, 0x54, 13, 0, 7}, times12, Bytes(120, 'a'),
        // local header of b.gz at 191: version 4.5 for its offset, which only the central
        // header holds; no ZIP64 field of its own
        {0x50, 0x4B, 0x03, 0x04, 45, 0, 0, 0, 0, 0}, time4, {0xAC, 0x2A, 0x93, 0xD8},
        {2, 0, 0, 0, 2, 0, 0, 0, 4, 0, 17, 0, 'b', '.', 'g', 'z'}, {0x55, 0x54, 13, 0, 7}, times12, {'h', 'i'},
        // central header of a.gz at 244: both sizes in its ZIP64 field, the offset 0 in place
        {0x50, 0x4B, 0x01, 0x02, 0x17, 0x0B, 45, 0, 0, 0, 0, 0}, times4, {0x47, 0x74, 0x98, 0xD9},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 29, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80},
        {0, 0, 0, 0, 'a', '.', 'g', 'z'}, {0x01, 0, 16, 0, 120, 0, 0, 0, 0, 0, 0, 0, 120, 0, 0, 0, 0, 0, 0, 0},
        {0x55, 0x54, 5, 0, 7}, time4,
        // central header of b.gz at 323: only the offset, 191, in its ZIP64 field
        {0x50, 0x4B, 0x01, 0x02, 0x17, 0x0B, 45, 0, 0, 0, 0, 0}, times4, {0xAC, 0x2A, 0x93, 0xD8},
        {2, 0, 0, 0, 2, 0, 0, 0, 4, 0, 21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80},
        {0xFF, 0xFF, 0xFF, 0xFF, 'b', '.', 'g', 'z'}, {0x01, 0, 8, 0, 191, 0, 0, 0, 0, 0, 0, 0},
        {0x55, 0x54, 5, 0, 7}, time4,
        // ZIP64 end record at 394: 44 bytes follow its size; 2 entries, 150 bytes from 244
        {0x50, 0x4B, 0x06, 0x06, 44, 0, 0, 0, 0, 0, 0, 0, 0x17, 0x0B, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 150, 0, 0, 0, 0, 0, 0, 0, 244, 0, 0, 0, 0, 0, 0, 0},
        // its locator: the record at 394 (0x18A), one disk
        {0x50, 0x4B, 0x06, 0x07, 0, 0, 0, 0, 0x8A, 0x01, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        // end record: the count in place, the directory's size and offset marked
        {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 2, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},
    });
    const Bytes written = readFile(dir / "a.zip");
    ASSERT_EQ(written.size(), 492u);
    EXPECT_EQ(withoutTimes(written, {{10, 14}, {59, 71}, {201, 205}, {230, 242}, {256, 260}, {319, 323},
                                     {335, 339}, {390, 394}}),
              expected);
    expectReadersAccept(dir / "a.zip");
}

struct EdgeRow {
    const char *name;
    std::vector<size_t> sizes; // of stored entries "0.gz", "1.gz", ...
    uint32_t countLimit;
    std::vector<bool> zip64Local; // per entry
    std::vector<bool> offsetMarked;
    bool zip64End;
};

void PrintTo(const EdgeRow &row, std::ostream *out)
{
    *out << row.name;
}

class Zip64Edges : public testing::TestWithParam<EdgeRow> {};

// With a limit of 1,000: each entry takes 51 bytes of header and its size, each central header 59.
TEST_P(Zip64Edges, recordsAppearOnlyFromTheLimitOn)
{
    const EdgeRow &row = GetParam();
    TempDir dir;
    std::vector<std::filesystem::path> sources;
    for (size_t i = 0; i < row.sizes.size(); ++i) {
        sources.push_back(dir / std::to_string(i));
        writeFile(sources.back(), randomBytes(row.sizes[i], uint32_t(i)));
    }
    const auto write = [&](const std::filesystem::path &path, uint32_t sizeLimit, uint32_t countLimit) {
        ZipAssemblerHandle *archive = fileTarget(path, sizeLimit, countLimit);
        for (size_t i = 0; i < sources.size(); ++i)
            EXPECT_EQ(addFile(archive, (std::to_string(i) + ".gz").c_str(), sources[i]), Result::Ok) << i;
        EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
        return readFile(path);
    };
    const Bytes lowered = write(dir / "lowered.zip", 1000, row.countLimit);
    const Archive parsed = parse(lowered);
    ASSERT_EQ(parsed.count, row.sizes.size());
    EXPECT_EQ(parsed.zip64End, row.zip64End);
    for (size_t i = 0; i < row.sizes.size(); ++i) {
        const Entry &entry = parsed.entries[i];
        EXPECT_EQ(entry.zip64Local, row.zip64Local[i]) << i;
        EXPECT_EQ(entry.offset >= 1000, row.offsetMarked[i]) << i;
        EXPECT_EQ(entry.data, readFile(sources[i])) << i;
    }
    // Without a ZIP64 record the archive is the one the full limits write.
    const bool zip64 = row.zip64End || std::count(row.zip64Local.begin(), row.zip64Local.end(), true) > 0 ||
                       std::count(row.offsetMarked.begin(), row.offsetMarked.end(), true) > 0;
    if (!zip64) {
        EXPECT_EQ(withoutAccessTimes(lowered), withoutAccessTimes(write(dir / "full.zip", 0xFFFFFFFF, 0xFFFF)));
    }
    expectReadersAccept(dir / "lowered.zip");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Zip64Edges,
    testing::Values(EdgeRow{"nothingPasses", {900}, 0xFFFF, {false}, {false}, false},
                    EdgeRow{"directoryJustBelow", {948}, 0xFFFF, {false}, {false}, false},  // at 999
                    EdgeRow{"directoryAtTheLimit", {949}, 0xFFFF, {false}, {false}, true}, // at 1000
                    EdgeRow{"sizeJustBelow", {999}, 0xFFFF, {false}, {false}, true},
                    EdgeRow{"sizeAtTheLimit", {1000}, 0xFFFF, {true}, {false}, true},
                    EdgeRow{"offsetJustBelow", {948, 0}, 0xFFFF, {false, false}, {false, false}, true}, // at 999
                    EdgeRow{"offsetAtTheLimit", {949, 0}, 0xFFFF, {false, false}, {false, true}, true},
                    EdgeRow{"countAtTheLimit", {1, 1, 1}, 3, {false, false, false}, {false, false, false}, false},
                    EdgeRow{"countPastTheLimit", {1, 1, 1, 1}, 3, {false, false, false, false},
                            {false, false, false, false}, true}),
    [](const testing::TestParamInfo<EdgeRow> &info) { return std::string(info.param.name); });

TEST(Zip64Records, countPastTheLimitMarksTheCountAndLeavesTheDirectoryFieldsInPlace)
{
    TempDir dir;
    ZipAssemblerHandle *archive = fileTarget(dir / "a.zip", 0xFFFFFFFF, 2);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(zipAssemblerAdd(archive, "d", nullptr, 0, ZipSourceKind::Folder), Result::Ok);
    ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
    // Three folders "d/": 49 bytes each, then 3 central headers of 57 bytes from 147.
    const Bytes written = readFile(dir / "a.zip");
    ASSERT_EQ(written.size(), 3 * 49 + 3 * 57 + 56 + 20 + 22u);
    const Bytes ends(written.end() - 98, written.end());
    const Bytes expected = {
        0x50, 0x4B, 0x06, 0x06, 44, 0, 0, 0, 0, 0, 0, 0, 0x17, 0x0B, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 171, 0, 0, 0, 0, 0, 0, 0, 147, 0, 0, 0, 0, 0, 0, 0,
        0x50, 0x4B, 0x06, 0x07, 0, 0, 0, 0, 0x3E, 0x01, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, // record at 318
        0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 171, 0, 0, 0, 147, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(ends, expected);
    EXPECT_EQ(written[147 + 6], 20) << "folders need no version 4.5";
    expectReadersAccept(dir / "a.zip");
}

// Sources whose size is not known before: a reader that can start over, and a stream whose
// deflated data outgrows the limit while its own size stays below it. Each is written again
// with the ZIP64 local header, into exactly the archive that knowing the size would have made.
struct RedoRow {
    const char *name;
    const char *entryName;
    Bytes data;
    bool stream; // as an open disk file; else a reader
};

void PrintTo(const RedoRow &row, std::ostream *out)
{
    *out << row.name;
}

class Zip64Redo : public testing::TestWithParam<RedoRow> {};

TEST_P(Zip64Redo, entryThatOutgrowsItsHeaderIsWrittenAgainWithTheZip64One)
{
    const RedoRow &row = GetParam();
    TempDir dir;
    writeFile(dir / "source", row.data);
    std::FILE *file = std::fopen((dir / "source").string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    const auto write = [&](const std::string &name, uint64_t declared) {
        ZipAssemblerHandle *archive = fileTarget(dir / name, 5000);
        EXPECT_EQ(addMemory(archive, "first.log", textOf("first")), Result::Ok);
        Block block{row.data};
        const ZipAssemblerReader reader{Block::read, Block::rewind, &block, file, declared};
        EXPECT_EQ(row.stream ? zipAssemblerAdd(archive, row.entryName, file, 0, ZipSourceKind::Stream)
                             : zipAssemblerAdd(archive, row.entryName, &reader, 0, ZipSourceKind::Reader),
                  Result::Ok);
        EXPECT_EQ(addMemory(archive, "last.log", textOf("last")), Result::Ok);
        EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
        return readFile(dir / name);
    };
    const Bytes redone = write("redone.zip", 0);
    const Archive parsed = parse(redone);
    ASSERT_EQ(parsed.count, 3u);
    EXPECT_TRUE(parsed.entries[1].zip64Local);
    EXPECT_EQ(contents(parsed.entries[1]), row.data);
    EXPECT_EQ(contents(parsed.entries[2]), textOf("last"));
    if (!row.stream) {
        // The memory entries' times are the clock's: only the middle entry is compared.
        const Archive known = parse(write("known.zip", row.data.size()));
        EXPECT_EQ(known.entries[1].data, parsed.entries[1].data);
        EXPECT_EQ(known.entries[1].offset, parsed.entries[1].offset);
    }
    expectReadersAccept(dir / "redone.zip");
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Zip64Redo,
    testing::Values(RedoRow{"deflatedReader", "r.log", logText(12000, 1), false},
                    RedoRow{"storedReader", "r.gz", logText(5000, 2), false},
                    // Stored blocks add 5 bytes to 4,998 random ones: the data reaches 5,003.
                    RedoRow{"streamWhoseDataOutgrows", "s.bin", randomBytes(4998, 3), true},
                    RedoRow{"readerWhoseDataOutgrows", "r.bin", randomBytes(4998, 4), false},
                    // Both sizes past the limit and unequal: the central ZIP64 field's order.
                    RedoRow{"bothSizesPast", "n.bin", randomBytes(6000, 8), false}),
    [](const testing::TestParamInfo<RedoRow> &info) { return std::string(info.param.name); });

// A source that cannot start over fails its add, and the archive is the one without it.
TEST(Zip64Redo, sourceThatCannotStartOverLeavesNoByteOfItsEntry)
{
    TempDir dir;
    const auto write = [&](const std::string &name, const std::function<void(ZipAssemblerHandle *)> &middle) {
        ZipAssemblerHandle *archive = fileTarget(dir / name, 5000);
        EXPECT_EQ(zipAssemblerAdd(archive, "d", nullptr, 0, ZipSourceKind::Folder), Result::Ok);
        middle(archive);
        EXPECT_EQ(zipAssemblerAdd(archive, "e", nullptr, 0, ZipSourceKind::Folder), Result::Ok);
        EXPECT_EQ(zipAssemblerClose(archive), Result::Ok);
        return readFile(dir / name);
    };
    const Bytes without = write("without.zip", [](ZipAssemblerHandle *) {});
    const Archive reference = parse(without);
    for (const char *entryName : {"once.log", "once.gz", "once.bin"}) {
        Block block{std::string(entryName) == "once.bin" ? randomBytes(4998, 5) : logText(20000, 6), 0};
        const ZipAssemblerReader reader{Block::read, nullptr, &block, nullptr, 0};
        const Bytes with = write(entryName, [&](ZipAssemblerHandle *archive) {
            EXPECT_EQ(zipAssemblerAdd(archive, entryName, &reader, 0, ZipSourceKind::Reader), Result::OpenFailed);
        });
        // Folders take the clock's time: the layout and data are compared, not the times.
        const Archive parsed = parse(with);
        ASSERT_EQ(with.size(), without.size()) << entryName;
        ASSERT_EQ(parsed.count, 2u);
        EXPECT_EQ(parsed.entries[1].offset, reference.entries[1].offset) << entryName;
    }
}

// A declared size at the limit or past it gives the ZIP64 local header from the start, so a
// reader that cannot start over is read once, whole; a smaller one keeps the plain header.
TEST(Zip64Redo, declaredSizeChoosesTheHeaderBeforeReading)
{
    TempDir dir;
    const Bytes data = logText(20000, 7);
    for (const uint64_t declared : {uint64_t{5000}, uint64_t{20000}, uint64_t{1} << 40}) {
        ZipAssemblerHandle *archive = fileTarget(dir / "a.zip", 5000);
        Block block{data, 0};
        const ZipAssemblerReader reader{Block::read, nullptr, &block, nullptr, declared};
        EXPECT_EQ(zipAssemblerAdd(archive, "once.log", &reader, 0, ZipSourceKind::Reader), Result::Ok) << declared;
        Block small{textOf("small"), 0};
        const ZipAssemblerReader plain{Block::read, nullptr, &small, nullptr, 4999};
        EXPECT_EQ(zipAssemblerAdd(archive, "small.log", &plain, 0, ZipSourceKind::Reader), Result::Ok);
        ASSERT_EQ(zipAssemblerClose(archive), Result::Ok);
        const Archive parsed = parse(readFile(dir / "a.zip"));
        ASSERT_EQ(parsed.count, 2u);
        EXPECT_TRUE(parsed.entries[0].zip64Local);
        EXPECT_EQ(contents(parsed.entries[0]), data);
        EXPECT_FALSE(parsed.entries[1].zip64Local);
        EXPECT_EQ(contents(parsed.entries[1]), textOf("small"));
    }
}
