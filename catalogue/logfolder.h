#pragma once

#include <QString>
#include <QStringList>

// The machine-wide log folder: the shared data locations without the user's own writable
// one, the first that remains, followed by "/zel/". Empty when no shared location remains.
QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation);

// The log folder the dialog uses, ending with "/": the machine-wide folder above, or where the
// platform's choice below puts it.
QString findLogFolder();

// The platform's choice between the machine-wide folder (empty when there is none) and the
// user's own data location. On Windows it is always the machine-wide program-data folder, where
// the components look. Elsewhere the machine-wide folder is used whenever it exists or can be
// created and is writable; where an ordinary user may not write there (the usual Linux case,
// /usr/local/share/zel/), the user's own data location + "/zel/" (~/.local/share/zel/) is used
// instead. If neither can be used, the machine-wide path is returned all the same, and the
// dialog comes up with every component switched off.
QString chooseLogFolder(const QString &sharedFolder, const QString &writableLocation);

// Lists the log folder as the folder watch compares it: all entries with the directory's
// default filters and order.
QStringList folderListing(const QString &logPath);

// The names that appeared (when the listing did not shrink) or else disappeared, joined with
// single spaces in hash-set order.
QString changedNames(const QStringList &previous, const QStringList &current);

// A change of these names concerns log files when the joined text ends with ".log".
bool touchesLogFiles(const QString &changed);
