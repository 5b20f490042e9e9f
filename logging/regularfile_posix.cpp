#include "regularfile.h"

#include <cerrno>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Place {
    std::string folder;
    std::string name;
};

Place splitPath(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool readAll(int fd, std::size_t maxSize, std::string &bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(buffer, std::size_t(n));
        if (bytes.size() > maxSize) // it grew since it was measured
            return false;
    }
}

// A write past the file-size limit would end the program with SIGXFSZ; it fails here instead.
bool belowSizeLimit(std::uint64_t end)
{
    rlimit limit{};
    return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || end <= limit.rlim_cur;
}

bool writeAll(int fd, std::uint64_t offset, const std::string &bytes)
{
    if (!belowSizeLimit(offset + bytes.size()))
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates a temporary file of a name no one else uses, hidden beside `name`.
int createTemporary(int folder, const std::string &name, std::string &tempName)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName = "." + name + "." + std::to_string(random()) + ".tmp";
        // With O_EXCL nothing that already bears the name, link or not, is opened.
        const int fd = openat(folder, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

RegularFile::RegularFile(const std::string &path, std::size_t maxSize) : path(path), handle(-1)
{
    struct stat named;
    // Only a regular file is opened: opening a pipe or a device may wait or act.
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return;
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    handle = fd;
    struct stat opened;
    std::string bytes;
    if (fstat(fd, &opened) != 0 || !sameFile(named, opened) || std::uint64_t(opened.st_size) > maxSize ||
        !readAll(fd, maxSize, bytes))
        return;
    old = std::move(bytes);
}

RegularFile::~RegularFile()
{
    if (handle >= 0)
        close(int(handle));
}

bool RegularFile::hasOneName() const
{
    struct stat info;
    return fstat(int(handle), &info) == 0 && info.st_nlink == 1;
}

bool RegularFile::replaceWith(const std::string &bytes)
{
    const Place place = splitPath(path);
    const int folder = open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    std::string tempName;
    const int temp = createTemporary(folder, place.name, tempName);
    bool done = false;
    if (temp >= 0) {
        struct stat info;
        struct stat named;
        // The owner goes first: changing it may clear the set-id bits of the mode.
        bool written = fstat(int(handle), &info) == 0 && fchown(temp, info.st_uid, info.st_gid) == 0 &&
                       fchmod(temp, info.st_mode & 07777) == 0 && writeAll(temp, 0, bytes) && fsync(temp) == 0;
        written = close(temp) == 0 && written;
        // The name must still lead to the file that was read, not to what took its place since.
        done = written && fstatat(folder, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
               sameFile(info, named) && renameat(folder, tempName.c_str(), folder, place.name.c_str()) == 0;
        if (!done)
            unlinkat(folder, tempName.c_str(), 0);
    }
    close(folder);
    return done;
}

bool RegularFile::writeAt(std::uint64_t offset, const std::string &bytes)
{
    return writeAll(int(handle), offset, bytes) && fsync(int(handle)) == 0;
}

bool RegularFile::resize(std::uint64_t size)
{
    return ftruncate(int(handle), off_t(size)) == 0 && fsync(int(handle)) == 0;
}
