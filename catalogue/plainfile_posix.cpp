#include "plainfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

// What is at `name` of the folder `dir` (or of the working folder) itself; a link is not followed.
EntryKind entryKindAt(int dir, const QByteArray &name)
{
    struct stat status {};
    if (fstatat(dir, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::Link;
    if (S_ISREG(status.st_mode))
        return EntryKind::PlainFile;
    return S_ISDIR(status.st_mode) ? EntryKind::PlainFolder : EntryKind::Other;
}

// O_NOFOLLOW refuses a link; O_NONBLOCK keeps a pipe from holding the open until a writer or
// reader comes. What opened is then checked to be a regular file, and only that is read the
// usual, blocking way.
PlainFile openAt(int dir, const QByteArray &name, bool writable)
{
    const int access = writable ? O_RDWR : O_RDONLY;
    const int fd = openat(dir, name.constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

// The regular file `from` of the folder `fromDir` in the place of `to` of the folder `toDir`.
bool moveAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to)
{
    return replaceable(entryKindAt(toDir, to)) && entryKindAt(fromDir, from) == EntryKind::PlainFile &&
           renameat(fromDir, from.constData(), toDir, to.constData()) == 0;
}

} // namespace

EntryKind entryKind(const QString &path)
{
    // Without its trailing "/", a folder's path names the entry itself, not a link's target.
    return entryKindAt(AT_FDCWD, encoded(QDir::cleanPath(path)));
}

PlainFile openPlainFile(const QString &path, bool writable)
{
    return openAt(AT_FDCWD, encoded(path), writable);
}

bool setPermissions(std::FILE *file, QFileDevice::Permissions permissions)
{
    const auto bits = uint(permissions);
    const mode_t mode = ((bits >> 12) & 7) << 6 | ((bits >> 4) & 7) << 3 | (bits & 7);
    return fchmod(fileno(file), mode) == 0;
}

bool renameOver(const QString &source, const QString &target)
{
    return std::rename(encoded(source).constData(), encoded(target).constData()) == 0;
}

std::shared_ptr<const HeldFolder> HeldFolder::hold(const QString &path)
{
#ifdef O_PATH
    // Holding needs no right to read the folder, only to pass through it.
    const int access = O_PATH;
#else
    const int access = O_RDONLY;
#endif
    const int fd = ::open(encoded(QDir::cleanPath(path)).constData(), access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::shared_ptr<const HeldFolder>(new HeldFolder(path, fd));
}

HeldFolder::~HeldFolder()
{
    close(int(handle));
}

PlainFile HeldFolder::open(const QString &name, bool writable) const
{
    return openAt(int(handle), encoded(name), writable);
}

PlainFile HeldFolder::createNew(const QString &name, bool &taken) const
{
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const int fd = openat(int(handle), encoded(name).constData(), flags, 0600);
    taken = fd < 0 && errno == EEXIST;
    if (fd < 0)
        return nullptr;
    std::FILE *file = fdopen(fd, "r+b");
    if (!file) {
        close(fd);
        unlinkat(int(handle), encoded(name).constData(), 0);
    }
    return PlainFile(file);
}

bool HeldFolder::replace(const QString &name, const QString &target) const
{
    return moveAt(int(handle), encoded(name), int(handle), encoded(target));
}

bool HeldFolder::moveIn(const QString &source, const QString &target) const
{
    return moveAt(AT_FDCWD, encoded(source), int(handle), encoded(target));
}

quint64 HeldFolder::size(const QString &name) const
{
    struct stat status {};
    const bool plain = fstatat(int(handle), encoded(name).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISREG(status.st_mode);
    return plain ? quint64(status.st_size) : 0;
}

bool HeldFolder::remove(const QString &name) const
{
    return entryKindAt(int(handle), encoded(name)) == EntryKind::PlainFile &&
           unlinkat(int(handle), encoded(name).constData(), 0) == 0;
}

QStringList HeldFolder::names() const
{
    QStringList names;
    // A descriptor of its own for the listing, which closes it: the held one stays as it is.
    const int fd = openat(int(handle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = fd < 0 ? nullptr : fdopendir(fd);
    if (!listing) {
        if (fd >= 0)
            close(fd);
        return names;
    }
    while (const dirent *entry = readdir(listing)) {
        if (entry->d_name[0] != '.')
            names.append(QFile::decodeName(entry->d_name));
    }
    closedir(listing);
    return names;
}
