#include "filerewrite.h"

#include "platform.h"

#include <QFile>

RegularFile::RegularFile(std::shared_ptr<const HeldFolder> heldFolder, const QString &fileName, qint64 maxSize)
    : folder(std::move(heldFolder)), name(fileName), path(folder->path() + fileName), file(folder->open(fileName, true))
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

// A recovery file starts with what ties it to its file: a mark, the file's name (in hex, as the
// system holds its bytes) and its identity on the disk; the old bytes follow the empty line.
const QByteArray recoveryMark("zel.logging recovery 1\n");

QByteArray recoveryHeader(const QString &name, const FileIdentity &identity)
{
    return recoveryMark + fileNameBytes(name).toHex() + '\n' + QByteArray::number(identity.device) + ' ' +
           QByteArray::number(identity.file) + "\n\n";
}

// The old bytes of a file being rewritten in place, kept beside it until the write is done.
struct Recovery {
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

std::optional<Recovery> keepRecovery(const HeldFolder &folder, const QString &name, std::FILE *target,
                                     const QByteArray &old)
{
    const std::optional<FileIdentity> identity = identityOf(target);
    Recovery recovery{QString(), nullptr};
    if (identity)
        recovery.file = folder.createUnique(name + QLatin1Char('~'), recoverySuffix, recovery.name,
                                            NewFileAccess::Private);
    if (!recovery.file)
        return std::nullopt;
    if (overwrite(recovery.file.get(), recoveryHeader(name, *identity) + old))
        return recovery;
    folder.remove(recovery.name);
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

// The name of the file a recovery file's name points at, or empty for no recovery file's name.
QString recoveryTarget(const QString &name)
{
    const QString target = name.left(name.lastIndexOf(QLatin1Char('~')));
    return !target.isEmpty() && isUniqueName(name, target + QLatin1Char('~'), recoverySuffix) ? target : QString();
}

// A recovery file of ours that no running rewrite holds, with what it records.
struct Leftover {
    PlainFile file;
    QByteArray header;
    QByteArray old;
};

std::optional<Leftover> claimRecovery(const HeldFolder &folder, const QString &name)
{
    Leftover leftover{folder.claimLeftover(name), {}, {}};
    QFile reader;
    if (!leftover.file || !ownedByUser(leftover.file.get()) ||
        !reader.open(leftover.file.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    const QByteArray bytes = reader.readAll();
    if (reader.error() != QFileDevice::NoError)
        return std::nullopt;
    const qsizetype end = bytes.indexOf("\n\n");
    leftover.header = end < 0 ? QByteArray() : bytes.left(end + 2);
    leftover.old = end < 0 ? QByteArray() : bytes.mid(end + 2);
    return leftover;
}

// Removes the recovery files of ours that earlier rewrites of `name` (the open `target`) left.
void dropStaleRecoveries(const HeldFolder &folder, const QString &name, std::FILE *target)
{
    const std::optional<FileIdentity> identity = identityOf(target);
    if (!identity)
        return;
    for (const QString &entry : folder.names()) {
        if (recoveryTarget(entry) != name)
            continue;
        const std::optional<Leftover> leftover = claimRecovery(folder, entry);
        if (leftover && leftover->header == recoveryHeader(name, *identity) && folder.holds(entry, leftover->file.get()))
            folder.remove(entry);
    }
}

} // namespace

Rewrite rewriteRegularFile(const std::shared_ptr<const HeldFolder> &folder, const QString &name, qint64 maxSize,
                           const Rewriter &rewrite)
{
    RegularFile file(folder, name, maxSize);
    if (!file.contents())
        return Rewrite::Untouched;
    const QByteArray old = *file.contents();
    const std::optional<QByteArray> bytes = rewrite(old);
    if (!bytes)
        return Rewrite::Untouched;
    if (file.replaceWith(*bytes))
        return Rewrite::Written;
    // Writing in place would also change what another name of the file shows.
    if (!file.stream() || !file.hasOneName())
        return Rewrite::Untouched;
    const std::optional<Recovery> recovery = keepRecovery(*folder, name, file.stream(), old);
    if (!recovery)
        return Rewrite::Untouched;
    const Rewrite result = rewriteInPlace(file, old, *bytes);
    // A file left changed keeps its recovery file, for the next start to put it back.
    if (result != Rewrite::Failed)
        folder->remove(recovery->name);
    if (result == Rewrite::Written)
        dropStaleRecoveries(*folder, name, file.stream());
    return result;
}

QStringList restoreInterruptedRewrites(const std::shared_ptr<const HeldFolder> &folder)
{
    QStringList foreign;
    for (const QString &name : folder->names()) {
        const QString target = recoveryTarget(name);
        if (target.isEmpty())
            continue;
        // Only a recovery file of ours, made by a rewrite that has ended: another user's could
        // hold anything. And only into the file it was made for: a file of ours renamed into
        // the folder under such a name is no recovery file, whatever it holds.
        const std::optional<Leftover> leftover = claimRecovery(*folder, name);
        if (!leftover)
            continue;
        const PlainFile file = folder->open(target, true);
        const std::optional<FileIdentity> identity = file ? identityOf(file.get()) : std::nullopt;
        if (!identity || leftover->header != recoveryHeader(target, *identity)) {
            foreign << name;
            continue;
        }
        if (overwrite(file.get(), leftover->old) && folder->holds(name, leftover->file.get()))
            folder->remove(name);
    }
    return foreign;
}
