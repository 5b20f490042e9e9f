#include "sitesettings.h"

#include <QSettings>

// Where Group Policy and management tools put an application's machine-wide values.
SiteSettings readSiteSettings()
{
    QSettings settings(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\zel\\zel.logging"),
                       QSettings::NativeFormat);
    return siteSettingsFrom(settings);
}
