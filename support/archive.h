#pragma once
// What goes into the support archive, and the one way a file is added to it.

#include <QString>
#include <QStringList>
#include <QVector>

struct ZipAssemblerHandle;

struct ArchiveEntry {
    QString name;   // inside the archive
    QString source; // the file read at the time of the add
};

// The support archive inside the log folder (which ends with "/").
QString supportArchivePath(const QString &logPath);

// True unless one of the logs is a file with content. INI files do not count.
bool logsAreEmpty(const QStringList &logFiles);

// The archive's file entries in order: each log, each INI file (both under their file names,
// whether they exist or not), then the backup folder's entries ending in ".log", ".ini" or
// ".txt" (letter case counts) under "backup/", sorted by name ignoring case.
QVector<ArchiveEntry> archiveEntries(const QStringList &logFiles, const QStringList &paramFiles,
                                     const QString &backupFolder);

// Adds the file `source` under `name`, both handed over as UTF-8. A file that cannot be opened
// leaves no entry; the archive goes on.
void addToArchive(ZipAssemblerHandle *archive, const QString &name, const QString &source);
