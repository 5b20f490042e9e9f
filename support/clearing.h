#pragma once
// Clearing the logs: one backup generation per log in the backup folder, and the older logs
// ("<base name>_*.log") moved there on request.

#include "plainfile.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The backup folder's name inside the log folder.
inline const QString backupFolderName = QStringLiteral("backup");

// Creates the backup folder in the held log folder when nothing has its name and holds it. Null
// unless it is a real folder: a link, even to a folder, takes no backups.
std::shared_ptr<const HeldFolder> makeBackupFolder(const HeldFolder &logFolder);

// Copies a non-empty log (the file `logName` of the held log folder) into a new file of the
// backup folder, puts that in the place of the log's backup of the same file name in one step,
// then empties the log. What a component appends meanwhile is copied too: the log is emptied
// only right after the copy has reached its end. A missing or empty log is left alone, and so is
// its earlier backup. Only a regular file with one name, not reached through a link, counts as a
// log; a link in the backup folder is replaced, never written through. Returns false when the
// log keeps content it should have lost: its copy failed (a full disk, a file-size limit), which
// leaves the earlier backup as it was, or it could not be emptied afterwards (a component
// appended without a pause all along; then the backup holds what was copied).
// Clearing never loses a log; only what is appended in the instant between the last look at the
// log's size and its emptying is lost, since no system offers the two as one step.
bool backUpAndEmpty(const HeldFolder &logFolder, const QString &logName, const HeldFolder &backups);

// "<complete base name>_*.log" for each log path whose complete base name is not empty, in order.
QStringList olderLogPatterns(const QStringList &logFiles);

// True when a regular file with one name (never a folder or link) of the held log folder matches
// one of the patterns, ignoring case.
bool hasOlderLogs(const HeldFolder &logFolder, const QStringList &patterns);

// Moves the regular files of the log folder that match the patterns into the backup folder,
// each replacing a file or link of the same name there in one step.
void moveOlderLogs(const HeldFolder &logFolder, const QStringList &patterns, const HeldFolder &backups);

// How a clearing went.
struct Clearing {
    QStringList kept;     // the logs that keep content they should have lost
    bool backups = true;  // false: the backup folder is no real folder and cannot be made, so
                          // nothing was cleared
};

// "Clear Logfiles" for the given logs of the held log folder: backs each up and empties it
// (backUpAndEmpty), then, when older logs of theirs are there and `moveOlder()` agrees, moves
// those into the backup folder, and last creates the logs that are missing, as switching them on
// does. A backup that is no real folder takes no backups, so then no log is emptied or moved, and
// every log with content counts as kept.
Clearing clearLogs(const HeldFolder &logFolder, const QStringList &logFiles, const std::function<bool()> &moveOlder);
