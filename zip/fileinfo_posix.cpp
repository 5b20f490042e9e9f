// POSIX platform layer. A source's MS-DOS attributes are derived from its mode and name:
// read-only when its owner has no write permission (the mode, not who runs the writer, so the
// bit does not depend on the user), hidden when its name starts with ".", and the archive bit
// for every regular file. Its creation time is the birth time where the file system reports
// one, else the earlier of its change and modification times.

#include "fileinfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zip {

namespace {

struct FileStatus {
    mode_t mode = 0;
    uint64_t size = 0;
    time_t modified = 0, accessed = 0, created = 0;
};

bool fileStatus(int fd, FileStatus &status)
{
    struct statx extended {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &extended) == 0) {
        status.mode = extended.stx_mode;
        status.size = extended.stx_size;
        status.modified = extended.stx_mtime.tv_sec;
        status.accessed = extended.stx_atime.tv_sec;
        status.created = (extended.stx_mask & STATX_BTIME)
            ? extended.stx_btime.tv_sec
            : std::min(extended.stx_ctime.tv_sec, extended.stx_mtime.tv_sec);
        return true;
    }
    // Kernels and sandboxes without statx.
    struct stat basic {};
    if (errno != ENOSYS || fstat(fd, &basic) != 0)
        return false;
    status.mode = basic.st_mode;
    status.size = static_cast<uint64_t>(basic.st_size);
    status.modified = basic.st_mtim.tv_sec;
    status.accessed = basic.st_atim.tv_sec;
    status.created = std::min(basic.st_ctim.tv_sec, basic.st_mtim.tv_sec);
    return true;
}

CalendarTime calendarOf(const std::tm &fields)
{
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
            fields.tm_hour, fields.tm_min, fields.tm_sec};
}

// Wall-clock fields of a UTC time moved by `offset` seconds.
CalendarTime shifted(time_t utc, long offset)
{
    const time_t moved = utc + offset;
    std::tm fields{};
    gmtime_r(&moved, &fields);
    return calendarOf(fields);
}

bool hiddenName(const char *path)
{
    if (!path)
        return false;
    const char *slash = std::strrchr(path, '/');
    return (slash ? slash[1] : path[0]) == '.';
}

} // namespace

std::FILE *openSourceFile(const char *path)
{
    // A named pipe would hold the open until some program writes into it: open without
    // waiting, then read as usual (a pipe without a writer then simply ends at once).
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    std::FILE *stream = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, "rb") : nullptr;
    if (!stream)
        close(fd);
    return stream;
}

std::FILE *createFile(const char *path)
{
    // O_NONBLOCK keeps a pipe of that name from holding the open. No user but the system's
    // own can make a device, so one is written to as it is (a test writes to a full one).
    const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    const int flags = fcntl(fd, F_GETFL);
    const bool usable = fstat(fd, &status) == 0 &&
                        (S_ISCHR(status.st_mode) || (S_ISREG(status.st_mode) && ftruncate(fd, 0) == 0));
    std::FILE *stream = nullptr;
    if (usable && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        stream = fdopen(fd, "w+b");
    if (!stream)
        close(fd);
    return stream;
}

std::FILE *openScratchFile(const std::string &prefix)
{
    for (int number = 0; number < 100; ++number) {
        const std::string path = prefix + std::to_string(number);
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return nullptr;
        // Nameless from here on, so nothing is left behind however the program ends.
        unlink(path.c_str());
        std::FILE *stream = fdopen(fd, "w+b");
        if (!stream)
            close(fd);
        return stream;
    }
    return nullptr;
}

std::string scratchFolder()
{
    const char *folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/";
}

bool seekFile(std::FILE *stream, uint64_t offset)
{
    return offset <= uint64_t{INT64_MAX} && fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool truncateFile(std::FILE *stream, uint64_t size)
{
    return size <= uint64_t{INT64_MAX} && ftruncate(fileno(stream), static_cast<off_t>(size)) == 0;
}

SourceType querySource(std::FILE *stream, const char *path, DiskFileInfo &info)
{
    FileStatus status;
    if (!fileStatus(fileno(stream), status) || S_ISDIR(status.mode))
        return SourceType::Unreadable;
    if (!S_ISREG(status.mode))
        return SourceType::Device;

    info.attributes = archiveAttribute;
    if (!(status.mode & S_IWUSR))
        info.attributes |= readOnlyAttribute;
    if (hiddenName(path))
        info.attributes |= hiddenAttribute;
    info.size = status.size;

    const time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The Unix times go to the same local fields and back by the same offset: the file's own
    // times, clamped at a local date.
    const auto unixOf = [&](time_t utc) { return unixTime(shifted(utc, local.tm_gmtoff), local.tm_gmtoff); };
    info.times.dosDateTime = dosDateTime(shifted(status.modified, local.tm_gmtoff));
    info.times.modification = unixOf(status.modified);
    info.times.access = unixOf(status.accessed);
    info.times.creation = unixOf(status.created);
    return SourceType::DiskFile;
}

EntryTimes currentTimes()
{
    const time_t now = std::time(nullptr);
    std::tm fields{};
    localtime_r(&now, &fields);
    const CalendarTime local = calendarOf(fields);
    const int64_t seconds = unixTime(local, fields.tm_gmtoff);
    return {dosDateTime(local), seconds, seconds, seconds};
}

bool obtainMemory(uint32_t size, MemoryBlock &block)
{
    void *bytes = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (bytes == MAP_FAILED)
        return false;
    block = {static_cast<uint8_t *>(bytes), size, nullptr};
    return true;
}

void releaseMemory(MemoryBlock &block)
{
    munmap(block.bytes, block.size);
    block = {};
}

} // namespace zip
