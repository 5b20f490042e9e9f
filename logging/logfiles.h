#pragma once

#include <QString>

// Makes sure the log file exists and gives it every permission flag (mode 0777 on POSIX).
// An existing log keeps its contents; anything that is not a regular file is left alone.
void ensureLogFile(const QString &path);

// Deletes the log file; a link, pipe or folder of its name is no log and stays.
void removeLogFile(const QString &path);
