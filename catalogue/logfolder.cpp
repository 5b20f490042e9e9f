#include "logfolder.h"

#include <QDir>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryFile>

QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation)
{
    QStringList remaining = sharedLocations;
    remaining.removeOne(writableLocation);
    if (remaining.isEmpty())
        return {};
    return remaining.first() + QStringLiteral("/zel/");
}

// A folder is usable when a file can really be created in it; permission bits alone do not
// tell (access control lists, read-only mounts, an administrator's rights).
static bool usable(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    if (!QDir(folder).exists())
        QDir(folder).mkpath(QStringLiteral("."));
    QTemporaryFile probe(folder + QStringLiteral(".write-test-XXXXXX"));
    return probe.open();
}

QString findLogFolder()
{
    const QString writable = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString shared =
        sharedLogFolder(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation), writable);
    if (usable(shared))
        return shared;
    const QString own = writable + QStringLiteral("/zel/");
    if (!writable.isEmpty() && usable(own))
        return own;
    return shared.isEmpty() ? own : shared;
}

QStringList folderListing(const QString &logPath)
{
    return QDir(logPath).entryList();
}

QString changedNames(const QStringList &previous, const QStringList &current)
{
    const QSet<QString> before(previous.begin(), previous.end());
    const QSet<QString> now(current.begin(), current.end());
    const QSet<QString> changed = current.size() >= previous.size() ? now - before : before - now;
    return QStringList(changed.begin(), changed.end()).join(QLatin1Char(' '));
}

bool touchesLogFiles(const QString &changed)
{
    return changed.endsWith(QLatin1String(".log"), Qt::CaseSensitive);
}
