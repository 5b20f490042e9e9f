#include "sitesettings.h"

#include <QSettings>

// Where Group Policy and management tools put an application's machine-wide values.
SiteSettings readSiteSettings()
{
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\zel\\zel.logging");
    QSettings settings(key, QSettings::NativeFormat);
    SiteSettings site = siteSettingsFrom(settings);
    if (settings.childGroups().contains(QStringLiteral("Support")))
        site.source = key;
    return site;
}
