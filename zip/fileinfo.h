#pragma once
// The archive writer's view of the platform: opening and positioning files, what a source file
// is and when it was written, the current time, and anonymous memory for memory archives.
// fileinfo_posix.cpp and fileinfo_win.cpp implement the platform calls; fileinfo.cpp holds the
// time and header rules both share.

#include <cstdint>
#include <cstdio>
#include <string>

namespace zip {

// Wall-clock fields of a moment in the local time zone.
struct CalendarTime {
    int year, month, day, hour, minute, second;
};

// An entry's times: DOS date in the upper and DOS time in the lower half, and Unix seconds.
struct EntryTimes {
    uint32_t dosDateTime = 0;
    int64_t modification = 0, access = 0, creation = 0;
};

// MS-DOS attribute bits of a source file.
constexpr uint32_t readOnlyAttribute = 0x01;
constexpr uint32_t hiddenAttribute = 0x02;
constexpr uint32_t systemAttribute = 0x04;
constexpr uint32_t directoryAttribute = 0x10;
constexpr uint32_t archiveAttribute = 0x20;

struct DiskFileInfo {
    uint32_t attributes = 0; // MS-DOS attribute bits
    uint64_t size = 0;
    EntryTimes times;        // from the last-write, last-access and creation times
};

enum class SourceType {
    DiskFile,   // a regular file: DiskFileInfo is filled in
    Device,     // a pipe or device: no size or times of its own
    Unreadable, // a folder, or its information cannot be read
};

// Opens the file at the UTF-8 `path` for reading, without waiting for a named pipe's writer.
std::FILE *openSourceFile(const char *path);

// Creates the regular file at the UTF-8 `path`, or empties the one there, open for reading and
// writing; a device there is opened as it is. A link there is never followed, and a pipe or
// folder of that name is left alone: null for those, as on any other failure. An archive often
// lies in a folder that other users can write to, where a link of its name could otherwise aim
// the archive at a file of their choice.
std::FILE *createFile(const char *path);

// Creates a new file named `prefix` followed by a number, open for reading and writing, that
// disappears when it is closed or the program ends, whatever way it ends; null on failure.
std::FILE *openScratchFile(const std::string &prefix);

// The system's folder for temporary files, ending with a separator.
std::string scratchFolder();

// Moves an open file to `offset` bytes from its start; false on failure.
bool seekFile(std::FILE *stream, uint64_t offset);
// Cuts an open file, flushed, to `size` bytes; false when it cannot be cut.
bool truncateFile(std::FILE *stream, uint64_t size);

// Classifies an open stream and, for a disk file, fills `info`. `path` is the name the stream
// was opened by, or null. The Unix times are the file's own (clamped as unixTime says); the
// DOS date/time is its last-write time shifted by the current local-minus-UTC offset, whatever
// the daylight-saving state at the file's own date.
SourceType querySource(std::FILE *stream, const char *path, DiskFileInfo &info);

// The times of a source that has none of its own: now, for all three, with the DOS date/time
// in local time.
EntryTimes currentTimes();

// Unix seconds of wall-clock fields that run `offset` seconds ahead of UTC. Dates before 1970
// become 1970-01-01 and dates from 2038 on 2037-12-31, keeping the time of day, so that the
// timestamps fit the 32-bit fields.
int64_t unixTime(CalendarTime local, int64_t offset);

// DOS date/time of local wall-clock fields. The format holds 1980 to 2107: earlier dates
// become 1980-01-01 and later ones 2107-12-31, keeping the time of day (in 2-second steps).
uint32_t dosDateTime(CalendarTime local);

// True when a disk file of `size` bytes starts with an executable header: "MZ" at 0, and at
// the 32-bit offset stored at 0x3C (when offset + 52 < size) one of "MZ", "NE", "LE", "PE"
// followed by two zero bytes. Moves the stream's position.
bool looksExecutable(std::FILE *stream, uint64_t size);

// A block of anonymous read-write memory.
struct MemoryBlock {
    uint8_t *bytes = nullptr;
    uint32_t size = 0;
    void *mapping = nullptr; // the platform's handle, where it has one
};

// Obtains a zero-filled block of `size` bytes (size > 0); false when none can be had.
bool obtainMemory(uint32_t size, MemoryBlock &block);
void releaseMemory(MemoryBlock &block);

} // namespace zip
