#include "filerewrite.h"

#include "platform.h"

#include <QFile>
#include <QFileInfo>

RegularFile::RegularFile(const QString &path, qint64 maxSize) : path(path), file(openRegularFile(path, true))
{
    QFile reader;
    if (file && reader.open(file.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && reader.size() <= maxSize) {
        const QByteArray bytes = reader.readAll();
        if (bytes.size() <= maxSize) // it may have grown since it was measured
            old = bytes;
    }
}

namespace {

const QString recoverySuffix = QStringLiteral(".restore");

// The old bytes of a file being rewritten in place, kept beside it until the write is done.
struct Recovery {
    std::shared_ptr<const HeldFolder> folder;
    QString name;
    PlainFile file; // held open, which marks it as in use
};

// Writes `bytes` over the open file's contents, makes them its whole contents and makes sure
// they reached the disk.
bool overwrite(std::FILE *file, const QByteArray &bytes)
{
    QFile writer;
    return writer.open(file, QIODevice::ReadWrite, QFileDevice::DontCloseHandle) && writer.seek(0) &&
           writer.write(bytes) == bytes.size() && writer.resize(bytes.size()) && writer.flush() && syncFile(file);
}

std::optional<Recovery> keepRecovery(const QString &path, const QByteArray &old)
{
    const QFileInfo info(path);
    Recovery recovery{HeldFolder::hold(info.path() + QLatin1Char('/')), QString(), nullptr};
    if (recovery.folder)
        recovery.file = recovery.folder->createUnique(info.fileName() + QLatin1Char('~'), recoverySuffix, recovery.name);
    if (!recovery.file)
        return std::nullopt;
    if (overwrite(recovery.file.get(), old))
        return recovery;
    recovery.folder->remove(recovery.name);
    return std::nullopt;
}

// Rewrites the file in place. The new bytes beyond the old length go first, so that a full disk
// or a file-size limit usually stops the write while every old byte is still there; once they
// are in, overwriting the old bytes needs no more room.
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
    const std::optional<Recovery> recovery = keepRecovery(path, old);
    if (!recovery)
        return Rewrite::Untouched;
    const Rewrite result = rewriteInPlace(file, old, *bytes);
    // A file left changed keeps its recovery file, for the next start to put it back.
    if (result != Rewrite::Failed)
        recovery->folder->remove(recovery->name);
    return result;
}

void restoreInterruptedRewrites(const QString &folderPath)
{
    const auto folder = HeldFolder::hold(folderPath);
    if (!folder)
        return;
    for (const QString &name : folder->names()) {
        const QString target = name.left(name.lastIndexOf(QLatin1Char('~')));
        if (target.isEmpty() || !isUniqueName(name, target + QLatin1Char('~'), recoverySuffix))
            continue;
        // Only a recovery file of ours, made by a rewrite that has ended: another user's could
        // hold anything.
        const PlainFile saved = folder->claimLeftover(name);
        QFile reader;
        if (!saved || !ownedByUser(saved.get()) ||
            !reader.open(saved.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            continue;
        const QByteArray old = reader.readAll();
        if (reader.error() != QFileDevice::NoError)
            continue;
        const PlainFile file = folder->open(target, true);
        const bool settled = file ? overwrite(file.get(), old) : entryKind(folderPath + target) == EntryKind::Missing;
        if (settled && folder->holds(name, saved.get()))
            folder->remove(name);
    }
}
