#pragma once
// What goes into the support archive, and the one way a file is added to it.

#include "plainfile.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

struct ZipAssemblerHandle;

struct ArchiveEntry {
    QString name;   // inside the archive
    QString source; // the file read at the time of the add: its path, or its name in `folder`
    std::shared_ptr<const HeldFolder> folder = nullptr;
};

// Opens the entry's source when it is a regular file reached without a link; null otherwise.
PlainFile openSource(const ArchiveEntry &entry);

// The support archive inside the log folder (which ends with "/").
QString supportArchivePath(const QString &logPath);

// True unless one of the logs is a regular file (not a link) with content. INI files do not count.
bool logsAreEmpty(const QStringList &logFiles);

// The archive's file entries in order: each log, each INI file (both under their file names,
// whether they exist or not), then the held backup folder's entries ending in ".log", ".ini" or
// ".txt" (letter case counts) under "backup/", sorted by name ignoring case. Without a held
// backup folder (it is no real folder, a link to one, say) there are no backup entries.
QVector<ArchiveEntry> archiveEntries(const QStringList &logFiles, const QStringList &paramFiles,
                                     const std::shared_ptr<const HeldFolder> &backups);

// Adds the entry's source under its name (as UTF-8). Only a regular file reached without a link
// is read, and never a pipe: anything else, or a file that cannot be opened, leaves no entry;
// the archive goes on.
void addToArchive(ZipAssemblerHandle *archive, const ArchiveEntry &entry);
