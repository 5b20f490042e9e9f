#include "plainfile.h"

#include "platform.h"

#include <QByteArrayList>
#include <QDir>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none.
int utf8Length(const QByteArray &bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? uchar(bytes[i]) : 0; };
    const uchar lead = byte(at);
    const auto continues = [&](qsizetype i, uchar low = 0x80, uchar high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continues(at + 1) ? 2 : 0;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    if (lead >= 0xE0 && lead <= 0xEF) {
        const bool second = lead == 0xE0 ? continues(at + 1, 0xA0) : lead == 0xED ? continues(at + 1, 0x80, 0x9F)
                                                                             : continues(at + 1);
        return second && continues(at + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const bool second = lead == 0xF0 ? continues(at + 1, 0x90) : lead == 0xF4 ? continues(at + 1, 0x80, 0x8F)
                                                                             : continues(at + 1);
        return second && continues(at + 2) && continues(at + 3) ? 4 : 0;
    }
    return 0;
}

// A name's bytes as text: UTF-8 where it is valid, and each other byte as a lone surrogate
// U+DC80 to U+DCFF, which no valid UTF-8 decodes to, so that encoded() gives the bytes back.
QString decoded(const QByteArray &bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = utf8Length(bytes, at);
        if (length == 0) {
            text += QChar(0xDC00 + uchar(bytes[at]));
            ++at;
        } else {
            text += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        }
    }
    return text;
}

QByteArray encoded(const QString &name)
{
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype at = 0; at < name.size(); ++at) {
        const char16_t c = name[at].unicode();
        const bool escapedByte = c >= 0xDC80 && c <= 0xDCFF && (at == 0 || !name[at - 1].isHighSurrogate());
        if (escapedByte) {
            bytes += QStringView(name).mid(start, at - start).toUtf8();
            bytes += char(c - 0xDC00);
            start = at + 1;
        }
    }
    return bytes + QStringView(name).mid(start).toUtf8();
}

// The names of an open listing (null for none) but for hidden ones; closes it.
QStringList namesOf(DIR *listing)
{
    QStringList names;
    if (!listing)
        return names;
    while (const dirent *entry = readdir(listing)) {
        if (entry->d_name[0] != '.')
            names.append(decoded(entry->d_name));
    }
    closedir(listing);
    return names;
}

#ifdef O_PATH
// Holding a folder needs no right to read it, only to pass through it.
constexpr int folderAccess = O_PATH;
#else
constexpr int folderAccess = O_RDONLY;
#endif

bool isSingleRegular(const struct stat &status)
{
    return S_ISREG(status.st_mode) && status.st_nlink == 1;
}

// What is at `name` of the folder `dir` (or of the working folder) itself; a link is not followed.
EntryKind entryKindAt(int dir, const QByteArray &name)
{
    struct stat status {};
    if (fstatat(dir, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && !isSingleRegular(status)))
        return EntryKind::Link;
    if (S_ISREG(status.st_mode))
        return EntryKind::PlainFile;
    return S_ISDIR(status.st_mode) ? EntryKind::PlainFolder : EntryKind::Other;
}

