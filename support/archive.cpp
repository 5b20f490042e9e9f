#include "archive.h"

#include "zipassembler.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QString supportArchivePath(const QString &logPath)
{
    return logPath + QStringLiteral("zel_support.zip");
}

bool logsAreEmpty(const QStringList &logFiles)
{
    // A folder named like a log has a size too, but nothing to send.
    return std::none_of(logFiles.cbegin(), logFiles.cend(), [](const QString &path) {
        const QFileInfo log(path);
        return log.isFile() && log.size() != 0;
    });
}

QVector<ArchiveEntry> archiveEntries(const QStringList &logFiles, const QStringList &paramFiles,
                                     const QString &backupFolder)
{
    QVector<ArchiveEntry> entries;
    for (const QString &path : logFiles + paramFiles)
        entries.append({QFileInfo(path).fileName(), path});
    for (const QString &name : QDir(backupFolder).entryList()) {
        if (name.endsWith(QLatin1String(".log")) || name.endsWith(QLatin1String(".ini")) ||
            name.endsWith(QLatin1String(".txt")))
            entries.append({QStringLiteral("backup/") + name, backupFolder + name});
    }
    return entries;
}

void addToArchive(ZipAssemblerHandle *archive, const QString &name, const QString &source)
{
    zipAssemblerAdd(archive, name.toUtf8().constData(), source.toUtf8().constData(), 0,
                    ZipSourceKind::FileName);
}
