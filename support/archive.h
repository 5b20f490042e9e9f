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

// True unless one of the logs is a regular file (not a link) with content. INI files do not count.
bool logsAreEmpty(const QStringList &logFiles);

// The archive's file entries in order: each log, each INI file (both under their file names,
// whether they exist or not), then the backup folder's entries ending in ".log", ".ini" or
// ".txt" (letter case counts) under "backup/", sorted by name ignoring case. A backup folder
// that is not a real folder (a link to one, say) gives no entries.
QVector<ArchiveEntry> archiveEntries(const QStringList &logFiles, const QStringList &paramFiles,
                                     const QString &backupFolder);

// Adds the file `source` under `name` (as UTF-8). Only a regular file reached without a link is
// read, and never a pipe: anything else, or a file that cannot be opened, leaves no entry; the
// archive goes on.
void addToArchive(ZipAssemblerHandle *archive, const QString &name, const QString &source);
