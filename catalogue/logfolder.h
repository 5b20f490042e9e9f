#pragma once

#include <QString>
#include <QStringList>

// The machine-wide log folder: the shared data locations without the user's own writable
// one, the first that remains, followed by "/zel/". Empty when no shared location remains.
QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation);

// The log folder the dialog uses, ending with "/". It is the machine-wide folder above
// whenever that one exists or can be created and is writable (always so on Windows). On
// systems where an ordinary user may not write there (the usual Linux case, where it is
// /usr/local/share/zel/), the user's own data folder + "/zel/" (~/.local/share/zel/) is used
// instead. If neither can be used, the machine-wide path is returned all the same, and the
// dialog comes up with every component switched off.
QString findLogFolder();

// Lists the log folder as the folder watch compares it: all entries with the directory's
// default filters and order.
QStringList folderListing(const QString &logPath);

// The names that appeared (when the listing did not shrink) or else disappeared, joined with
// single spaces in hash-set order.
QString changedNames(const QStringList &previous, const QStringList &current);

// A change of these names concerns log files when the joined text ends with ".log".
bool touchesLogFiles(const QString &changed);
