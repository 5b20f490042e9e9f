#pragma once
// What goes into the support archive, and the one way a file is added to it.

#include "plainfile.h"

#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

struct ZipAssemblerHandle;

// An open file that several owners share, such as a tool's output that is packed later.
using SharedFile = std::shared_ptr<std::FILE>;

inline SharedFile shared(PlainFile file)
{
    // A shared pointer calls its closer even for null, so null stays without one.
    return file ? SharedFile(file.release(), PlainFileCloser()) : nullptr;
}

struct ArchiveEntry {
    QString name;   // inside the archive
    QString source; // the file read at the time of the add: its name in `folder`
    std::shared_ptr<const HeldFolder> folder = nullptr;
    SharedFile file = nullptr; // the source, opened and checked already; read instead of `source`
    quint64 leftOut = 0;       // bytes of the start of a capped log that `file` leaves out
    qint64 size = -1;          // when the build began; -1 when it was no regular file
    bool packed = false;       // set by the build: the entry went in whole
};

// The entry's source when it is a regular file with one name, reached without a link; null
// otherwise.
SharedFile openSource(const ArchiveEntry &entry);

// The support archive's file name, in the log folder.
inline const QString archiveName = QStringLiteral("zel_support.zip");

// The support archive inside the log folder (which ends with "/").
QString supportArchivePath(const QString &logPath);

// What a new file's name is taken by, when it cannot take the place of what is there (see
// newPendingFile); None when it can.
FileFault namesakeFault(EntryKind kind);

// A new, empty file with `access` that becomes the file at `path` (an archive, a redaction's
// mapping) once it is complete (see PendingFile); null when none can be made in its folder, or
// when a folder, pipe or device has its name, and then `fault` tells why. A link of that name is
// replaced, never written through, unless `linkFails`.
std::unique_ptr<PendingFile> newPendingFile(const QString &path, FileFault &fault,
                                            NewFileAccess access = NewFileAccess::Readable, bool linkFails = false);

// The pending support archive of the held log folder, as newPendingFile makes it.
std::unique_ptr<PendingFile> newSupportArchive(const HeldFolder &logFolder, FileFault &fault);

// True unless one of the logs (paths of files of the held log folder) is a regular file with one
// name, not a link, with content. INI files do not count.
bool logsAreEmpty(const HeldFolder &logFolder, const QStringList &logFiles);

// The archive's file entries in order: each log, each INI file (both under their file names,
// whether they exist or not; paths of files of the held log folder), then the held backup
// folder's entries ending in ".log", ".ini" or ".txt" (letter case counts) under "backup/",
// sorted by name ignoring case, but for the pending files of a clearing under way. Without a
// held backup folder (it is no real folder, a link to one, say) there are no backup entries.
// Every name is made safe for extraction (archiveEntryName).
QVector<ArchiveEntry> archiveEntries(const std::shared_ptr<const HeldFolder> &logFolder, const QStringList &logFiles,
                                     const QStringList &paramFiles, const std::shared_ptr<const HeldFolder> &backups);

// A file's name as one entry name that no reader can take for a path: each "\", "/" and ":"
// (a separator, or a drive letter's mark, to one reader or another) becomes "%5C", "%2F" and
// "%3A", and a "%" that is followed by two hex digits becomes "%25", so that every escape reads
// back unambiguously. A name without these stays as it is.
QString archiveEntryName(const QString &fileName);

// Copies `source` from where it stands to its end onto `target`, and flushes that. False when a
// read or a write failed.
bool copyToEnd(QIODevice &source, QFileDevice &target);

// The log of `entry` cut to its last `maxSize` bytes, from the start of a line, behind a first
// line that says how many bytes were left out: an entry whose source is a private temporary
// copy, gone once it is closed, with `leftOut` set. The entry as it is when the log is no larger,
// or cannot be read or copied.
ArchiveEntry cappedLog(const ArchiveEntry &entry, quint64 maxSize);

// The bytes of an entry's name inside the archive: a name the system holds in other bytes than
// UTF-8 keeps its own bytes (the archive's names carry no UTF-8 mark, so readers take them as
// they are).
QByteArray entryNameBytes(const ArchiveEntry &entry);
