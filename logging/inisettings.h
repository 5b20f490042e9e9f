#pragma once

#include <QString>

// Brings the LOGGING section of one existing INI file up to date: adds Logname (and then
// Logpath, when both are missing) and sets Logging to the level mask. Returns false when
// the file was left untouched: missing, not a regular file, not readable, not text an INI
// reader can take back without losing lines, or not writable.
bool updateLoggingIni(const QString &iniPath, const QString &logName, const QString &logFolder,
                      const QString &levelMask);
