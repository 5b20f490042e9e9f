#include "leftovers.h"

#include "clearing.h"
#include "filerewrite.h"
#include "mailcopy.h"
#include "plainfile.h"

void tidyAfterEarlierRuns(const QString &logPath)
{
    restoreInterruptedRewrites(logPath);
    for (const QString &folder : {logPath, backupFolder(logPath)}) {
        if (const auto held = HeldFolder::hold(folder))
            held->removeLeftovers();
    }
    removeMailCopies(mailCopiesBase());
}
