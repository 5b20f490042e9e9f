#include "platform.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, qint64 offset, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool RegularFile::hasOneName() const
{
    struct stat info {};
    return fstat(fileno(file.get()), &info) == 0 && info.st_nlink == 1;
}

bool RegularFile::replaceWith(const QByteArray &bytes)
{
    const std::unique_ptr<PendingFile> pending = file ? folder->createPending(name) : nullptr;
    if (!pending)
        return false;
    const int fd = fileno(pending->stream());
    struct stat status {};
    // The owner goes first: changing it may clear the set-id bits of the mode.
    return fstat(fileno(file.get()), &status) == 0 && fchown(fd, status.st_uid, status.st_gid) == 0 &&
           fchmod(fd, status.st_mode & 07777) == 0 && writeAll(fd, 0, bytes) && pending->commit();
}

bool RegularFile::writeAt(qint64 offset, const QByteArray &bytes)
{
    return writeAll(fileno(file.get()), offset, bytes) && fsync(fileno(file.get())) == 0;
}

bool RegularFile::resize(qint64 size)
{
    return ftruncate(fileno(file.get()), off_t(size)) == 0 && fsync(fileno(file.get())) == 0;
}
