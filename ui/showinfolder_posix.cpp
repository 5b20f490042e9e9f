#include "showinfolder.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

// The freedesktop.org file manager interface, which the common desktops' file managers offer on
// the session bus; without it (no bus, no such file manager) the folder is opened instead.
bool showInFolder(const QString &path)
{
    QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                           QStringLiteral("org.freedesktop.FileManager1"), QDBusConnection::sessionBus());
    if (manager.isValid()) {
        const QDBusMessage reply = manager.call(QStringLiteral("ShowItems"),
                                                QStringList{QUrl::fromLocalFile(path).toString()}, QString());
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return openFolder(QFileInfo(path).path());
}
