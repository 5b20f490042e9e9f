#include "archivebuild.h"

#include "clearing.h"
#include "identity.h"
#include "manifest.h"
#include "plainfile.h"
#include "redaction.h"
#include "systemtools.h"
#include "zipassembler.h"

#include <QFileInfo>
#include <QThread>

#include <memory>
#include <vector>

namespace {

// Files open at once in one batch: enough for every core to have work, few enough that a
// backup folder of thousands of logs cannot run the process out of file handles.
constexpr int batchSize = 64;

// One batch's view of the whole build.
struct BatchProgress {
    const BuildProgressCallback &progress;
    const std::atomic<bool> &cancel;
    Redactor *redactor; // null: the files go in as they are
    QStringList names; // of the batch's entries, in order
    quint64 doneBefore; // bytes of the batches before this one
    quint64 total;
};

bool reportBatch(void *context, uint32_t entry, uint64_t done, uint64_t)
{
    const auto &batch = *static_cast<const BatchProgress *>(context);
    if (entry < uint32_t(batch.names.size()))
        batch.progress({batch.names[int(entry)], batch.doneBefore + done, batch.total});
    return !batch.cancel;
}

// Adds `entries` in one batch, each a regular file opened here without following a link and
// without waiting on a pipe (see openSource); anything else leaves no entry. Appends to
// `packed` whether each entry went in whole.
void addBatch(ZipAssemblerHandle *archive, const QVector<ArchiveEntry> &entries, BatchProgress &report,
              QVector<bool> &packed)
{
    std::vector<SharedFile> files;
    std::vector<std::unique_ptr<RedactedSource>> redacted;
    QVector<QByteArray> names;
    QVector<int> places; // in `packed`, of each opened entry
    for (const ArchiveEntry &entry : entries) {
        packed.append(false);
        if (SharedFile file = openSource(entry)) {
            if (report.redactor)
                redacted.push_back(std::make_unique<RedactedSource>(file, *report.redactor));
            files.push_back(std::move(file));
            names.append(entryNameBytes(entry));
            places.append(packed.size() - 1);
            report.names.append(entry.name);
        }
    }
    std::vector<ZipAssemblerEntry> batch;
    for (size_t i = 0; i < files.size(); ++i) {
        if (report.redactor)
            batch.push_back({names[int(i)].constData(), redacted[i]->reader(), 0, ZipSourceKind::Reader,
                             ZipAssemblerResult::Ok});
        else
            batch.push_back(
                {names[int(i)].constData(), files[i].get(), 0, ZipSourceKind::Stream, ZipAssemblerResult::Ok});
    }
    zipAssemblerAddBatch(archive, batch.data(), uint32_t(batch.size()), reportBatch, &report);
    for (size_t i = 0; i < batch.size(); ++i)
        packed[places[int(i)]] = batch[i].result == ZipAssemblerResult::Ok;
}

// What an entry's source adds to the work: only a regular file is packed.
quint64 plainFileSize(const ArchiveEntry &entry)
{
    if (entry.file)
        return quint64(qMax<qint64>(currentSize(entry.file.get()), 0));
    if (entry.folder)
        return entry.folder->size(entry.source);
    return isPlainFile(entry.source) ? quint64(QFileInfo(entry.source).size()) : 0;
}

// The redaction's mapping, written whole into a new file beside the archive that only the user
// may read; it takes the place of an earlier one when committed.
std::unique_ptr<PendingFile> writeMapping(const QString &path, const Redactor &redactor)
{
    const QFileInfo info(path);
    std::unique_ptr<PendingFile> file = newPendingFile(path, NewFileAccess::Private);
    QFile text;
    if (!file || !text.open(file->stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return nullptr;
    const QByteArray mapping = "# zel.logging: the originals behind the stand-ins of " + info.completeBaseName().toUtf8() +
                               ".zip. Keep this file; it is not for sending.\n" + redactor.mapping();
    return text.write(mapping) == mapping.size() && text.flush() ? std::move(file) : nullptr;
}

} // namespace

BuildOutcome buildSupportArchive(ZipAssemblerHandle *archive, PendingFile &file, const QVector<ArchiveEntry> &entries,
                                 const ToolRun &tools, const BuildProgressCallback &progress,
                                 const std::atomic<bool> &cancel, const LastEntry &last, Redactor *redactor)
{
    // The tools may take far longer than the packing (a system report can take tens of
    // seconds), so they start first and run alongside it.
    QVector<ArchiveEntry> toolEntries;
    const std::unique_ptr<QThread> toolThread(QThread::create([&] { toolEntries = tools(cancel); }));
    toolThread->start();

    QVector<quint64> sizes;
    quint64 total = 0;
    for (const ArchiveEntry &entry : entries)
        total += sizes.emplace_back(plainFileSize(entry));
    quint64 done = 0;
    QVector<bool> packed;
    for (int first = 0; first < entries.size() && !cancel; first += batchSize) {
        BatchProgress report{progress, cancel, redactor, {}, done, total};
        addBatch(archive, entries.mid(first, batchSize), report, packed);
        for (const quint64 size : sizes.mid(first, batchSize))
            done += size;
    }
    progress({QString(), done, total});
    toolThread->wait();
    packed.resize(entries.size());
    // The tools' outputs are small: their packing goes unreported.
    const BuildProgressCallback quiet = [](const BuildProgress &) {};
    BatchProgress toolReport{quiet, cancel, redactor, {}, 0, 0};
    if (!cancel)
        addBatch(archive, toolEntries, toolReport, packed);
    packed.resize(entries.size() + toolEntries.size());
    bool lastWritten = true;
    if (last && !cancel) {
        const std::optional<std::pair<QString, QByteArray>> entry = last(packed);
        lastWritten = entry && zipAssemblerAdd(archive, fileNameBytes(entry->first).constData(),
                                               entry->second.constData(), uint32_t(entry->second.size()),
                                               ZipSourceKind::Memory) == ZipAssemblerResult::Ok;
    }
    const bool written = zipAssemblerClose(archive) == ZipAssemblerResult::Ok && lastWritten;
    if (cancel)
        return BuildOutcome::Cancelled;
    // Only now, complete on the disk, does it replace the earlier archive.
    return written && file.commit() ? BuildOutcome::Built : BuildOutcome::Failed;
}

BuildOutcome buildSupportFile(const ArchiveRequest &request, PendingFile &file, const BuildProgressCallback &progress,
                              const std::atomic<bool> &cancel)
{
    ZipAssemblerHandle *archive = zipAssemblerCreate(file.stream(), 0, ZipTargetKind::Stream);
    if (!archive)
        return BuildOutcome::Failed;
    const bool redact = !request.mappingPath.isEmpty();
    ManifestFacts facts{request.logPath, {}, request.paramFiles, request.levels, {}, redact, {}};
    const std::unique_ptr<Redactor> redactor = redact ? std::make_unique<Redactor>(machineIdentity()) : nullptr;
    std::unique_ptr<PendingFile> mapping;
    QVector<ArchiveEntry> entries = archiveEntries(request.logFiles, request.paramFiles,
                                                   makeBackupFolder(backupFolder(request.logPath)));
    for (ArchiveEntry &entry : entries) {
        const QString path = entry.folder ? entry.folder->path() + entry.source : entry.source;
        const qint64 size = entryKind(path) == EntryKind::PlainFile ? qint64(plainFileSize(entry)) : -1;
        if (request.maxLogSize && entry.name.endsWith(QLatin1String(".log")))
            entry = cappedLog(entry, request.maxLogSize);
        facts.files.append({entry.name, path, size, entry.leftOut, false, QString()});
    }
    QVector<ToolRecord> runs;
    const ToolRun tools = [&](const std::atomic<bool> &stop) { return systemToolEntries(request.logPath, stop, runs); };
    const LastEntry manifest = [&](const QVector<bool> &packed) {
        for (int i = 0; i < facts.files.size(); ++i) {
            FileFacts &fileFacts = facts.files[i];
            fileFacts.packed = packed.value(i);
            if (!fileFacts.packed)
                fileFacts.reason = leftOutReason(fileFacts.path, fileFacts.size >= 0);
        }
        // The tools' entries follow the files', one for each run that left an output.
        int next = facts.files.size();
        for (const ToolRecord &run : std::as_const(runs)) {
            const bool output = run.outcome == QLatin1String("done") || run.outcome == QLatin1String("reused");
            facts.tools.append({run, output && packed.value(next++)});
        }
        if (!redactor)
            return std::optional{std::pair{manifestName, manifestJson(facts, QDateTime::currentDateTime())}};
        // The manifest names paths too; what it holds of the originals is not counted.
        facts.replaced = redactor->counts();
        const QByteArray json = redactor->redacted(manifestJson(facts, QDateTime::currentDateTime()));
        mapping = writeMapping(request.mappingPath, *redactor);
        return mapping ? std::optional{std::pair{manifestName, json}} : std::nullopt;
    };
    const BuildOutcome outcome = buildSupportArchive(archive, file, entries, tools, progress, cancel, manifest,
                                                     redactor.get());
    // The archive is in place; a mapping that cannot follow it would leave the customer unable
    // to read the desk's answer.
    if (outcome == BuildOutcome::Built && mapping && !mapping->commit())
        return BuildOutcome::Failed;
    return outcome;
}

QString redactionMappingPath(const QString &archivePath)
{
    const QFileInfo archive(archivePath);
    return archive.path() + QLatin1Char('/') + archive.completeBaseName() + QStringLiteral(".redaction.txt");
}
