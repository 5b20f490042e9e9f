#include "logfiles.h"

#include <QFile>
#include <QFileInfo>

void ensureLogFile(const QString &path)
{
    QFile file(path);
    // Append never truncates: a component that is switched on again keeps its log.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.close();
    if (QFileInfo(path).isFile())
        file.setPermissions(QFileDevice::Permissions(0x7777));
}
