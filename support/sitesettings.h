#pragma once
// What an administrator sets once for every machine of a site: read from the system's policy
// place (the registry's policy key on Windows, the system configuration folders elsewhere),
// never from the log folder, which other users may write.

#include <QString>
#include <QStringList>

#include <optional>

class QJsonObject;
class QSettings;

struct SiteSettings {
    bool redact = false;                   // when set, a user cannot turn redaction off
    std::optional<quint64> maxLogSize;     // bytes, as --max-log-size
    quint64 maxMailSize = 20 * 1024 * 1024; // the largest archive a mail should carry
    QString uploadUrl;
    QString caFile;
    QStringList problems; // the keys that were set but could not be read, with their values
    QString source;       // where they were read (a file, a registry key); empty when nowhere
};

// The "Support" group of `settings`. A key that is absent keeps its default; one whose value
// cannot be read keeps it too and is named in `problems`.
SiteSettings siteSettingsFrom(QSettings &settings);

// The site settings of this machine.
SiteSettings readSiteSettings();

// The settings in force, for the support archive's manifest: each key with its value, the upload
// address without its query (it may hold a signature) and user information, and what could not
// be read.
QJsonObject siteSettingsRecord(const SiteSettings &site);

// A size such as "500K" or "20M" (powers of 1024, any letter case) in bytes; nothing for text
// that is none, or 0.
std::optional<quint64> byteCount(const QString &text);
