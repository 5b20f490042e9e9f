#include "logfiles.h"

#include <QFile>
#include <QFileInfo>

void ensureLogFile(const QString &path)
{
    const QFileInfo info(path);
    // Only our own kind of log is touched: a folder, a pipe or a link of that name stays as it
    // is (opening a pipe for writing would wait for a reader; a link would hand its target
    // every permission).
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return;
    if (!info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
        file.close();
    }
    // An existing log keeps its contents; it only gets the permissions again.
    QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
}
