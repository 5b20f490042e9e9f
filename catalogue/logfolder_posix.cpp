#include "logfolder.h"

// A folder is usable when a file can really be created in it.
static bool usable(const LogFolder &folder)
{
    return folder.held && acceptsNewFiles(*folder.held);
}

// An ordinary user usually may not write into the shared data folder (/usr/local/share/zel/),
// so the user's own data folder stands in. Not for a shared folder that is a link, or below one
// that others could change: that is refused where it is, and said, rather than passed over.
QString chooseLogFolder(const QString &sharedFolder, const QString &writableLocation)
{
    const LogFolder shared = sharedFolder.isEmpty() ? LogFolder() : openLogFolder(sharedFolder);
    if (usable(shared) || shared.access == FolderAccess::Link || shared.access == FolderAccess::BelowLink)
        return sharedFolder;
    const QString own = writableLocation + QStringLiteral("/zel/");
    if (!writableLocation.isEmpty() && usable(openLogFolder(own)))
        return own;
    return sharedFolder.isEmpty() ? own : sharedFolder;
}
