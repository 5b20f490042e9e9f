#include "sitesettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QUrl>

#include <limits>

namespace {

// A registry value may be a number or text; an INI value is always text.
std::optional<bool> flag(const QVariant &value)
{
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("yes"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0") || text == QLatin1String("no"))
        return false;
    return std::nullopt;
}

} // namespace

std::optional<quint64> byteCount(const QString &text)
{
    static const QString units = QStringLiteral("KMG");
    QString number = text.trimmed().toUpper();
    const int unit = number.isEmpty() ? -1 : int(units.indexOf(number.back()));
    if (unit >= 0)
        number.chop(1);
    bool ok = false;
    const quint64 count = number.toULongLong(&ok);
    const quint64 scale = unit >= 0 ? quint64(1) << (10 * (unit + 1)) : 1;
    if (!ok || count == 0 || count > std::numeric_limits<quint64>::max() / scale)
        return std::nullopt;
    return count * scale;
}

SiteSettings siteSettingsFrom(QSettings &settings)
{
    SiteSettings site;
    settings.beginGroup(QStringLiteral("Support"));
    const auto read = [&](const char *key, auto parse, auto &field) {
        const QString name = QLatin1String(key);
        if (!settings.contains(name))
            return;
        const QVariant value = settings.value(name);
        if (const auto parsed = parse(value))
            field = *parsed;
        else
            site.problems << name + QStringLiteral("=") + value.toString();
    };
    const auto size = [](const QVariant &value) { return byteCount(value.toString()); };
    const auto text = [](const QVariant &value) { return std::optional<QString>(value.toString().trimmed()); };
    read("Redact", flag, site.redact);
    read("MaxLogSize", size, site.maxLogSize);
    read("MaxMailSize", size, site.maxMailSize);
    read("UploadUrl", text, site.uploadUrl);
    read("CaFile", text, site.caFile);
    settings.endGroup();
    return site;
}

QJsonObject siteSettingsRecord(const SiteSettings &site)
{
    const auto size = [](const std::optional<quint64> &bytes) {
        return bytes ? QJsonValue(qint64(*bytes)) : QJsonValue(QJsonValue::Null);
    };
    const QString upload =
        QUrl(site.uploadUrl).toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    return QJsonObject{
        {"source", site.source.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(site.source)},
        {"redact", site.redact},
        {"maxLogSize", size(site.maxLogSize)},
        {"maxMailSize", size(site.maxMailSize)},
        {"uploadUrl", upload.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(upload)},
        {"problems", QJsonArray::fromStringList(site.problems)},
    };
}
