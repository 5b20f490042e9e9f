#include "clearing.h"

#include "logfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// The matching regular files' names, sorted by name ignoring case; links, folders and files
// with other names elsewhere are no older logs.
QStringList olderLogs(const HeldFolder &logFolder, const QString &pattern)
{
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (const QString &name : logFolder.names()) {
        // A name that is not UTF-8 holds lone surrogates, which the expression refuses to look
        // at; stand-ins of the same length let it.
        QString matched = name;
        for (QChar &c : matched) {
            if (c.isSurrogate())
                c = QChar::ReplacementCharacter;
        }
        if (match.match(matched).hasMatch() && logFolder.kind(name) == EntryKind::PlainFile)
            names.append(name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

// Appends the log's bytes from `copied` to its end to the copy, and counts them. `lineEnd`
// tells whether the last byte copied ends a line.
bool copyRest(QFile &log, QFile &copy, qint64 &copied, bool &lineEnd)
{
    if (!log.seek(copied))
        return false;
    char buffer[65536];
    qint64 length = 0;
    while ((length = log.read(buffer, sizeof buffer)) > 0) {
        if (copy.write(buffer, length) != length)
            return false;
        copied += length;
        lineEnd = buffer[length - 1] == '\n';
    }
    return length == 0 && copy.flush();
}

// A writer flat out can keep ahead of the copy only so long (a round takes microseconds); then
// the log stays as it is.
constexpr int copyRounds = 1000;
constexpr int stillRounds = 10;

} // namespace

std::shared_ptr<const HeldFolder> makeBackupFolder(const HeldFolder &logFolder)
{
    return logFolder.makeFolder(backupFolderName) ? logFolder.holdFolder(backupFolderName) : nullptr;
}

bool backUpAndEmpty(const HeldFolder &logFolder, const QString &logName, const HeldFolder &backups)
{
    // A read-only log is still backed up; it only cannot be emptied afterwards.
    PlainFile opened = logFolder.open(logName, true);
    const bool writable = opened != nullptr;
    if (!opened)
        opened = logFolder.open(logName, false);
    QFile log;
    // Read through the descriptor, without a stream's buffer, so that each round sees the log's
    // end as it is.
    if (!opened ||
        !log.open(fileno(opened.get()), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle) ||
        log.size() == 0)
        return true;
    // A copy that a crash cuts short is never packed (it keeps its pending name) and goes at
    // the next start.
    const std::unique_ptr<PendingFile> backup = backups.createPending(logName);
    QFile copy;
    if (!backup || !copy.open(backup->stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return false;
    // What the components append while the log is copied is copied as well, round after round;
    // the log is emptied only once a look at its size finds nothing new since the last byte
    // copied. The copy replaces the earlier backup just before the first try, so that a log that
    // is never emptied leaves the earlier backup as it was.
    qint64 copied = 0;
    bool lineEnd = false;
    int unchanged = 0;
    bool committed = false;
    for (int round = 0; round < copyRounds; ++round) {
        const qint64 before = copied;
        if (!copyRest(log, copy, copied, lineEnd))
            return false;
        // A copy that ends inside a line most likely met a write under way (one that reaches
        // into a new page of the file can stall a while), whose rest the emptying would lose:
        // such an end counts only once the log has stood still for some milliseconds, its last
        // line simply open. A read-only log is still backed up; it only cannot be emptied.
        unchanged = copied == before ? unchanged + 1 : 0;
        const bool settled = (lineEnd || unchanged >= stillRounds) && currentSize(opened.get()) == copied;
        if (settled && !committed) {
            if (!backup->commit())
                return false;
            committed = true;
            // Set on the open copy once it is in place, so that a copy of a read-only log is
            // never left read-only under its pending name.
            setPermissions(backup->stream(), log.permissions());
            if (!writable)
                return true;
        }
        // What was copied after the commit is made to reach the disk right after the emptying:
        // a wait for the disk in between would let a busy writer run ahead round after round.
        if (settled && emptyPlainFile(opened.get(), copied)) {
            syncFile(backup->stream());
            return true;
        }
        if (!lineEnd)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

QStringList olderLogPatterns(const QStringList &logFiles)
{
    QStringList patterns;
    for (const QString &logFile : logFiles) {
        const QString base = QFileInfo(logFile).completeBaseName();
        if (!base.isEmpty())
            patterns << base + QStringLiteral("_*.log");
    }
    return patterns;
}

bool hasOlderLogs(const HeldFolder &logFolder, const QStringList &patterns)
{
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&](const QString &pattern) { return !olderLogs(logFolder, pattern).isEmpty(); });
}

void moveOlderLogs(const HeldFolder &logFolder, const QStringList &patterns, const HeldFolder &backups)
{
    for (const QString &pattern : patterns) {
        for (const QString &name : olderLogs(logFolder, pattern))
            logFolder.moveTo(name, backups, name);
    }
}

Clearing clearLogs(const HeldFolder &logFolder, const QStringList &logFiles, const std::function<bool()> &moveOlder)
{
    Clearing clearing;
    const auto backups = makeBackupFolder(logFolder);
    clearing.backups = backups != nullptr;
    for (const QString &logFile : logFiles) {
        const QString name = QFileInfo(logFile).fileName();
        const bool kept = backups ? !backUpAndEmpty(logFolder, name, *backups) : logFolder.size(name) > 0;
        if (kept)
            clearing.kept << logFile;
    }
    const QStringList patterns = olderLogPatterns(logFiles);
    if (backups && hasOlderLogs(logFolder, patterns) && moveOlder())
        moveOlderLogs(logFolder, patterns, *backups);
    for (const QString &logFile : logFiles)
        ensureLogFile(logFolder, QFileInfo(logFile).fileName());
    return clearing;
}
