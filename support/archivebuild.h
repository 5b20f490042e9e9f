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

// Starts `tools` on a thread of their own, adds `entries` to the open `archive` meanwhile
// (several compressed at once on all cores; only regular files reached without a link, as
// with addToArchive), then the tools' entries, and closes the archive. `progress` is called on
// the calling thread as the work goes on, also inside a large entry. Raising `cancel` stops the
// work early, within a large entry too: the tools are told, the archive is closed and its file
// `archivePath` removed, and the result is false. An archive that could not be written whole
// is removed too, but counts as built (the result is true), as a missing archive does.
bool buildSupportArchive(ZipAssemblerHandle *archive, const QString &archivePath,
                         const QVector<ArchiveEntry> &entries, const ToolRun &tools,
                         const BuildProgressCallback &progress, const std::atomic<bool> &cancel);
