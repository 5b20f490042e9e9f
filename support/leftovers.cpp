#include "leftovers.h"

#include "archive.h"
#include "archivebuild.h"
#include "clearing.h"
#include "filerewrite.h"
#include "mailcopy.h"

QStringList tidyAfterEarlierRuns(const std::shared_ptr<const HeldFolder> &logFolder)
{
    QStringList foreign;
    for (const QString &name : restoreInterruptedRewrites(logFolder))
        foreign << logFolder->path() + name;
    // Before the leftovers go: the archive that waits for its place is one of them.
    completeRedactedPair(*logFolder, archiveName);
    logFolder->removeLeftovers();
    if (const auto backups = logFolder->holdFolder(backupFolderName))
        backups->removeLeftovers();
    removeMailCopies(mailCopiesBase());
    return foreign;
}
