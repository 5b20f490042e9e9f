#pragma once
// What the platform files (*_posix.cpp, *_win.cpp) give the shared code of this library.

#include "plainfile.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// Windows: the path with the system's separators, cleaned first: without its trailing "/", a
// folder's path names the entry itself.
std::wstring nativePath(const QString &path);

// One regular file with one name of a held folder, held open from reading to writing, never
// reached through a link.
class RegularFile {
public:
    // Opens the file `name` of `folder` for reading and writing and reads it whole. A link,
    // pipe, folder or device of that name is not opened, nor is a file with a second name (a
    // hard link), which may be anybody's file anywhere on the disk; nor a file this process may
    // not write, or one larger than `maxSize` bytes: contents() is then empty.
    RegularFile(std::shared_ptr<const HeldFolder> folder, const QString &name, qint64 maxSize);

    const std::optional<QByteArray> &contents() const { return old; }
    std::FILE *stream() const { return file.get(); }
    // True while no other name (a hard link) leads to the same file.
    bool hasOneName() const;
    // Writes `bytes` into a new file in the same folder and puts it in this file's place in
    // one step, with this file's permissions (on POSIX also its owner and group, on Windows its
    // access rights). False leaves the file as it was.
    bool replaceWith(const QByteArray &bytes);
    // Writes `bytes` at `offset` and makes sure they reached the disk.
    bool writeAt(qint64 offset, const QByteArray &bytes);
    bool resize(qint64 size);

private:
    std::shared_ptr<const HeldFolder> folder;
    QString name;
    QString path;
    PlainFile file;
    std::optional<QByteArray> old;
};
