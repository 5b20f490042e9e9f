#include "logfolder.h"

// The components look for their log files only in the program-data folder, so the dialog stays
// there even when the user may not write into it: every component then shows switched off.
QString chooseLogFolder(const QString &sharedFolder, const QString &)
{
    return sharedFolder;
}
