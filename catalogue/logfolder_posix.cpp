#include "logfolder.h"

#include <QDir>
#include <QTemporaryFile>

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

// An ordinary user usually may not write into the shared data folder (/usr/local/share/zel/),
// so the user's own data folder stands in.
QString chooseLogFolder(const QString &sharedFolder, const QString &writableLocation)
{
    if (usable(sharedFolder))
        return sharedFolder;
    const QString own = writableLocation + QStringLiteral("/zel/");
    if (!writableLocation.isEmpty() && usable(own))
        return own;
    return sharedFolder.isEmpty() ? own : sharedFolder;
}
