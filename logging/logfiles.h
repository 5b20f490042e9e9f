#pragma once

#include "plainfile.h"

#include <QString>

// Makes sure the log file `name` of the held log folder exists and gives it every permission
// flag (mode 0777 on POSIX), and returns None, or why it could not. An existing log keeps its
// contents; anything that is not a regular file with one name is left alone (NotPlain).
FileFault ensureLogFile(const HeldFolder &folder, const QString &name);

// Deletes the log file `name` of the held log folder; a link, pipe or folder of its name is no
// log and stays. Returns None when no log of that name is left, or why one is.
FileFault removeLogFile(const HeldFolder &folder, const QString &name);
