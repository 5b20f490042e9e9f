#include "plainfile.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

EntryKind entryKind(const QString &path)
{
    struct stat status {};
    // Without its trailing "/", a folder's path names the entry itself, not a link's target.
    if (lstat(QFile::encodeName(QDir::cleanPath(path)).constData(), &status) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::Link;
    if (S_ISREG(status.st_mode))
        return EntryKind::PlainFile;
    return S_ISDIR(status.st_mode) ? EntryKind::PlainFolder : EntryKind::Other;
}

PlainFile openPlainFile(const QString &path, bool writable)
{
    // O_NOFOLLOW refuses a link; O_NONBLOCK keeps a pipe from holding the open until a writer
    // or reader comes. What opened is then checked to be a regular file, and only that is
    // read the usual, blocking way.
    const int access = writable ? O_RDWR : O_RDONLY;
    const int fd = open(QFile::encodeName(path).constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    const int flags = fcntl(fd, F_GETFL);
    std::FILE *file = nullptr;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && flags >= 0 &&
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = fdopen(fd, writable ? "r+b" : "rb");
    if (!file)
        close(fd);
    return PlainFile(file);
}

bool grantAllPermissions(std::FILE *file)
{
    return fchmod(fileno(file), 0777) == 0;
}

bool renameOver(const QString &source, const QString &target)
{
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}
