#include "archivebuild.h"

#include "plainfile.h"
#include "zipassembler.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <memory>

namespace {

// What an entry's source adds to the work: only a regular file is packed.
quint64 plainFileSize(const QString &path)
{
    return isPlainFile(path) ? quint64(QFileInfo(path).size()) : 0;
}

} // namespace

bool buildSupportArchive(ZipAssemblerHandle *archive, const QString &archivePath,
                         const QVector<ArchiveEntry> &entries, const ToolRun &tools,
                         const BuildProgressCallback &progress, const std::atomic<bool> &cancel)
{
    // The tools may take far longer than the packing (a system report can take tens of
    // seconds), so they start first and run alongside it.
    QVector<ArchiveEntry> toolEntries;
    const std::unique_ptr<QThread> toolThread(QThread::create([&] { toolEntries = tools(cancel); }));
    toolThread->start();

    QVector<quint64> sizes;
    quint64 total = 0;
    for (const ArchiveEntry &entry : entries)
        total += sizes.emplace_back(plainFileSize(entry.source));
    quint64 done = 0;
    for (int i = 0; i < entries.size() && !cancel; ++i) {
        progress({entries[i].name, done, total});
        addToArchive(archive, entries[i].name, entries[i].source);
        done += sizes[i];
    }
    progress({QString(), done, total});
    toolThread->wait();
    for (const ArchiveEntry &entry : toolEntries) {
        if (cancel)
            break;
        addToArchive(archive, entry.name, entry.source);
    }
    zipAssemblerClose(archive);
    if (!cancel)
        return true;
    QFile::remove(archivePath);
    return false;
}
