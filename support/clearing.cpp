#include "clearing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// The matching regular files' names, sorted by name ignoring case; links, folders and files
// with other names elsewhere are no older logs.
QStringList olderLogs(const QString &logPath, const QString &pattern)
{
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (const QString &name : folderNames(logPath)) {
        if (match.match(name).hasMatch() && isPlainFile(logPath + name))
            names.append(name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

// Appends the log's bytes from `copied` to its end to the copy, and counts them.
bool copyRest(QFile &log, QFile &copy, qint64 &copied)
{
    if (!log.seek(copied))
        return false;
    char buffer[65536];
    qint64 length = 0;
    while ((length = log.read(buffer, sizeof buffer)) > 0) {
        if (copy.write(buffer, length) != length)
            return false;
        copied += length;
    }
    return length == 0 && copy.flush();
}

// A writer flat out can keep ahead of the copy only so long; then the log stays as it is.
constexpr int copyRounds = 64;

} // namespace

QString backupFolder(const QString &logPath)
{
    return logPath + QStringLiteral("backup/");
}

std::shared_ptr<const HeldFolder> makeBackupFolder(const QString &backupFolder)
{
    if (entryKind(backupFolder) == EntryKind::Missing)
        QDir().mkdir(backupFolder);
    return HeldFolder::hold(backupFolder);
}

bool backUpAndEmpty(const QString &logFile, const HeldFolder &backups)
{
    // A read-only log is still backed up; it only cannot be emptied afterwards.
    PlainFile opened = openPlainFile(logFile, true);
    const bool writable = opened != nullptr;
    if (!opened)
        opened = openPlainFile(logFile, false);
    QFile log;
    if (!opened || !log.open(opened.get(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle) ||
        log.size() == 0)
        return true;
    // A copy that a crash cuts short is never packed (it keeps its pending name) and goes at
    // the next start.
    const std::unique_ptr<PendingFile> backup = backups.createPending(QFileInfo(logFile).fileName());
    QFile copy;
    qint64 copied = 0;
    if (!backup || !copy.open(backup->stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
        !copyRest(log, copy, copied) || !backup->commit())
        return false;
    // Set on the open copy once it is in place, so that a copy of a read-only log is never left
    // read-only under its pending name.
    setPermissions(backup->stream(), log.permissions());
    if (!writable)
        return true;
    // What came while the bulk was copied goes after it; the log is emptied only once a look at
    // its size finds nothing new since the last byte copied.
    for (int round = 0; round < copyRounds; ++round) {
        if (!copyRest(log, copy, copied))
            return false;
        if (log.size() == copied)
            return emptyPlainFile(opened.get());
    }
    return false;
}

QStringList olderLogPatterns(const QStringList &logFiles)
{
    QStringList patterns;
    for (const QString &logFile : logFiles) {
        const QString base = QFileInfo(logFile).completeBaseName();
        if (!base.isEmpty())
            patterns << base + QStringLiteral("_*.log");
    }
    return patterns;
}

bool hasOlderLogs(const QString &logPath, const QStringList &patterns)
{
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&](const QString &pattern) { return !olderLogs(logPath, pattern).isEmpty(); });
}

void moveOlderLogs(const QString &logPath, const QStringList &patterns, const HeldFolder &backups)
{
    for (const QString &pattern : patterns) {
        for (const QString &name : olderLogs(logPath, pattern))
            backups.moveIn(logPath + name, name);
    }
}
