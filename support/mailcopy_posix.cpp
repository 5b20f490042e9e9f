#include "mailcopy.h"

#include <QStandardPaths>

QString mailCopiesBase()
{
    // Qt makes sure it belongs to the user and nobody else may enter it.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}
