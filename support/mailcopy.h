#pragma once
// The archive as the mail program gets it. A mail program reads its attachment by path, at a
// time of its own; a path in the shared log folder could by then lead to another file, even a
// private one of the user's. So it gets a copy in a folder that only the user may enter, which
// stays for as long as the mail program may read it: until the next start.

#include <QString>

#include <cstdio>
#include <optional>

// The user's own folder below which the copies go: on POSIX the runtime folder, on Windows the
// temporary folder.
QString mailCopiesBase();

// Copies the open archive (from its start) into a new folder below `base` that only the user may
// enter, as `name`, and returns the copy's path. An empty path when there is no archive (null;
// the mail goes without one); nothing when the copy failed.
std::optional<QString> copyForMail(std::FILE *archive, const QString &name, const QString &base);

// Removes the copies of earlier mails below `base`, never through a link.
void removeMailCopies(const QString &base);
