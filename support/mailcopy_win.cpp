#include "mailcopy.h"

#include <QDir>

QString mailCopiesBase()
{
    // Below the user's profile, which only the user may enter.
    return QDir::tempPath();
}
