#include "clearing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// The matching files' names, sorted by name ignoring case. The name filter ignores case because
// QDir::CaseSensitive is not among the filters.
QStringList olderLogs(const QString &logPath, const QString &pattern)
{
    return QDir(logPath).entryList({pattern}, QDir::Files);
}

// QFile::copy and QFile::rename never replace a file, so its namesake goes first.
void clearTarget(const QString &target)
{
    if (QFileInfo::exists(target))
        QFile::remove(target);
}

} // namespace

QString backupFolder(const QString &logPath)
{
    return logPath + QStringLiteral("backup/");
}

void makeBackupFolder(const QString &backupFolder)
{
    if (!QDir(backupFolder).exists())
        QDir().mkdir(backupFolder);
}

void backUpAndEmpty(const QString &logFile, const QString &backupFolder)
{
    const QFileInfo log(logFile);
    if (!log.exists() || log.size() == 0)
        return;
    const QString backup = backupFolder + log.fileName();
    clearTarget(backup);
    if (QFile::copy(logFile, backup))
        QFile::resize(logFile, 0);
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
        for (const QString &name : olderLogs(logPath, pattern)) {
            clearTarget(backupFolder + name);
            QFile::rename(logPath + name, backupFolder + name);
        }
    }
}
