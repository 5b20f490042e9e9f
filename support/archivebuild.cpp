#include "archivebuild.h"

#include "clearing.h"
#include "identity.h"
#include "manifest.h"
#include "plainfile.h"
#include "redaction.h"
#include "systemtools.h"
#include "zipassembler.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
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
    QSet<ZipAssemblerResult> &faults; // of the entries that did not go in
};

bool reportBatch(void *context, uint32_t entry, uint64_t done, uint64_t)
{
    const auto &batch = *static_cast<const BatchProgress *>(context);
    if (entry < uint32_t(batch.names.size()))
        batch.progress({batch.names[int(entry)], batch.doneBefore + done, batch.total});
    return !batch.cancel;
}

// Adds `entries` in one batch, each a regular file opened here without following a link and
// without waiting on a pipe (see openSource); anything else leaves no entry. Sets each entry's
// `packed`, and narrows the archive's readers to those of every file packed.
void addBatch(ZipAssemblerHandle *archive, ArchiveEntry *entries, int count,
              BatchProgress &report)
{
    std::vector<SharedFile> files;
    std::vector<std::unique_ptr<RedactedSource>> redacted;
    QVector<QByteArray> names;
    QVector<ArchiveEntry *> opened;
    for (ArchiveEntry *entry = entries; entry != entries + count; ++entry) {
        entry->packed = false;
        if (SharedFile file = openSource(*entry)) {
            if (report.redactor)
                redacted.push_back(std::make_unique<RedactedSource>(file, *report.redactor));
            files.push_back(std::move(file));
            names.append(entryNameBytes(*entry));
            opened.append(entry);
            report.names.append(entry->name);
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
    for (size_t i = 0; i < batch.size(); ++i) {
        opened[int(i)]->packed = batch[i].result == ZipAssemblerResult::Ok;
        if (!opened[int(i)]->packed)
            report.faults.insert(batch[i].result);
    }
}

// What an entry's source adds to the work: only a regular file is packed.
quint64 plainFileSize(const ArchiveEntry &entry)
{
    if (entry.file)
        return quint64(qMax<qint64>(currentSize(entry.file.get()), 0));
    return entry.folder ? entry.folder->size(entry.source) : 0;
}

// Narrows the archive's readers to those of the file behind `entry` (before a cap replaces it
// by a private copy).
void narrowTo(std::FILE *target, const ArchiveEntry &entry)
{
    if (const SharedFile source = openSource(entry))
        narrowReaders(target, source.get());
}

// The messages' context is the dialog's, which shows them.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

// Why the archive could not be written whole, from the writer's results and the system's.
QString unwrittenText(const QSet<ZipAssemblerResult> &faults, FileFault system)
{
    if (faults.contains(ZipAssemblerResult::CapacityTooSmall))
        return Text::tr("The support file could not be written completely: it cannot hold that many files. An "
                        "earlier support file stays as it was.");
    if (system == FileFault::NoSpace)
        return Text::tr("The support file could not be written completely: the disk is full. An earlier support "
                        "file stays as it was.");
    return Text::tr("The support file could not be written completely (%1). An earlier support file stays as it "
                    "was.")
        .arg(faultText(system));
}

const QByteArray writtenWith("# written with ");

// The first lines of a mapping: the archive it belongs to, and the pending name and identity
// under which that archive waits for its place until the pair is complete.
QByteArray mappingHeader(const PendingFile &archive)
{
    const std::optional<FileIdentity> identity = identityOf(archive.stream());
    const QString pending = QFileInfo(archive.path()).fileName();
    return "# zel.logging: the originals behind the stand-ins of " + fileNameBytes(archive.targetName()) +
           ". Keep this file; it is not for sending.\n" + writtenWith + fileNameBytes(pending).toHex() + ' ' +
           QByteArray::number(identity ? identity->device : 0) + ' ' + QByteArray::number(identity ? identity->file : 0) +
           '\n';
}

// The regular file at `path` when it is one of ours, whole: what an earlier mapping held.
std::optional<QByteArray> ownFile(const HeldFolder &folder, const QString &name)
{
    const PlainFile file = folder.open(name, false);
    QFile reader;
    if (!file || !ownedByUser(file.get()) ||
        !reader.open(file.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    const QByteArray bytes = reader.readAll();
    return reader.error() == QFileDevice::NoError ? std::optional(bytes) : std::nullopt;
}

bool writeWhole(PendingFile &file, const QByteArray &bytes)
{
    QFile text;
    return text.open(file.stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle) &&
           text.write(bytes) == bytes.size() && text.flush();
}

// After the archive could not follow its mapping: the earlier mapping goes back in its place,
// or the new one goes where there was none. Says what became of the files.
QString restoreMapping(const HeldFolder *folder, const QString &name, const std::optional<QByteArray> &earlier,
                       std::FILE *placed, const QString &path)
{
    bool restored = false;
    if (folder && earlier) {
        const std::unique_ptr<PendingFile> old = folder->createPending(name, NewFileAccess::Private);
        restored = old && writeWhole(*old, *earlier) && old->commit();
    } else if (folder) {
        restored = folder->holds(name, placed) && folder->remove(name);
    }
    if (restored)
        return Text::tr("The support file could not be put in place. The earlier support file and its key stay as "
                        "they were.");
    return Text::tr("The support file could not be put in place, and the earlier key could not be put back: %1 "
                    "holds the key to a support file that was not written. The earlier support file stays as it "
                    "was.")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace

bool completeRedactedPair(const HeldFolder &folder, const QString &archiveName)
{
    const QString mappingName = QFileInfo(archiveName).completeBaseName() + QStringLiteral(".redaction.txt");
    const std::optional<QByteArray> mapping = ownFile(folder, mappingName);
    const QByteArrayList lines = mapping ? mapping->left(4096).split('\n') : QByteArrayList();
    if (lines.size() < 2 || !lines.at(1).startsWith(writtenWith))
        return false;
    const QByteArrayList fields = lines.at(1).mid(writtenWith.size()).split(' ');
    if (fields.size() != 3)
        return false;
    const FileIdentity recorded{fields.at(1).toULongLong(), fields.at(2).toULongLong()};
    for (const QString &name : folder.names()) {
        if (fileNameBytes(name).toHex() != fields.at(0) || !isPendingName(name))
            continue;
        // Only the very file this program wrote and no running program holds: whole, then.
        const PlainFile pending = folder.claimLeftover(name);
        const std::optional<FileIdentity> identity = pending ? identityOf(pending.get()) : std::nullopt;
        return identity && *identity == recorded && ownedByUser(pending.get()) && folder.holds(name, pending.get()) &&
               folder.replace(name, archiveName);
    }
    return false;
}

BuildOutcome buildSupportArchive(ZipAssemblerHandle *archive, PendingFile &file, QVector<ArchiveEntry> &entries,
                                 const ToolRun &tools, const BuildProgressCallback &progress,
                                 const std::atomic<bool> &cancel, const LastEntry &last, Redactor *redactor,
                                 const std::function<bool()> &beforeCommit, BuildReport *report)
{
    // The tools may take far longer than the packing (a system report can take tens of
    // seconds), so they start first and run alongside it.
    QVector<ArchiveEntry> toolEntries;
    const std::unique_ptr<QThread> toolThread(QThread::create([&] { toolEntries = tools(cancel); }));
    toolThread->start();

    // An address's integer forms count only where the address is met in an ordinary notation
    // somewhere in the archive, so every entry is learned before the first is packed: with
    // redaction, the tools' outputs are awaited for that.
    if (redactor) {
        toolThread->wait();
        std::vector<SharedFile> sources;
        for (const QVector<ArchiveEntry> *group : {&entries, &toolEntries}) {
            for (const ArchiveEntry &entry : *group) {
                if (SharedFile source = openSource(entry))
                    sources.push_back(std::move(source));
            }
        }
        std::vector<std::FILE *> files;
        for (const SharedFile &source : sources)
            files.push_back(source.get());
        redactor->learnFiles(files);
    }
    quint64 total = 0;
    for (const ArchiveEntry &entry : std::as_const(entries))
        total += plainFileSize(entry);
    quint64 done = 0;
    QSet<ZipAssemblerResult> faults;
    for (int first = 0; first < entries.size() && !cancel; first += batchSize) {
        const int count = std::min(batchSize, int(entries.size()) - first);
        BatchProgress batch{progress, cancel, redactor, {}, done, total, faults};
        addBatch(archive, entries.data() + first, count, batch);
        for (int i = first; i < first + count; ++i)
            done += plainFileSize(entries[i]);
    }
    progress({QString(), done, total});
    toolThread->wait();
    // The tools' outputs are small: their packing goes unreported.
    const BuildProgressCallback quiet = [](const BuildProgress &) {};
    BatchProgress toolBatch{quiet, cancel, redactor, {}, 0, 0, faults};
    if (!cancel)
        addBatch(archive, toolEntries.data(), int(toolEntries.size()), toolBatch);
    bool lastWritten = true;
    if (last && !cancel) {
        const std::optional<std::pair<QString, QByteArray>> entry = last(entries, toolEntries);
        const ZipAssemblerResult result =
            entry ? zipAssemblerAdd(archive, fileNameBytes(entry->first).constData(), entry->second.constData(),
                                    uint32_t(entry->second.size()), ZipSourceKind::Memory)
                  : ZipAssemblerResult::WriteFailed;
        lastWritten = result == ZipAssemblerResult::Ok;
        if (!lastWritten)
            faults.insert(result);
    }
    const FileFault system = lastFault();
    const bool written = zipAssemblerClose(archive) == ZipAssemblerResult::Ok && lastWritten;
    if (cancel)
        return BuildOutcome::Cancelled;
    if (!written) {
        if (report)
            report->problem = unwrittenText(faults, system);
        return BuildOutcome::Failed;
    }
    // Only now, complete on the disk, does it replace the earlier archive.
    if (beforeCommit && !beforeCommit())
        return BuildOutcome::Failed;
    return file.commit() ? BuildOutcome::Built : BuildOutcome::Failed;
}

BuildOutcome buildSupportFile(const ArchiveRequest &request, PendingFile &file, const BuildProgressCallback &progress,
                              const std::atomic<bool> &cancel, BuildReport &report)
{
    const HeldFolder &logFolder = *request.logFolder;
    const bool redact = !request.mappingPath.isEmpty();
    // The mapping's file is made first: a folder of its name, or no room for it, should stop the
    // build before the work, not after.
    // Beside an archive of the log folder it is made through the folder held.
    const QString mappingName = QFileInfo(request.mappingPath).fileName();
    const QString mappingPlace = QFileInfo(request.mappingPath).absolutePath() + QLatin1Char('/');
    const auto mappingFolder = !redact                               ? nullptr
                               : mappingPlace == logFolder.path() ? request.logFolder
                                                                  : HeldFolder::hold(mappingPlace);
    FileFault mappingFault = mappingFolder ? namesakeFault(mappingFolder->kind(mappingName)) : FileFault::Denied;
    const std::unique_ptr<PendingFile> mapping = redact && mappingFault == FileFault::None
                                                     ? mappingFolder->createPending(mappingName, NewFileAccess::Private)
                                                     : nullptr;
    if (redact && !mapping && mappingFault == FileFault::None)
        mappingFault = lastFault();
    if (redact && !mapping) {
        report.problem = QDir::toNativeSeparators(request.mappingPath) + QStringLiteral(": ") + faultText(mappingFault) +
                         QStringLiteral(". ") + Text::tr("An earlier support file stays as it was.");
        return BuildOutcome::Failed;
    }
    ZipAssemblerHandle *archive = zipAssemblerCreate(file.stream(), 0, ZipTargetKind::Stream);
    if (!archive)
        return BuildOutcome::Failed;
    ManifestFacts facts{request.logFolder, {}, request.paramFiles, request.levels, {}, redact, {},
                        siteSettingsRecord(request.site)};
    const std::unique_ptr<Redactor> redactor = redact ? std::make_unique<Redactor>(machineIdentity()) : nullptr;
    QVector<ArchiveEntry> entries = archiveEntries(request.logFolder, request.logFiles, request.paramFiles,
                                                   makeBackupFolder(logFolder));
    for (ArchiveEntry &entry : entries) {
        entry.size = entry.folder->kind(entry.source) == EntryKind::PlainFile ? qint64(plainFileSize(entry)) : -1;
        // The archive shows nobody what one of its files would not.
        narrowTo(file.stream(), entry);
        if (request.maxLogSize && entry.name.endsWith(QLatin1String(".log")))
            entry = cappedLog(entry, request.maxLogSize);
    }
    QVector<ToolRecord> runs;
    const ToolRun tools = [&](const std::atomic<bool> &stop) {
        return systemToolEntries(request.logFolder, stop, runs);
    };
    const LastEntry manifest = [&](const QVector<ArchiveEntry> &files, const QVector<ArchiveEntry> &toolEntries) {
        for (const ArchiveEntry &entry : files) {
            const QString path = entry.folder->path() + entry.source;
            const QString reason = entry.packed ? QString() : leftOutReason(path, entry.size >= 0);
            facts.files.append({entry.name, path, entry.size, entry.leftOut, entry.packed, reason});
            // A log, INI file or backup that was there as a file of its own but is not in the
            // archive (too large, unreadable, gone meanwhile) is news; links, pipes and folders
            // of those names are left out by rule.
            if (!entry.packed && entry.size >= 0)
                report.leftOut << entry.name + QStringLiteral(": ") + reason;
        }
        // The tools' entries follow the files', one for each run that left an output.
        int next = 0;
        for (const ToolRecord &run : std::as_const(runs)) {
            const bool output = run.outcome == QLatin1String("done") || run.outcome == QLatin1String("reused");
            facts.tools.append({run, output && next < toolEntries.size() && toolEntries[next++].packed});
        }
        if (!redactor)
            return std::optional{std::pair{manifestName, manifestJson(facts, QDateTime::currentDateTime())}};
        // The manifest names paths too; what it holds of the originals is not counted.
        facts.replaced = redactor->counts();
        return std::optional{
            std::pair{manifestName, redactor->redacted(manifestJson(facts, QDateTime::currentDateTime()))}};
    };
    // A redacted pair takes its place mapping first: a mapping beside an earlier archive can be
    // completed (completeRedactedPair) or put back, an archive without its mapping could never
    // be read back by the customer.
    std::optional<QByteArray> earlierMapping;
    bool mappingPlaced = false;
    const std::function<bool()> placeMapping = [&] {
        earlierMapping = mappingFolder ? ownFile(*mappingFolder, mappingName) : std::nullopt;
        if (!writeWhole(*mapping, mappingHeader(file) + redactor->mapping()) || !mapping->commit()) {
            report.problem = Text::tr("The key to the stand-ins (%1) could not be written. The earlier support file "
                                      "and its key stay as they were.")
                                 .arg(QDir::toNativeSeparators(request.mappingPath));
            return false;
        }
        mappingPlaced = true;
        return true;
    };
    const BuildOutcome outcome = buildSupportArchive(archive, file, entries, tools, progress, cancel, manifest,
                                                     redactor.get(), redact ? placeMapping : nullptr, &report);
    if (outcome == BuildOutcome::Failed && mappingPlaced)
        report.problem = restoreMapping(mappingFolder.get(), mappingName, earlierMapping, mapping->stream(),
                                        request.mappingPath);
    return outcome;
}

QString redactionMappingPath(const QString &archivePath)
{
    const QFileInfo archive(archivePath);
    return archive.path() + QLatin1Char('/') + archive.completeBaseName() + QStringLiteral(".redaction.txt");
}

quint64 logCapToFit(QVector<quint64> logSizes, quint64 budget)
{
    // Every log below the cap keeps all of itself; the rest share what is left alike.
    std::sort(logSizes.begin(), logSizes.end());
    quint64 left = budget;
    for (int i = 0; i < logSizes.size(); ++i) {
        const quint64 share = left / quint64(logSizes.size() - i);
        if (logSizes[i] > share)
            return qMax<quint64>(share, 1);
        left -= logSizes[i];
    }
    // All fit as they are: a cap of the largest keeps them whole.
    return qMax<quint64>(logSizes.isEmpty() ? budget : logSizes.last(), 1);
}

QVector<quint64> logSizes(const ArchiveRequest &request)
{
    QVector<quint64> sizes;
    const auto backups = request.logFolder->holdFolder(backupFolderName);
    for (const ArchiveEntry &entry : archiveEntries(request.logFolder, request.logFiles, {}, backups)) {
        if (entry.name.endsWith(QLatin1String(".log")) && entry.folder->kind(entry.source) == EntryKind::PlainFile)
            sizes << plainFileSize(entry);
    }
    return sizes;
}
