#pragma once
// The log folder is shared ground: any local user may leave links, pipes, devices or folders
// there under the names the dialog uses, or a second name (a hard link) of a file anywhere on
// the same disk, and may swap a name between a check and its use. These helpers touch only
// regular files with one name, reached without a link (on Windows: without a symbolic link or
// junction, that is a reparse point), never wait on what they find, and make new files only
// under fresh names of their own.

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

struct PlainFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using PlainFile = std::unique_ptr<std::FILE, PlainFileCloser>;

enum class EntryKind {
    Missing,     // nothing of that name, not even a dangling link
    PlainFile,   // a regular file with this one name
    PlainFolder, // a folder itself
    Link,        // a link or reparse point, whatever it leads to (or not), or a regular file with
                 // more names than this one: either may be anybody's file, anywhere
    Other,       // a pipe, socket or device
};

// Why a step on a file of the folder failed, as far as the system tells.
enum class FileFault {
    None,
    NotPlain, // a link, a folder, a pipe or a file with a second name has the name
    Denied,   // no permission (or a read-only disk)
    NoSpace,  // the disk is full, or a file-size limit was reached
    TooMany,  // too many files are open
    Failed,   // any other cause
};

// The cause of the system call that failed last on this thread.
FileFault lastFault();

// The cause in the user's language, for messages.
QString faultText(FileFault fault);

// What is at `path` itself; a link is not followed.
EntryKind entryKind(const QString &path);

inline bool isPlainFile(const QString &path)
{
    return entryKind(path) == EntryKind::PlainFile;
}

inline bool isPlainFolder(const QString &path)
{
    return entryKind(path) == EntryKind::PlainFolder;
}

// Opens a regular file with one name for reading, or for reading and writing, without
// following a link and without waiting on a pipe. Null for anything else, or when it cannot be
// opened.
PlainFile openPlainFile(const QString &path, bool writable);

constexpr QFileDevice::Permissions everyPermission = QFileDevice::Permissions(0x7777);

// Gives an open file the permissions (the owner, group and other bits on POSIX; on Windows only
// whether it is read-only: it is unless a write permission is given). Works on the open file,
// so a link put in its place meanwhile gains nothing.
bool setPermissions(std::FILE *file, QFileDevice::Permissions permissions);

// Takes from the open `target` the read permissions that the open `source` withholds, so that
// a copy of the source's contents shows it to nobody who could not read it: the others' read
// bit when the source's is clear, the group's when the source's group may not read it or is
// another group than the target's. On Windows, where files take their folder's access rights,
// nothing changes. False when the look or the change fails.
bool narrowReaders(std::FILE *target, std::FILE *source);

// Whether the open file is the running user's own: owned by that user and writable by nobody
// else (on Windows: its access list lets no one but the user, SYSTEM and the Administrators
// write, append, change its attributes or rights, take it over or delete it).
bool ownedByUser(std::FILE *file);

// Whether a regular file may take the place of what is there: nothing, a regular file, or a
// link, which is replaced itself while its target (or its other names) stay untouched. Never a
// folder, pipe or device.
inline bool replaceable(EntryKind kind)
{
    return kind == EntryKind::Missing || kind == EntryKind::PlainFile || kind == EntryKind::Link;
}

// Deletes `path` when it is a regular file; anything else of that name stays.
bool removePlainFile(const QString &path);

// The open file's size as it is now (another program may be writing it), or -1.
qint64 currentSize(std::FILE *file);

// Makes sure the bytes written to the open file (and flushed from its stream) reached the disk.
bool syncFile(std::FILE *file);

// Empties an open regular file when it still holds `size` bytes; false when it holds more or
// fewer, or cannot be emptied. The look at its size and the emptying follow each other as
// closely as the system allows: what another program appends in between is lost.
bool emptyPlainFile(std::FILE *file, qint64 size);

// The bytes of a file name as the system holds it: on POSIX the name's own bytes, also where
// they are not UTF-8 (such names come from the listings below), on Windows its UTF-8 form.
QByteArray fileNameBytes(const QString &name);

// The names of the folder's entries, but for hidden ones, in no particular order. Each name
// leads back to its entry, also one whose bytes are not UTF-8.
QStringList folderNames(const QString &folder);

// Lets a write past the system's file-size limit fail with an error, as a full disk does,
// instead of ending the program (POSIX: SIGXFSZ is ignored). Called once at start-up.
void failWritesPastSizeLimit();

class PendingFile;

// Which file an open file is, on its disk: the device and inode on POSIX, the volume serial
// number and file index on Windows. Two open files are the same file when these agree.
struct FileIdentity {
    quint64 device = 0;
    quint64 file = 0;
    bool operator==(const FileIdentity &other) const { return device == other.device && file == other.file; }
};

// The identity of the open file; nothing when the system cannot tell.
std::optional<FileIdentity> identityOf(std::FILE *file);

// How holding a folder by its whole path went (see HeldFolder::holdTrusted).
enum class FolderAccess {
    Held,      // held
    Missing,   // the folder, or a folder on the way to it, does not exist
    Link,      // the folder's own name is a link (on Windows also a junction)
    BelowLink, // a folder on the way is a link that someone other than the user or the
               // administrators could change (on Windows any link or junction on the way)
    Denied,    // the user may not pass through a folder on the way
    NotFolder, // a file, pipe or device has the name of the folder or of one on the way
};

// Who may read a new file: its owner alone, until it gets the permissions of what it copies or
// replaces, or whoever the user's defaults let (on POSIX mode 0644 less the umask); only the
// owner writes it either way. Private files the owner alone may open on every system. Windows
// files get an access list of their own, whatever the folder hands down: the user alone for
// Private ones, else the user, SYSTEM and the Administrators, and the Users may read. Shared
// files are the components' logs, which other users write: they take the folder's rights on
// Windows, and on POSIX mode 0644 less the umask until they are given their permissions.
enum class NewFileAccess { OwnerOnly, Readable, Private, Shared };

