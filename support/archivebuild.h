#pragma once
// Building the support archive away from the window: the file entries are packed while the
// system tools run beside them, with progress reports and a cancel flag.

#include "archive.h"
#include "inisettings.h"
#include "sitesettings.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
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

// The last entry's name and contents, made from the file entries and the tools' entries, each
// with whether it was packed; nothing when it cannot be made, which fails the build.
using LastEntry = std::function<std::optional<std::pair<QString, QByteArray>>(const QVector<ArchiveEntry> &files,
                                                                            const QVector<ArchiveEntry> &tools)>;

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

// What a build has to tell besides its outcome, in the user's language.
struct BuildReport {
    QStringList leftOut; // "entry: reason" for each file that was there as a regular file of its
                         // own when the build began, but could not be packed
    QString problem;     // with Failed: what went wrong, and what became of the earlier files
};

// Starts `tools` on a thread of their own, adds `entries` to the open `archive` meanwhile
// (several compressed at once on all cores; only regular files with one name reached without
// a link, see openSource), setting each entry's `packed`, then the tools' entries, and closes
// the archive. With a `redactor`, every entry is read through it. `progress` is called on the
// calling thread as the work goes on, also inside a large entry. Raising `cancel` stops the work
// early, within a large entry too: the tools are told and the archive is closed. `last`, when
// given, makes the entry added after all others. Only a complete archive takes the place of the
// earlier one, through `file`, the pending file it was written into, and only when
// `beforeCommit`, called once the archive is whole, agrees; otherwise that is dropped. The
// archive is readable by nobody whom one of the packed files shuts out (see narrowReaders).
BuildOutcome buildSupportArchive(ZipAssemblerHandle *archive, PendingFile &file, QVector<ArchiveEntry> &entries,
                                 const ToolRun &tools, const BuildProgressCallback &progress,
                                 const std::atomic<bool> &cancel, const LastEntry &last = nullptr,
                                 Redactor *redactor = nullptr, const std::function<bool()> &beforeCommit = nullptr,
                                 BuildReport *report = nullptr);

// What goes into a support archive besides the backups and the system tools' outputs.
struct ArchiveRequest {
    std::shared_ptr<const HeldFolder> logFolder;
    QStringList logFiles;   // paths of files of the log folder
    QStringList paramFiles; // likewise
    quint64 maxLogSize = 0; // other than 0: every log (".log", backups too) keeps its last bytes
    LevelRecord levels;     // the level writes since the program started, for the manifest
    QString mappingPath;    // not empty: every entry is redacted, and the stand-ins' originals
                            // go into this file, readable by the user alone
    SiteSettings site;      // in force, for the manifest
};

// The largest cap (see ArchiveRequest::maxLogSize) under which logs of `logSizes` keep no more
// than `budget` bytes together; at least 1, since 0 would mean no cap.
quint64 logCapToFit(QVector<quint64> logSizes, quint64 budget);

// The sizes of the logs that a build of `request` would pack: its logs and the backups whose
// names end with ".log", each as it is now.
QVector<quint64> logSizes(const ArchiveRequest &request);

// Where the originals of a redacted archive's stand-ins go: beside it, named after it.
QString redactionMappingPath(const QString &archivePath);

// The support archive of a log folder as the dialog and the command line build it into `file`:
// the logs and INI files asked for, the backups, the system tools' outputs, as
// buildSupportArchive does, and the manifest last. A redacted archive and its mapping are one:
// the mapping takes its place first, the archive last, and where the archive then cannot follow,
// the earlier mapping is put back; a crash in between leaves the archive complete under its
// pending name, which the mapping names, for completeRedactedPair to put in place at the next
// start. Failed when no archive can be written into `file`, or when a redacted archive's mapping
// cannot be written: then neither takes the place of an earlier one. `report` tells the rest.
BuildOutcome buildSupportFile(const ArchiveRequest &request, PendingFile &file, const BuildProgressCallback &progress,
                              const std::atomic<bool> &cancel, BuildReport &report);

// Finishes the commit of a redacted archive whose mapping took its place but whose program ended
// before the archive followed: where the mapping of `archiveName` in the held folder names a
// complete archive of ours under its pending name, that takes the archive's name. Returns
// whether it did.
bool completeRedactedPair(const HeldFolder &folder, const QString &archiveName);
