#include "showinfolder.h"

#include <QDesktopServices>
#include <QUrl>

bool openFolder(const QString &folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
