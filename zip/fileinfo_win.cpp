// Win32 platform layer: the file's own attribute bits, size and times from its handle, the DOS
// date/time shifted by the current local-minus-UTC offset, and paging-file-backed memory for
// memory archives.

#include "fileinfo.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>

namespace zip {

namespace {

constexpr int64_t ticksPerSecond = 10000000; // FILETIME counts 100 ns
constexpr int64_t ticksPerMinute = 60 * ticksPerSecond;

int64_t ticksOf(const FILETIME &time)
{
    return static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
}

FILETIME fileTimeOf(int64_t ticks)
{
    const uint64_t value = static_cast<uint64_t>(ticks < 0 ? 0 : ticks);
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// Local minus UTC now, in FILETIME ticks. The two clocks are read one after the other, so the
// difference is rounded to whole minutes to drop the moment that passes between the reads.
int64_t localOffset()
{
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    GetLocalTime(&local);
    FILETIME utcTime, localTime;
    if (!SystemTimeToFileTime(&utc, &utcTime) || !SystemTimeToFileTime(&local, &localTime))
        return 0;
    const int64_t offset = ticksOf(localTime) - ticksOf(utcTime);
    const int64_t half = offset < 0 ? -ticksPerMinute / 2 : ticksPerMinute / 2;
    return (offset + half) / ticksPerMinute * ticksPerMinute;
}

CalendarTime calendarOf(const FILETIME &time)
{
    SYSTEMTIME fields;
    if (!FileTimeToSystemTime(&time, &fields))
        return {1970, 1, 1, 0, 0, 0};
    return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

// Windows refuses years outside 1980..2107, which dosDateTime then clamps; Wine wraps them
// instead, so the range is checked here first.
uint32_t dosDateTimeOf(const FILETIME &time)
{
    const CalendarTime fields = calendarOf(time);
    WORD date = 0, clock = 0;
    if (fields.year < 1980 || fields.year > 2107 || !FileTimeToDosDateTime(&time, &date, &clock))
        return dosDateTime(fields);
    return uint32_t{date} << 16 | clock;
}

std::wstring wide(const char *text)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    std::wstring result(length > 0 ? length : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, result.data(), length);
    return result;
}

} // namespace

std::FILE *openSourceFile(const char *path)
{
    const std::wstring widePath = wide(path);
    if (widePath.empty())
        return nullptr;
    return _wfopen(widePath.c_str(), L"rb");
}

std::FILE *createFile(const char *path)
{
    const std::wstring widePath = wide(path);
    if (widePath.empty())
        return nullptr;
    // Opened as itself, a symbolic link or junction (a reparse point) is not followed; it is
    // then refused like a folder, a pipe or a device, and only a regular file is emptied.
    const HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular =
        GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
    const int fd = regular && SetEndOfFile(handle) ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY) : -1;
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *stream = _fdopen(fd, "w+b");
    if (!stream)
        _close(fd);
    return stream;
}

std::FILE *openScratchFile(const std::string &prefix)
{
    for (int number = 0; number < 100; ++number) {
        const std::wstring path = wide((prefix + std::to_string(number)).c_str());
        if (path.empty())
            return nullptr;
        // The system deletes it when its last handle closes, also when the program ends.
        const int fd = _wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY | _O_SHORT_LIVED,
                              _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return nullptr;
        std::FILE *stream = _fdopen(fd, "w+b");
        if (!stream)
            _close(fd);
        return stream;
    }
    return nullptr;
}

std::string scratchFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return ".\\";
    const int size = WideCharToMultiByte(CP_UTF8, 0, folder, int(length), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, int(length), text.data(), size, nullptr, nullptr);
    return text;
}

bool seekFile(std::FILE *stream, uint64_t offset)
{
    return offset <= uint64_t{INT64_MAX} && _fseeki64(stream, static_cast<int64_t>(offset), SEEK_SET) == 0;
}

bool truncateFile(std::FILE *stream, uint64_t size)
{
    return size <= uint64_t{INT64_MAX} && _chsize_s(_fileno(stream), static_cast<int64_t>(size)) == 0;
}

SourceType querySource(std::FILE *stream, const char *, DiskFileInfo &info)
{
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(file) != FILE_TYPE_DISK)
        return SourceType::Device;
    BY_HANDLE_FILE_INFORMATION facts;
    if (!GetFileInformationByHandle(file, &facts) || (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SourceType::Unreadable;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return SourceType::Unreadable;

    info.attributes = facts.dwFileAttributes;
    info.size = uint64_t{high} << 32 | low;
    // The Unix times go to the same local fields and back by the same offset: the file's own
    // times, clamped at a local date.
    const int64_t offset = localOffset();
    const auto local = [&](const FILETIME &utc) { return fileTimeOf(ticksOf(utc) + offset); };
    const auto unixOf = [&](const FILETIME &utc) {
        return unixTime(calendarOf(local(utc)), offset / ticksPerSecond);
    };
    info.times.dosDateTime = dosDateTimeOf(local(facts.ftLastWriteTime));
    info.times.modification = unixOf(facts.ftLastWriteTime);
    info.times.access = unixOf(facts.ftLastAccessTime);
    info.times.creation = unixOf(facts.ftCreationTime);
    return SourceType::DiskFile;
}

EntryTimes currentTimes()
{
    SYSTEMTIME local;
    GetLocalTime(&local);
    FILETIME now;
    if (!SystemTimeToFileTime(&local, &now))
        return {};
    const int64_t seconds = unixTime(calendarOf(now), localOffset() / ticksPerSecond);
    return {dosDateTimeOf(now), seconds, seconds, seconds};
}

bool obtainMemory(uint32_t size, MemoryBlock &block)
{
    const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, nullptr);
    if (!mapping)
        return false;
    void *bytes = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
    if (!bytes) {
        CloseHandle(mapping);
        return false;
    }
    block = {static_cast<uint8_t *>(bytes), size, mapping};
    return true;
}

void releaseMemory(MemoryBlock &block)
{
    UnmapViewOfFile(block.bytes);
    CloseHandle(block.mapping);
    block = {};
}

} // namespace zip
