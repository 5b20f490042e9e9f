#pragma once
// manifest.json, the support archive's last entry: what the archive holds, what it left out and
// why, so that the support desk need not guess.

#include "inisettings.h"
#include "systemtools.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

inline const QString manifestName = QStringLiteral("manifest.json");

// One file entry of the archive: a log, an INI file or a backup.
struct FileFacts {
    QString entry;
    QString path;         // where it was read, for the reason it was left out
    qint64 size = -1;     // when the build began; -1 when it was no regular file
    quint64 leftOut = 0;  // the capped start of a log
    bool packed = false;
    QString reason;       // why it was left out
};

struct ToolFacts {
    ToolRecord record;
    bool inArchive = false;
};

struct ManifestFacts {
    std::shared_ptr<const HeldFolder> logFolder; // null: no component logs, no level is read
    QVector<FileFacts> files;
    QStringList paramFiles;
    LevelRecord levels;
    QVector<ToolFacts> tools;
    bool redacted = false;
    QMap<QString, quint64> replaced; // by kind of original
    QJsonObject site;                // the site settings in force (siteSettingsRecord)
};

// Why the file at `path` could not be packed, looked at after the fact: "link", "missing" (or
// "vanished" when it `existed` as a regular file at the start), "folder", "pipe or device",
// "hard link" or "unreadable".
QString leftOutReason(const QString &path, bool existed);

// The manifest's JSON text for a build that ends at `now`.
QByteArray manifestJson(const ManifestFacts &facts, const QDateTime &now);
