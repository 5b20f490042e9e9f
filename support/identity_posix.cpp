#include "identity.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

// The range of ordinary users' ids, from the system's login settings where it sets them.
std::pair<uid_t, uid_t> userIds()
{
    uid_t first = 1000;
    uid_t last = 60000;
    QFile settings(QStringLiteral("/etc/login.defs"));
    if (settings.open(QIODevice::ReadOnly)) {
        static const QRegularExpression line(QStringLiteral("^\\s*(UID_MIN|UID_MAX)\\s+(\\d+)"),
                                             QRegularExpression::MultilineOption);
        for (auto match = line.globalMatch(QString::fromUtf8(settings.readAll())); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            (found.captured(1) == QLatin1String("UID_MIN") ? first : last) = found.captured(2).toUInt();
        }
    }
    return {first, last};
}

// The DNS domain the resolver appends: its "domain" line, else the first of "search".
QStringList resolverDomains()
{
    QFile resolver(QStringLiteral("/etc/resolv.conf"));
    if (!resolver.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression line(QStringLiteral("^(domain|search)\\s+(\\S+)"),
                                         QRegularExpression::MultilineOption);
    QStringList domains;
    for (auto match = line.globalMatch(QString::fromUtf8(resolver.readAll())); match.hasNext();)
        domains << match.next().captured(2);
    return domains;
}

} // namespace

Identity machineIdentity()
{
    Identity identity;
    const QString host = QSysInfo::machineHostName();
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    identity.hostNames << host.left(dot);
    if (dot > 0)
        identity.domains << host.mid(dot + 1);
    identity.domains << resolverDomains();

    const auto [first, last] = userIds();
    const uid_t self = getuid();
    setpwent();
    while (const passwd *user = getpwent()) {
        if ((user->pw_uid >= first && user->pw_uid <= last) || (user->pw_uid == self && self != 0)) {
            identity.users << QString::fromLocal8Bit(user->pw_name);
            identity.homes << QString::fromLocal8Bit(user->pw_dir);
        }
    }
    endpwent();
    return identity;
}
