#include "logfolder.h"

#include <QDir>
#include <QSet>
#include <QStandardPaths>

QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation)
{
    QStringList remaining = sharedLocations;
    remaining.removeOne(writableLocation);
    if (remaining.isEmpty())
        return {};
    return remaining.first() + QStringLiteral("/zel/");
}

QString findLogFolder()
{
    const QString writable = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString shared =
        sharedLogFolder(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation), writable);
    return chooseLogFolder(shared, writable);
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
