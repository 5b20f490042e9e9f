#pragma once
// The log folder is shared ground: any local user may leave links, pipes, devices or folders
// there under the names the dialog uses. These helpers touch only regular files reached
// without a link (on Windows: without a symbolic link or junction, that is a reparse point),
// and never wait on what they find.

#include <QString>

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

// Gives an open file every permission flag (mode 0777 on POSIX; on Windows it clears the
// read-only attribute). Works on the open file, so a link put in its place meanwhile gains
// nothing.
bool grantAllPermissions(std::FILE *file);

// Puts the regular file `source` in the place of `target` in one step. A link at `target` is
// replaced itself, its target stays untouched; a folder, pipe or device of that name stays
// as it is, and the call fails. Both lie in the same folder.
bool replaceFile(const QString &source, const QString &target);

// Deletes `path` when it is a regular file; anything else of that name stays.
bool removePlainFile(const QString &path);

// Empties an open regular file.
bool emptyPlainFile(std::FILE *file);
