#include "filerewrite.h"

#include "regularfile.h"

#include <QFile>

RegularFile::RegularFile(const QString &path, qint64 maxSize) : path(path), file(openPlainFile(path, true))
{
    QFile reader;
    if (file && reader.open(file.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && reader.size() <= maxSize) {
        const QByteArray bytes = reader.readAll();
        if (bytes.size() <= maxSize) // it may have grown since it was measured
            old = bytes;
    }
}

namespace {

// Rewrites the file in place. The new bytes beyond the old length go first, so that a full disk
// or a file-size limit stops the write while every old byte is still there; once they are in,
// overwriting the old bytes needs no more room.
Rewrite rewriteInPlace(RegularFile &file, const QByteArray &old, const QByteArray &bytes)
{
    if (bytes.size() > old.size() && !file.writeAt(old.size(), bytes.mid(old.size())))
        return file.resize(old.size()) ? Rewrite::Untouched : Rewrite::Failed;
    if (file.writeAt(0, bytes.left(old.size())) && file.resize(bytes.size()))
        return Rewrite::Written;
    // The room was there, so only a failing device gets here: try to put the old bytes back.
    return file.writeAt(0, old) && file.resize(old.size()) ? Rewrite::Untouched : Rewrite::Failed;
}

} // namespace

Rewrite rewriteRegularFile(const QString &path, qint64 maxSize, const Rewriter &rewrite)
{
    RegularFile file(path, maxSize);
    if (!file.contents())
        return Rewrite::Untouched;
    const QByteArray old = *file.contents();
    const std::optional<QByteArray> bytes = rewrite(old);
    if (!bytes)
        return Rewrite::Untouched;
    if (file.replaceWith(*bytes))
        return Rewrite::Written;
    // Writing in place would also change what another name of the file shows.
    if (!file.hasOneName())
        return Rewrite::Untouched;
    return rewriteInPlace(file, old, *bytes);
}
