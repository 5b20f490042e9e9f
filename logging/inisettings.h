#pragma once

#include "filerewrite.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// INI files are a few hundred bytes. A file of an INI's name larger than this is not one of
// the components' and is left alone, rather than read whole into memory.
constexpr qint64 maxIniSize = 16 * 1024 * 1024;

// The contents of an INI file after the LOGGING update: Logname (and then Logpath, when both
// are missing) added, Logging set to the level mask, every other section, key, value and
// comment kept. Nothing when the INI reader would lose part of the file, as its own load and
// save show: NUL bytes, a line that is no INI, a repeated key, a comment in front of a repeated
// section header, a remark behind one, or an empty section name.
std::optional<QByteArray> updatedIni(const QByteArray &original, const QString &logName, const QString &logFolder,
                                     const QString &levelMask);

// The INI library ends lines with its platform's line end, a bare LF outside Windows; the
// components read CR LF everywhere. Ends every line with CR LF, leaving CR LF as it is.
QByteArray withCrLf(const QByteArray &saved);

// Applies updatedIni to the existing INI file `iniName` of the held folder, replacing it in one
// step (see rewriteRegularFile). A missing, read-only or unreadable file, a file with a second
// name, or anything else of that name, is left untouched.
Rewrite updateLoggingIni(const std::shared_ptr<const HeldFolder> &folder, const QString &iniName,
                         const QString &logName, const QString &logFolder, const QString &levelMask);

// Why an existing INI file did not take the level.
enum class IniRefusal {
    NotPlain,   // a link, a folder or a file with a second name
    TooLarge,   // larger than maxIniSize
    Unwritable, // cannot be opened for writing
    NotIni,     // text that is no INI file, or repeated keys, which would be lost
    BrokeOff,   // a write broke off part way; the file may have changed
};

// The reason in the user's language, for messages.
QString refusalText(IniRefusal refusal);

// The reason in English words, for the support archive's manifest.
const char *refusalCode(IniRefusal refusal);

struct IniFault {
    QString path;
    IniRefusal refusal;
};

// What one write of a level did to the INI files that exist.
struct LevelWrite {
    QStringList updated;
    QVector<IniFault> faults;
};

// For each INI file written to since the program started, the latest outcome: empty when it took
// the level, else the refusal's code.
using LevelRecord = QHash<QString, QString>;

void record(LevelRecord &levels, const LevelWrite &write);

// Writes the level mask into each existing INI file of a component, the k-th with the k-th log's
// file name (as updateLoggingIni does; a missing file is neither updated nor a fault). The files
// are those of the held log folder that the paths name.
LevelWrite writeLevel(const std::shared_ptr<const HeldFolder> &folder, const QStringList &paramFiles,
                      const QStringList &logFiles, const QString &levelMask);

// The value of "Logging" in the LOGGING section of the file `iniName` of the held folder as it
// stands; empty when there is none; nothing when the file is missing, no regular file with one
// name, or cannot be read as an INI file.
std::optional<QString> loggingValue(const HeldFolder &folder, const QString &iniName);
