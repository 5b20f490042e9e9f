#pragma once
// Clearing the logs: one backup generation per log in the backup folder, and the older logs
// ("<base name>_*.log") moved there on request.

#include <QString>
#include <QStringList>

// The backup folder of a log folder (which ends with "/"): its "backup/" subfolder.
QString backupFolder(const QString &logPath);

// Creates the backup folder when it is missing; only the last level, the log folder must exist.
void makeBackupFolder(const QString &backupFolder);

// Copies a non-empty log over its backup of the same file name, then empties the log. A
// missing or empty log is left alone, and so is its earlier backup. A log whose copy failed
// keeps its contents: clearing never loses a log.
void backUpAndEmpty(const QString &logFile, const QString &backupFolder);

// "<complete base name>_*.log" for each log path whose complete base name is not empty, in order.
QStringList olderLogPatterns(const QStringList &logFiles);

// True when a file (never a folder) of the log folder matches one of the patterns, ignoring case.
bool hasOlderLogs(const QString &logPath, const QStringList &patterns);

// Moves the files of the log folder that match the patterns into the backup folder, each
// replacing a file of the same name there.
void moveOlderLogs(const QString &logPath, const QStringList &patterns, const QString &backupFolder);
