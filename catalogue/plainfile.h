#pragma once
// The log folder is shared ground: any local user may leave links, pipes, devices or folders
// there under the names the dialog uses. These helpers touch only regular files reached
// without a link (on Windows: without a symbolic link or junction, that is a reparse point),
// and never wait on what they find.

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <memory>

struct PlainFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using PlainFile = std::unique_ptr<std::FILE, PlainFileCloser>;

enum class EntryKind {
    Missing,     // nothing of that name, not even a dangling link
    PlainFile,   // a regular file itself
    PlainFolder, // a folder itself
    Link,        // a link or reparse point, whatever it leads to (or not)
    Other,       // a pipe, socket or device
};

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

// Opens a regular file for reading, or for reading and writing, without following a link and
// without waiting on a pipe. Null for anything that is not a regular file, or when it cannot
// be opened.
PlainFile openPlainFile(const QString &path, bool writable);

constexpr QFileDevice::Permissions everyPermission = QFileDevice::Permissions(0x7777);

// Gives an open file the permissions (the owner, group and other bits on POSIX; on Windows only
// whether it is read-only: it is unless a write permission is given). Works on the open file,
// so a link put in its place meanwhile gains nothing.
bool setPermissions(std::FILE *file, QFileDevice::Permissions permissions);

// Whether a regular file may take the place of what is there: nothing, a regular file, or a
// link, which is replaced itself while its target stays untouched. Never a folder, pipe or
// device.
inline bool replaceable(EntryKind kind)
{
    return kind == EntryKind::Missing || kind == EntryKind::PlainFile || kind == EntryKind::Link;
}

// Puts the regular file `source` in the place of `target` in one step, when that is
// replaceable; otherwise the call fails and both stay. Both lie in the same folder.
bool replaceFile(const QString &source, const QString &target);

// Deletes `path` when it is a regular file; anything else of that name stays.
bool removePlainFile(const QString &path);

// Empties an open regular file.
bool emptyPlainFile(std::FILE *file);

// A real folder held open, such as the log folder's "backup/": what is made, opened, moved and
// deleted through it stays in the folder that was checked, even when another local user puts a
// link in place of its name meanwhile. On POSIX every call works relative to the open folder;
// on Windows the folder is held without delete sharing, so nobody can rename or delete it
// while it is held.
class HeldFolder {
public:
    // Holds `path` (ending with "/") when it is a real folder, not a link; null otherwise.
    static std::shared_ptr<const HeldFolder> hold(const QString &path);
    ~HeldFolder();
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;

    const QString &path() const { return folder; }
    // Opens the regular file `name` of the folder, as openPlainFile does.
    PlainFile open(const QString &name, bool writable) const;
    // Creates a new file in the folder, for reading and writing (on POSIX for its owner only),
    // under a free name: `prefix` and six letters or digits. Sets `name` to that name.
    PlainFile create(const QString &prefix, QString &name) const;
    // Moves the regular file `name` of the folder in the place of `target` of the folder, as
    // replaceFile does.
    bool replace(const QString &name, const QString &target) const;
    // Moves the regular file at the path `source`, on the same volume, in the place of
    // `target` of the folder, as replaceFile does.
    bool moveIn(const QString &source, const QString &target) const;
    // The size of the file `name` of the folder when it is a regular file, otherwise 0.
    quint64 size(const QString &name) const;
    // Deletes the file `name` of the folder when it is a regular file.
    bool remove(const QString &name) const;
    // The names of the folder's entries, but for hidden ones, in no particular order.
    QStringList names() const;

private:
    HeldFolder(const QString &path, intptr_t handle) : folder(path), handle(handle) {}
    // A new file of exactly that name; `taken` tells whether the name was in use.
    PlainFile createNew(const QString &name, bool &taken) const;

    QString folder;
    intptr_t handle; // the file descriptor, or the Windows handle
};
