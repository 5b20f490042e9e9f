#include "clearing.h"

#include "plainfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// The matching regular files' names, sorted by name ignoring case. The name filter ignores case
// because QDir::CaseSensitive is not among the filters; links of such names are no older logs.
QStringList olderLogs(const QString &logPath, const QString &pattern)
{
    return QDir(logPath).entryList({pattern}, QDir::Files | QDir::NoSymLinks);
}

// Copies the log whole into a new file of the backup folder, with the log's permissions, and
// puts that in the place of its backup. Anything short of a complete copy leaves the earlier
// backup as it was.
bool copyOver(QFile &log, QFileDevice::Permissions permissions, const QString &backup)
{
    // The temporary name ends in neither ".log", ".ini" nor ".txt", so a copy left over by a
    // crash never goes into an archive.
    QTemporaryFile copy(backup + QStringLiteral(".XXXXXX"));
    if (!copy.open())
        return false;
    char buffer[65536];
    qint64 length = 0;
    while ((length = log.read(buffer, sizeof buffer)) > 0) {
        if (copy.write(buffer, length) != length)
            return false;
    }
    // Set on the open copy, so no link put in its place meanwhile is changed.
    if (length < 0 || !copy.flush() || !copy.setPermissions(permissions))
        return false;
    copy.close();
    if (!replaceFile(copy.fileName(), backup))
        return false;
    copy.setAutoRemove(false);
    return true;
}

} // namespace

QString backupFolder(const QString &logPath)
{
    return logPath + QStringLiteral("backup/");
}

bool makeBackupFolder(const QString &backupFolder)
{
    if (entryKind(backupFolder) == EntryKind::Missing)
        QDir().mkdir(backupFolder);
    return isPlainFolder(backupFolder);
}

void backUpAndEmpty(const QString &logFile, const QString &backupFolder)
{
    // A read-only log is still backed up; it only cannot be emptied afterwards.
    PlainFile opened = openPlainFile(logFile, true);
    if (!opened)
        opened = openPlainFile(logFile, false);
    QFile log;
    if (!opened || !log.open(opened.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || log.size() == 0)
        return;
    const QFileInfo info(logFile);
    if (copyOver(log, info.permissions(), backupFolder + info.fileName()))
        emptyPlainFile(opened.get());
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

void moveOlderLogs(const QString &logPath, const QStringList &patterns, const QString &backupFolder)
{
    for (const QString &pattern : patterns) {
        for (const QString &name : olderLogs(logPath, pattern))
            replaceFile(logPath + name, backupFolder + name);
    }
}
