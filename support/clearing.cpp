#include "clearing.h"

#include "plainfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
bool copyOver(QFile &log, QFileDevice::Permissions permissions, const HeldFolder &backups, const QString &backup)
{
    // The temporary name ends in neither ".log", ".ini" nor ".txt", so a copy left over by a
    // crash never goes into an archive.
    QString copyName;
    PlainFile copyFile = backups.create(backup + QLatin1Char('.'), copyName);
    if (!copyFile)
        return false;
    QFile copy;
    bool done = copy.open(copyFile.get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    char buffer[65536];
    qint64 length = 0;
    while (done && (length = log.read(buffer, sizeof buffer)) > 0)
        done = copy.write(buffer, length) == length;
    done = done && length == 0 && copy.flush();
    copy.close();
    if (done && backups.replace(copyName, backup)) {
        // Set on the open copy once it is in place, so that a copy of a read-only log is never
        // left read-only under its temporary name.
        return setPermissions(copyFile.get(), permissions);
    }
    copyFile.reset();
    backups.remove(copyName);
    return false;
}

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

void backUpAndEmpty(const QString &logFile, const HeldFolder &backups)
{
    // A read-only log is still backed up; it only cannot be emptied afterwards.
    PlainFile opened = openPlainFile(logFile, true);
    if (!opened)
        opened = openPlainFile(logFile, false);
    QFile log;
    if (!opened || !log.open(opened.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || log.size() == 0)
        return;
    const QFileInfo info(logFile);
    if (copyOver(log, info.permissions(), backups, info.fileName()))
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

void moveOlderLogs(const QString &logPath, const QStringList &patterns, const HeldFolder &backups)
{
    for (const QString &pattern : patterns) {
        for (const QString &name : olderLogs(logPath, pattern))
            backups.moveIn(logPath + name, name);
    }
}
