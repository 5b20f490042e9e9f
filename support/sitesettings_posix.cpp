#include "sitesettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

// The system configuration folders ($XDG_CONFIG_DIRS, normally /etc/xdg), never the user's own
// (~/.config), where a user could undo what the site decided. The first file found counts.
SiteSettings readSiteSettings()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.removeAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    for (const QString &folder : folders) {
        const QString path = folder + QStringLiteral("/zel/zel.logging.conf");
        if (QFileInfo(path).isFile()) {
            QSettings settings(path, QSettings::IniFormat);
            SiteSettings site = siteSettingsFrom(settings);
            site.source = path;
            return site;
        }
    }
    return {};
}