// O_NOFOLLOW refuses a link; O_NONBLOCK keeps a pipe from holding the open until a writer or
// reader comes. What opened is then checked to be a regular file with this one name, and only
// that is read the usual, blocking way.
PlainFile openAt(int dir, const QByteArray &name, bool writable)
{
    const int access = writable ? O_RDWR : O_RDONLY;
    const int fd = openat(dir, name.constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    const int flags = fcntl(fd, F_GETFL);
    std::FILE *file = nullptr;
    if (fstat(fd, &status) == 0 && isSingleRegular(status) && flags >= 0 &&
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

FileFault lastFault()
{
    switch (errno) {
    case 0:
        return FileFault::None;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileFault::Denied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileFault::NoSpace;
    case EMFILE:
    case ENFILE:
        return FileFault::TooMany;
    case EEXIST:
    case ELOOP:
    case EISDIR:
    case ENOTDIR:
    case ENXIO:
    case EMLINK:
        return FileFault::NotPlain;
    default:
        return FileFault::Failed;
    }
}

std::optional<FileIdentity> identityOf(std::FILE *file)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

qint64 currentSize(std::FILE *file)
{
    struct stat status {};
    return fstat(fileno(file), &status) == 0 ? qint64(status.st_size) : -1;
}

bool emptyPlainFile(std::FILE *file, qint64 size)
{
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && status.st_size == size && ftruncate(fileno(file), 0) == 0;
}

bool narrowReaders(std::FILE *target, std::FILE *source)
{
    struct stat to {};
    struct stat from {};
    if (fstat(fileno(target), &to) != 0 || fstat(fileno(source), &from) != 0)
        return false;
    mode_t mode = to.st_mode & 07777;
    if (!(from.st_mode & S_IROTH))
        mode &= ~mode_t(S_IROTH);
    if (!(from.st_mode & S_IRGRP) || (from.st_gid != to.st_gid && !(from.st_mode & S_IROTH)))
        mode &= ~mode_t(S_IRGRP);
    return mode == (to.st_mode & 07777) || fchmod(fileno(target), mode) == 0;
}

bool ownedByUser(std::FILE *file)
{
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && status.st_uid == geteuid() && !(status.st_mode & (S_IWGRP | S_IWOTH));
}

bool syncFile(std::FILE *file)
{
    return fsync(fileno(file)) == 0;
}

QByteArray fileNameBytes(const QString &name)
{
    return encoded(name);
}

QStringList folderNames(const QString &folder)
{
    return namesOf(opendir(encoded(folder).constData()));
}

void failWritesPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

std::shared_ptr<const HeldFolder> HeldFolder::hold(const QString &path)
{
    const int fd = ::open(encoded(QDir::cleanPath(path)).constData(), folderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::shared_ptr<const HeldFolder>(new HeldFolder(path, fd));
}

namespace {

// Whether a link in the open folder `dir` stays as it is: only the user, root or the folder's
// owner could replace it, and they are trusted (root) or the user. A sticky folder that others
// may write lets each of them replace only their own entries.
bool linkIsSteady(int dir, const QByteArray &name)
{
    struct stat folder {};
    struct stat link {};
    if (fstat(dir, &folder) != 0 || fstatat(dir, name.constData(), &link, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    const auto trusted = [](uid_t owner) { return owner == 0 || owner == geteuid(); };
    if (!trusted(folder.st_uid))
        return false;
    if (!(folder.st_mode & (S_IWGRP | S_IWOTH)))
        return true;
    return (folder.st_mode & S_ISVTX) && trusted(link.st_uid);
}

FolderAccess accessFailure(int error)
{
    switch (error) {
    case ENOENT:
        return FolderAccess::Missing;
    case EACCES:
    case EPERM:
        return FolderAccess::Denied;
    case ELOOP:
        return FolderAccess::Link;
    default:
        return FolderAccess::NotFolder;
    }
}

} // namespace

std::shared_ptr<const HeldFolder> HeldFolder::holdTrusted(const QString &path, FolderAccess &access)
{
    // The path is walked one part at a time, each opened relative to the one before without
    // following a link; a link on the way is read and walked in its turn only where nobody else
    // could change it. So what is held is what was checked, whatever another user renames meanwhile.
    QByteArrayList parts = encoded(QDir::cleanPath(path)).split('/');
    int dir = ::open("/", folderAccess | O_DIRECTORY | O_CLOEXEC);
    int links = 0;
    access = FolderAccess::Held;
    while (dir >= 0 && !parts.isEmpty()) {
        const QByteArray part = parts.takeFirst();
        if (part.isEmpty() || part == ".")
            continue;
        struct stat status {};
        if (fstatat(dir, part.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode)) {
            const bool last = std::none_of(parts.cbegin(), parts.cend(),
                                           [](const QByteArray &p) { return !p.isEmpty() && p != "."; });
            char target[4096];
            const ssize_t length = last ? -1 : readlinkat(dir, part.constData(), target, sizeof target);
            if (last || length <= 0 || size_t(length) >= sizeof target || ++links > 40 || !linkIsSteady(dir, part)) {
                access = last ? FolderAccess::Link : FolderAccess::BelowLink;
                close(dir);
                return nullptr;
            }
            const QByteArray resolved(target, length);
            parts = resolved.split('/') + parts;
            if (resolved.startsWith('/')) {
                close(dir);
                dir = ::open("/", folderAccess | O_DIRECTORY | O_CLOEXEC);
            }
            continue;
        }
        const int next = openat(dir, part.constData(), folderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        close(dir);
        dir = next;
        if (dir < 0)
            access = accessFailure(error);
    }
    if (dir < 0) {
        if (access == FolderAccess::Held)
            access = FolderAccess::Denied;
        return nullptr;
    }
    return std::shared_ptr<const HeldFolder>(new HeldFolder(path, dir));
}

HeldFolder::~HeldFolder()
{
    close(int(handle));
}

PlainFile HeldFolder::open(const QString &name, bool writable) const
{
    return openAt(int(handle), encoded(name), writable);
}

PlainFile HeldFolder::createNew(const QString &name, NewFileAccess access, bool &taken) const
{
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const mode_t mode = access == NewFileAccess::Readable || access == NewFileAccess::Shared ? 0644 : 0600;
    const int fd = openat(int(handle), encoded(name).constData(), flags, mode);
    taken = fd < 0 && errno == EEXIST;
    if (fd < 0)
        return nullptr;
    // The lock marks the file as in use for as long as it is open here; claimLeftover of
    // another program then leaves it alone.
    flock(fd, LOCK_EX | LOCK_NB);
    std::FILE *file = fdopen(fd, "r+b");
    if (!file) {
        close(fd);
        unlinkat(int(handle), encoded(name).constData(), 0);
    }
    return PlainFile(file);
}

PlainFile HeldFolder::claimLeftover(const QString &name) const
{
    PlainFile file = openAt(int(handle), encoded(name), false);
    if (file && flock(fileno(file.get()), LOCK_EX | LOCK_NB) != 0)
        file.reset();
    return file;
}

bool HeldFolder::replace(const QString &name, const QString &target) const
{
    return moveAt(int(handle), encoded(name), int(handle), encoded(target));
}

bool HeldFolder::moveTo(const QString &name, const HeldFolder &to, const QString &target) const
{
    return moveAt(int(handle), encoded(name), int(to.handle), encoded(target));
}

EntryKind HeldFolder::kind(const QString &name) const
{
    return entryKindAt(int(handle), encoded(name));
}

std::shared_ptr<const HeldFolder> HeldFolder::holdFolder(const QString &name) const
{
    const int fd = openat(int(handle), encoded(name).constData(), folderAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::shared_ptr<const HeldFolder>(new HeldFolder(folder + name + QLatin1Char('/'), fd));
}

bool HeldFolder::makeFolder(const QString &name) const
{
    // The user's defaults (umask) decide who else may enter, as for any folder the user makes.
    if (kind(name) == EntryKind::Missing)
        mkdirat(int(handle), encoded(name).constData(), 0777);
    return kind(name) == EntryKind::PlainFolder;
}

bool HeldFolder::holds(const QString &name, std::FILE *file) const
{
    struct stat named {};
    struct stat opened {};
    return fstatat(int(handle), encoded(name).constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstat(fileno(file), &opened) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

quint64 HeldFolder::size(const QString &name) const
{
    struct stat status {};
    const bool plain =
        fstatat(int(handle), encoded(name).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && isSingleRegular(status);
    return plain ? quint64(status.st_size) : 0;
}

bool HeldFolder::remove(const QString &name) const
{
    return entryKindAt(int(handle), encoded(name)) == EntryKind::PlainFile &&
           unlinkat(int(handle), encoded(name).constData(), 0) == 0;
}

QStringList HeldFolder::names() const
{
    // A descriptor of its own for the listing, which closes it: the held one stays as it is.
    const int fd = openat(int(handle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = fd < 0 ? nullptr : fdopendir(fd);
    if (!listing && fd >= 0)
        close(fd);
    return namesOf(listing);
}
