#pragma once
// What an earlier run that ended before its time (killed, crashed, the machine off) left in
// the log folder, and the copies of earlier mails.

#include <QString>

// Puts back the INI files whose rewrite in place was cut short, removes the pending files
// (an archive, backup copies, tool outputs) that no running program holds, and removes the
// archive copies of earlier mails. Run once at start-up; `logPath` ends with "/".
void tidyAfterEarlierRuns(const QString &logPath);
