#pragma once
// What an earlier run that ended before its time (killed, crashed, the machine off) left in
// the log folder, and the copies of earlier mails.

#include "plainfile.h"

#include <QStringList>

// Puts back the INI files whose rewrite in place was cut short, puts a redacted archive in place
// whose mapping took its place before the program ended, removes the pending files (an archive,
// backup copies, tool outputs) that no running program holds, and removes the archive copies of
// earlier mails. Run once at start-up. Returns what it left alone and the user should know of:
// the paths of recovery files of the user's that belong to no file of the folder.
QStringList tidyAfterEarlierRuns(const std::shared_ptr<const HeldFolder> &logFolder);
