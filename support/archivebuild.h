#pragma once
// Building the support archive away from the window: the file entries are packed while the
// system tools run beside them, with progress reports and a cancel flag.

#include "archive.h"
#include "inisettings.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

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

// The last entry's name and contents, made from whether each entry before it was packed (the
// file entries, then the tools' entries, in order); nothing when it cannot be made, which fails
// the build.
using LastEntry = std::function<std::optional<std::pair<QString, QByteArray>>(const QVector<bool> &packed)>;

class Redactor;

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
// a link, see openSource), then the tools' entries, and closes the archive. With a `redactor`,
// every entry is read through it. `progress`
// is called on the calling thread as the work goes on, also inside a large entry. Raising
// `cancel` stops the work early, within a large entry too: the tools are told and the archive
// is closed. `last`, when given, makes the entry added after all others. Only a complete archive
// takes the place of the earlier one, through `file`, the pending file it was written into;
// otherwise that is dropped.
BuildOutcome buildSupportArchive(ZipAssemblerHandle *archive, PendingFile &file, const QVector<ArchiveEntry> &entries,
                                 const ToolRun &tools, const BuildProgressCallback &progress,
                                 const std::atomic<bool> &cancel, const LastEntry &last = nullptr,
                                 Redactor *redactor = nullptr);

// What goes into a support archive besides the backups and the system tools' outputs.
struct ArchiveRequest {
    QString logPath; // ends with "/"
    QStringList logFiles;
    QStringList paramFiles;
    quint64 maxLogSize = 0; // other than 0: every log (".log", backups too) keeps its last bytes
    LevelRecord levels;     // the level writes since the program started, for the manifest
    QString mappingPath;    // not empty: every entry is redacted, and the stand-ins' originals
                            // go into this file, readable by the user alone
};

// Where the originals of a redacted archive's stand-ins go: beside it, named after it.
QString redactionMappingPath(const QString &archivePath);

// The support archive of a log folder as the dialog and the command line build it into `file`:
// the logs and INI files asked for, the backups, the system tools' outputs, as
// buildSupportArchive does, and the manifest last. Failed when no archive can be written into
// `file`, or when a redacted archive's mapping cannot be written: then neither takes the place
// of an earlier one.
BuildOutcome buildSupportFile(const ArchiveRequest &request, PendingFile &file, const BuildProgressCallback &progress,
                              const std::atomic<bool> &cancel);
