#include "manifest.h"

#include "catalogue.h"
#include "levels.h"
#include "plainfile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace {

// A level as a person reads it: its name, or the raw mask when it is none of the four.
QJsonValue levelValue(const std::optional<QString> &mask)
{
    if (!mask)
        return QJsonValue::Null;
    const int index = levelIndex(*mask);
    return index >= 0 ? QString::fromLatin1(levelName(index)) : *mask;
}

QJsonArray components(const HeldFolder *logFolder)
{
    QJsonArray list;
    for (int i = 0; i < catalogueEntries().size(); ++i) {
        const ComponentEntry &entry = catalogueEntries().at(i);
        if (!entry.logNames.isEmpty())
            list.append(QJsonObject{{"key", entry.key},
                                    {"name", QString::fromLatin1(componentText(i))},
                                    {"logging", isLogging(logFolder, entry)}});
    }
    return list;
}

QJsonArray files(const QVector<FileFacts> &facts)
{
    QJsonArray list;
    for (const FileFacts &file : facts) {
        QJsonObject object{{"entry", file.entry},
                           {"size", file.size < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(file.size)}};
        if (!file.packed) {
            object.insert("state", "left out");
            object.insert("reason", file.reason);
        } else if (file.leftOut) {
            object.insert("state", "capped");
            object.insert("leftOutBytes", qint64(file.leftOut));
        } else {
            object.insert("state", "packed");
        }
        list.append(object);
    }
    return list;
}

QJsonArray iniFiles(const HeldFolder *logFolder, const QStringList &paramFiles, const LevelRecord &levels)
{
    QJsonArray list;
    for (const QString &path : paramFiles) {
        const QString name = QFileInfo(path).fileName();
        QJsonObject object{{"entry", name}, {"level", levelValue(logFolder ? loggingValue(*logFolder, name) : std::nullopt)}};
        // Written to in this run or not: null means no level was chosen for it since the start.
        const auto write = levels.constFind(path);
        if (write == levels.cend()) {
            object.insert("updated", QJsonValue::Null);
        } else {
            object.insert("updated", write->isEmpty());
            if (!write->isEmpty())
                object.insert("reason", *write);
        }
        list.append(object);
    }
    return list;
}

QJsonArray tools(const QVector<ToolFacts> &facts)
{
    QJsonArray list;
    for (const ToolFacts &tool : facts) {
        const ToolRecord &run = tool.record;
        list.append(QJsonObject{
            {"entry", run.entry},
            {"command", run.command.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(run.command)},
            {"outcome", run.outcome},
            {"exitCode", run.exitCode ? QJsonValue(*run.exitCode) : QJsonValue(QJsonValue::Null)},
            {"milliseconds", run.milliseconds},
            {"inArchive", tool.inArchive},
        });
    }
    return list;
}

QJsonObject redaction(const ManifestFacts &facts)
{
    QJsonObject replaced;
    for (auto kind = facts.replaced.cbegin(); kind != facts.replaced.cend(); ++kind)
        replaced.insert(kind.key(), qint64(kind.value()));
    return facts.redacted ? QJsonObject{{"on", true}, {"replaced", replaced}} : QJsonObject{{"on", false}};
}

} // namespace

QString leftOutReason(const QString &path, bool existed)
{
    const QFileInfo info(path);
    if (info.isSymbolicLink() || info.isJunction())
        return QStringLiteral("link");
    if (!info.exists())
        return existed ? QStringLiteral("vanished") : QStringLiteral("missing");
    if (info.isDir())
        return QStringLiteral("folder");
    if (!info.isFile())
        return QStringLiteral("pipe or device");
    if (entryKind(path) == EntryKind::Link)
        return QStringLiteral("hard link");
    return QStringLiteral("unreadable");
}

QByteArray manifestJson(const ManifestFacts &facts, const QDateTime &now)
{
    // Local time with its offset written out, also when that is 0, so that it can be set beside
    // the logs' own times.
    const int offset = now.offsetFromUtc() / 60;
    const QString created = now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
                            QStringLiteral("%1:%2").arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                                .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    const QJsonObject manifest{
        {"format", 1},
        {"program", QJsonObject{{"name", "zel.logging"}, {"version", ZEL_VERSION}}},
        {"created", created},
        {"system", QJsonObject{{"os", QSysInfo::prettyProductName()},
                               {"kernel", QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion()},
                               {"architecture", QSysInfo::currentCpuArchitecture()}}},
        {"components", components(facts.logFolder.get())},
        {"files", files(facts.files)},
        {"iniFiles", iniFiles(facts.logFolder.get(), facts.paramFiles, facts.levels)},
        {"tools", tools(facts.tools)},
        {"redaction", redaction(facts)},
        {"site", facts.site},
    };
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}
