#pragma once

#include "plainfile.h"

#include <QString>
#include <QStringList>

#include <memory>

// The machine-wide log folder: the shared data locations without the user's own writable
// one, the first that remains, followed by "/zel/". Empty when no shared location remains.
QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation);

// The log folder the dialog uses, ending with "/": the machine-wide folder above, or where the
// platform's choice below puts it.
QString findLogFolder();

// Whether `logPath` (as findLogFolder gives it) is the user's own stand-in for the machine-wide
// folder, where no component looks: the user is told so.
bool isFallbackFolder(const QString &logPath);

// What the user is told once, at the start, when `logPath` is that stand-in: which folder is used
// instead of which, and what follows from it; empty when it is none.
QString fallbackNotice(const QString &logPath);

// The platform's choice between the machine-wide folder (empty when there is none) and the
// user's own data location. On Windows it is always the machine-wide program-data folder, where
// the components look. Elsewhere the machine-wide folder is used whenever it exists or can be
// created and is writable; where an ordinary user may not write there (the usual Linux case,
// /usr/local/share/zel/), the user's own data location + "/zel/" (~/.local/share/zel/) is used
// instead. If neither can be used, the machine-wide path is returned all the same, and the
// dialog comes up with every component switched off. A machine-wide folder that is a link, or
// lies below a link that others could change, is returned too, to be refused with its reason.
QString chooseLogFolder(const QString &sharedFolder, const QString &writableLocation);

// The log folder held for the whole run. Every file in it is made, opened, moved and deleted
// through `held`, so that a link put in place of its name, or of a folder above it, leads
// nowhere: what is touched stays in the folder that was checked at the start.
struct LogFolder {
    QString path; // ends with "/"
    FolderAccess access = FolderAccess::Missing;
    std::shared_ptr<const HeldFolder> held; // null unless `access` is Held
};

// Makes the folder at the absolute `path` (ending with "/") and the folders above it where they
// are missing, each inside the one above it, and holds it (HeldFolder::holdTrusted).
LogFolder openLogFolder(const QString &path);

// Whether a new file can really be made in the held folder; permission bits alone do not tell
// (access control lists, read-only mounts, an administrator's rights).
bool acceptsNewFiles(const HeldFolder &folder);

// Why the log folder cannot be used, in the user's language, for messages; empty when it can.
QString folderProblem(const LogFolder &folder);

// Lists the log folder as the folder watch compares it: all entries with the directory's
// default filters and order.
QStringList folderListing(const QString &logPath);

// The names that appeared (when the listing did not shrink) or else disappeared, joined with
// single spaces in hash-set order.
QString changedNames(const QStringList &previous, const QStringList &current);

// A change of these names concerns log files when the joined text ends with ".log".
bool touchesLogFiles(const QString &changed);
