#include "regularfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A write past the file-size limit would end the program with SIGXFSZ; it fails here instead.
bool belowSizeLimit(qint64 end)
{
    rlimit limit{};
    return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || rlim_t(end) <= limit.rlim_cur;
}

bool writeAll(int fd, qint64 offset, const QByteArray &bytes)
{
    if (!belowSizeLimit(offset + bytes.size()))
        return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return fsync(fd) == 0;
}

// Creates a hidden temporary file of a name no one else uses beside `path`.
int createTemporary(const QString &path, QString &temporary)
{
    const QFileInfo info(path);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = info.path() + "/." + info.fileName() + "." + QString::number(random()) + ".tmp";
        // With O_EXCL nothing that already bears the name, link or not, is opened.
        const int fd = open(QFile::encodeName(temporary).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool RegularFile::hasOneName() const
{
    struct stat info {};
    return fstat(fileno(file.get()), &info) == 0 && info.st_nlink == 1;
}

bool RegularFile::replaceWith(const QByteArray &bytes)
{
    QString temporary;
    const int fd = createTemporary(path, temporary);
    if (fd < 0)
        return false;
    struct stat info {};
    // The owner goes first: changing it may clear the set-id bits of the mode.
    bool done = fstat(fileno(file.get()), &info) == 0 && fchown(fd, info.st_uid, info.st_gid) == 0 &&
                fchmod(fd, info.st_mode & 07777) == 0 && writeAll(fd, 0, bytes);
    done = close(fd) == 0 && done;
    done = done && replaceFile(temporary, path);
    if (!done)
        removePlainFile(temporary);
    return done;
}

bool RegularFile::writeAt(qint64 offset, const QByteArray &bytes)
{
    return writeAll(fileno(file.get()), offset, bytes);
}

bool RegularFile::resize(qint64 size)
{
    return ftruncate(fileno(file.get()), off_t(size)) == 0 && fsync(fileno(file.get())) == 0;
}
