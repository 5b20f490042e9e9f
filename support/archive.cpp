#include "archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cctype>

QString supportArchivePath(const QString &logPath)
{
    return logPath + archiveName;
}

FileFault namesakeFault(EntryKind kind)
{
    return replaceable(kind) ? FileFault::None : FileFault::NotPlain;
}

std::unique_ptr<PendingFile> newPendingFile(const QString &path, FileFault &fault, NewFileAccess access,
                                            bool linkFails)
{
    // A folder, pipe or device of the file's name could never be replaced: no work is wasted on it.
    const QFileInfo info(path);
    const EntryKind kind = entryKind(path);
    fault = linkFails && kind == EntryKind::Link ? FileFault::NotPlain : namesakeFault(kind);
    if (fault != FileFault::None)
        return nullptr;
    const auto folder = HeldFolder::hold(info.absolutePath() + QLatin1Char('/'));
    std::unique_ptr<PendingFile> file = folder ? folder->createPending(info.fileName(), access) : nullptr;
    if (!file)
        fault = folder ? lastFault() : FileFault::Denied;
    return file;
}

std::unique_ptr<PendingFile> newSupportArchive(const HeldFolder &logFolder, FileFault &fault)
{
    fault = namesakeFault(logFolder.kind(archiveName));
    if (fault != FileFault::None)
        return nullptr;
    std::unique_ptr<PendingFile> file = logFolder.createPending(archiveName, NewFileAccess::Readable);
    if (!file)
        fault = lastFault();
    return file;
}

bool logsAreEmpty(const HeldFolder &logFolder, const QStringList &logFiles)
{
    // A folder named like a log has a size too, but nothing to send; nor has a link, whatever
    // it leads to.
    return std::none_of(logFiles.cbegin(), logFiles.cend(),
                        [&](const QString &path) { return logFolder.size(QFileInfo(path).fileName()) != 0; });
}

SharedFile openSource(const ArchiveEntry &entry)
{
    if (entry.file)
        return entry.file;
    return shared(entry.folder ? entry.folder->open(entry.source, false) : nullptr);
}

QVector<ArchiveEntry> archiveEntries(const std::shared_ptr<const HeldFolder> &logFolder, const QStringList &logFiles,
                                     const QStringList &paramFiles, const std::shared_ptr<const HeldFolder> &backups)
{
    QVector<ArchiveEntry> entries;
    for (const QString &path : logFiles + paramFiles) {
        const QString name = QFileInfo(path).fileName();
        entries.append({archiveEntryName(name), name, logFolder});
    }
    // A backup folder that is a link may lead anywhere: none of it is packed.
    if (!backups)
        return entries;
    QStringList names = backups->names();
    // Names that differ only in letter case keep one order too, so equal folders give equal
    // archives.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    for (const QString &name : std::as_const(names)) {
        if (!isPendingName(name) && (name.endsWith(QLatin1String(".log")) || name.endsWith(QLatin1String(".ini")) ||
                                     name.endsWith(QLatin1String(".txt"))))
            entries.append({QStringLiteral("backup/") + archiveEntryName(name), name, backups});
    }
    return entries;
}

QString archiveEntryName(const QString &fileName)
{
    const auto isHex = [&](qsizetype at) {
        return at < fileName.size() && std::isxdigit(static_cast<unsigned char>(fileName.at(at).toLatin1()));
    };
    QString name;
    for (qsizetype at = 0; at < fileName.size(); ++at) {
        const QChar c = fileName.at(at);
        if (c == u'\\')
            name += QStringLiteral("%5C");
        else if (c == u'/')
            name += QStringLiteral("%2F");
        else if (c == u':')
            name += QStringLiteral("%3A");
        else if (c == u'%' && isHex(at + 1) && isHex(at + 2))
            name += QStringLiteral("%25");
        else
            name += c;
    }
    return name;
}

bool copyToEnd(QIODevice &source, QFileDevice &target)
{
    char buffer[65536];
    qint64 length = 0;
    bool done = true;
    while (done && (length = source.read(buffer, sizeof buffer)) > 0)
        done = target.write(buffer, length) == length;
    return done && length == 0 && target.flush();
}

ArchiveEntry cappedLog(const ArchiveEntry &entry, quint64 maxSize)
{
    const SharedFile log = openSource(entry);
    const qint64 size = log ? currentSize(log.get()) : -1;
    QFile source;
    if (size < 0 || quint64(size) <= maxSize ||
        !source.open(log.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return entry;
    // The kept part begins after the first line end at or after the byte before the cut, so a
    // cut right behind a line end keeps that line whole.
    qint64 start = size - qint64(maxSize);
    if (!source.seek(start - 1))
        return entry;
    for (qint64 at = start - 1; at < size;) {
        const QByteArray block = source.read(65536);
        if (block.isEmpty())
            return entry;
        const qsizetype lineEnd = block.indexOf('\n');
        if (lineEnd >= 0) {
            start = at + lineEnd + 1;
            break;
        }
        at += block.size();
    }
    // A private copy (mode 0600 on POSIX) in the temporary folder; once it is open for packing,
    // its name goes, and the data with the last handle.
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/zel.logging-log-XXXXXX"));
    bool done = copy.open() && source.seek(start);
    done = done && copy.write(QStringLiteral("[zel.logging: the first %1 bytes of this log were left out]\n")
                                  .arg(start)
                                  .toUtf8()) > 0;
    done = done && copyToEnd(source, copy);
    copy.close();
    const SharedFile capped = done ? shared(openPlainFile(copy.fileName(), false)) : nullptr;
    return capped ? ArchiveEntry{entry.name, entry.source, entry.folder, capped, quint64(start), entry.size} : entry;
}

QByteArray entryNameBytes(const ArchiveEntry &entry)
{
    return fileNameBytes(entry.name);
}
