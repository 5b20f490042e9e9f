#pragma once
// Building the support archive away from the window: the file entries are packed while the
// system tools run beside them, with progress reports and a cancel flag.

#include "archive.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

struct ZipAssemblerHandle;

struct BuildProgress {
    QString entry; // the entry being packed; empty while the build waits for the system tools
    quint64 done;  // source bytes packed so far
    quint64 total; // source bytes of all file entries, as found at the start
};

using BuildProgressCallback = std::function<void(const BuildProgress &)>;

// Runs the system tools until they end or `cancel` is raised, and returns the archive entries
// of the files they made.
using ToolRun = std::function<QVector<ArchiveEntry>(const std::atomic<bool> &cancel)>;

// How a build of the support archive ended.
enum class BuildOutcome {
    Built,     // the archive took the place of the earlier one
    Cancelled, // stopped on request; the earlier archive stays as it was
    Failed,    // the archive could not be written whole (a full disk, a file-size limit); the
               // earlier archive stays as it was
    Empty,     // not started: no log has content (the dialog's own outcome; a build never
               // ends so)
};

// Starts `tools` on a thread of their own, adds `entries` to the open `archive` meanwhile
// (several compressed at once on all cores; only regular files with one name reached without
// a link, as with addToArchive), then the tools' entries, and closes the archive. `progress`
// is called on the calling thread as the work goes on, also inside a large entry. Raising
// `cancel` stops the work early, within a large entry too: the tools are told and the archive
// is closed. Only a complete archive takes the place of the earlier one, through `file`, the
// pending file it was written into; otherwise that is dropped.
BuildOutcome buildSupportArchive(ZipAssemblerHandle *archive, PendingFile &file, const QVector<ArchiveEntry> &entries,
                                 const ToolRun &tools, const BuildProgressCallback &progress,
                                 const std::atomic<bool> &cancel);

// The support archive of a log folder (which ends with "/") as the dialog and the command line
// build it into `file`: the logs and INI files given, the backups, then the system tools'
// outputs, as buildSupportArchive does. A `maxLogSize` other than 0 cuts every log (".log",
// backups too) to its last bytes (cappedLog). Failed when no archive can be written into `file`.
BuildOutcome buildSupportFile(const QString &logPath, const QStringList &logFiles, const QStringList &paramFiles,
                              quint64 maxLogSize, PendingFile &file, const BuildProgressCallback &progress,
                              const std::atomic<bool> &cancel);
