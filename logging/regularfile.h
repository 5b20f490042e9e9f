#pragma once
// The platform layer of a file rewrite: one regular file of a folder, held open from reading
// to writing, never reached through a link.

#include "plainfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

class RegularFile {
public:
    // Opens the file for reading and writing and reads it whole. A link, pipe, folder or device
    // of that name is not opened; nor is a file this process may not write, or one larger than
    // `maxSize` bytes: contents() is then empty.
    RegularFile(const QString &path, qint64 maxSize);

    const std::optional<QByteArray> &contents() const { return old; }
    // True while no other name (a hard link) leads to the same file.
    bool hasOneName() const;
    // Writes `bytes` into a new file in the same folder and puts it in this file's place in
    // one step, with this file's permissions. False leaves the file as it was.
    bool replaceWith(const QByteArray &bytes);
    // Writes `bytes` at `offset` and makes sure they reached the disk.
    bool writeAt(qint64 offset, const QByteArray &bytes);
    bool resize(qint64 size);

private:
    QString path;
    PlainFile file;
    std::optional<QByteArray> old;
};
