#include "logfolder.h"

// A folder is usable when a file can really be created in it.
static bool usable(const QString &folder)
{
    const LogFolder log = folder.isEmpty() ? LogFolder() : openLogFolder(folder);
    return log.held && acceptsNewFiles(*log.held);
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
