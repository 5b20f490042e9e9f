#include "logfiles.h"

#include "plainfile.h"

#include <QFile>

void ensureLogFile(const QString &path)
{
    // Only our own kind of log is touched: a folder, a pipe or a link of that name stays as it
    // is (opening a pipe for writing would wait for a reader; a link would hand its target
    // every permission). A new log is created exclusively, so it is never made through a link.
    if (entryKind(path) == EntryKind::Missing) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
    }
    // An existing log keeps its contents; it only gets the permissions again.
    if (const PlainFile log = openPlainFile(path, false))
        setPermissions(log.get(), everyPermission);
}

void removeLogFile(const QString &path)
{
    removePlainFile(path);
}