// A real folder held open, such as the log folder or its "backup/": what is made, opened, moved
// and deleted through it stays in the folder that was checked, even when another local user
// puts a link in place of its name meanwhile. On POSIX every call works relative to the open
// folder; on Windows the folder is held without delete sharing, so nobody can rename or delete
// it while it is held.
class HeldFolder : public std::enable_shared_from_this<HeldFolder> {
public:
    // Holds `path` (ending with "/") when it is a real folder, not a link; null otherwise.
    static std::shared_ptr<const HeldFolder> hold(const QString &path);
    // Holds the folder at the absolute `path` (ending with "/") as hold does, reached part by
    // part so that no link is followed that anyone but the user or the administrators could
    // change meanwhile; `access` tells why not when it returns null. Meant for the log folder,
    // whose parent folders another user may be able to write.
    static std::shared_ptr<const HeldFolder> holdTrusted(const QString &path, FolderAccess &access);
    ~HeldFolder();
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;

    const QString &path() const { return folder; }
    // What is at `name` of the folder itself; a link is not followed.
    EntryKind kind(const QString &name) const;
    // Holds the subfolder `name` when it is a real folder, not a link; null otherwise.
    std::shared_ptr<const HeldFolder> holdFolder(const QString &name) const;
    // Creates the subfolder `name` when nothing has that name; true when a real folder is there
    // afterwards.
    bool makeFolder(const QString &name) const;
    // Creates the regular file `name` exclusively (NewFileAccess::Shared): never through a link
    // or over anything that bears the name. Null when it cannot be made.
    PlainFile create(const QString &name) const;
    // Opens the regular file `name` of the folder, as openPlainFile does.
    PlainFile open(const QString &name, bool writable) const;
    // Creates a new file for reading and writing under a name nobody uses: `prefix`, six letters
    // or digits, `suffix`. Nothing that already bears the name, link or not, is opened. While
    // the file is open, it is marked as in use, so that removeLeftovers of another program
    // leaves it alone. Sets `name`; null when none can be made.
    PlainFile createUnique(const QString &prefix, const QString &suffix, QString &name,
                           NewFileAccess access = NewFileAccess::OwnerOnly) const;
    // A new file that will take the place of `target` of the folder (see PendingFile); null
    // when none can be made.
    std::unique_ptr<PendingFile> createPending(const QString &target,
                                               NewFileAccess access = NewFileAccess::OwnerOnly) const;
    // Moves the regular file `name` of the folder in the place of `target` of the folder, when
    // that is replaceable; otherwise it fails and both stay.
    bool replace(const QString &name, const QString &target) const;
    // Moves the regular file `name` of this folder in the place of `target` of `to` (on the
    // same volume), as replace does.
    bool moveTo(const QString &name, const HeldFolder &to, const QString &target) const;
    // Whether `name` of the folder is the open `file` itself, not a file put in its place.
    bool holds(const QString &name, std::FILE *file) const;
    // The size of the file `name` of the folder when it is a regular file, otherwise 0.
    quint64 size(const QString &name) const;
    // Deletes the file `name` of the folder when it is a regular file.
    bool remove(const QString &name) const;
    // The folder's entries, as folderNames lists them.
    QStringList names() const;
    // Opens for reading a file that createUnique made and whose program has let go of it
    // (ended, or crashed), and marks it as in use again: only a regular file with one name.
    // Null while its program still holds it, and for anything else.
    PlainFile claimLeftover(const QString &name) const;
    // Deletes the pending files (see isPendingName) that a program ended before their time
    // left behind, as claimLeftover finds them.
    void removeLeftovers() const;

private:
    HeldFolder(const QString &path, intptr_t handle) : folder(path), handle(handle) {}
    // A new file of exactly that name, marked as in use; `taken` tells whether the name was
    // in use.
    PlainFile createNew(const QString &name, NewFileAccess access, bool &taken) const;

    QString folder;
    intptr_t handle; // the file descriptor, or the Windows handle
};

// Whether `name` is `prefix`, six letters or digits, and `suffix`: a name createUnique gives.
bool isUniqueName(const QString &name, const QString &prefix, const QString &suffix);

// Whether `name` is one a pending file has: "~", six letters or digits, "~" and its target's
// name, so that it keeps the target's extension.
bool isPendingName(const QString &name);

// A file that is written under a fresh name of its own, beside its target, and takes the
// target's place in one step only when it is complete. Until then, and whenever it is
// abandoned, whatever had the target's name stays exactly as it was.
class PendingFile {
public:
    PendingFile(std::shared_ptr<const HeldFolder> folder, QString target, QString name, PlainFile file);
    // Deletes the file unless it took its target's place.
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    std::FILE *stream() const { return file.get(); }
    QString path() const { return folder->path() + name; }
    // The name of the file it becomes.
    const QString &targetName() const { return target; }
    // Makes sure every byte written reached the disk, then puts the file in the place of its
    // target when that is replaceable. False deletes the file and leaves the target as it was,
    // also when another file took the pending name meanwhile: that is never put in place, but
    // for a swap within the instant of the rename, which then still fails the commit. The
    // stream stays open either way; bytes written after a commit land in the target.
    bool commit();
    // Hands the stream over, for example to read the committed file; null after the first call.
    PlainFile takeStream() { return std::move(file); }

private:
    std::shared_ptr<const HeldFolder> folder;
    QString target;
    QString name;
    PlainFile file;
    bool settled = false; // committed, or given up
};
