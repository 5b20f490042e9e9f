#include "identity.h"

#include <QFile>
#include <QRegularExpression>

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>
#if __has_include(<netpacket/packet.h>)
#include <netpacket/packet.h>
#endif

#include <arpa/inet.h>

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

QStringList fileLines(const char *path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n');
}

QStringList fields(const QString &line)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return line.section(u'#', 0, 0).split(space, Qt::SkipEmptyParts);
}

// The names the machine goes by: the resolver's canonical name and every name on the lines of
// /etc/hosts that name it, with those lines' addresses.
void learnNames(const QString &node, Identity &identity)
{
    QStringList names{node};
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    if (getaddrinfo(node.toLocal8Bit().constData(), nullptr, &hints, &found) == 0) {
        if (found && found->ai_canonname)
            names << QString::fromLocal8Bit(found->ai_canonname);
        freeaddrinfo(found);
    }
    const QString shortName = node.section(u'.', 0, 0);
    for (const QString &line : fileLines("/etc/hosts")) {
        const QStringList parts = fields(line);
        const bool ours = std::any_of(parts.begin() + std::min<qsizetype>(1, parts.size()), parts.end(), [&](const QString &name) {
            return name.section(u'.', 0, 0).compare(shortName, Qt::CaseInsensitive) == 0;
        });
        if (ours) {
            identity.addresses << parts.first();
            names << parts.mid(1);
        }
    }
    for (const QString &name : names) {
        const QString host = name.section(u'.', 0, 0);
        if (!host.isEmpty() && !identity.hostNames.contains(host, Qt::CaseInsensitive))
            identity.hostNames << host;
        if (name.contains(u'.'))
            identity.domains << domainAndParents(name.section(u'.', 1));
    }
}

// The resolver's "domain" and every "search" domain, with their parents.
void learnResolverDomains(Identity &identity)
{
    for (const QString &line : fileLines("/etc/resolv.conf")) {
        const QStringList parts = fields(line);
        if (parts.size() >= 2 && (parts[0] == QLatin1String("domain") || parts[0] == QLatin1String("search"))) {
            for (const QString &domain : parts.mid(1))
                identity.domains << domainAndParents(domain);
        }
    }
}

void learnInterfaces(Identity &identity)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return;
    for (const ifaddrs *item = list; item; item = item->ifa_next) {
        if (!item->ifa_addr || (item->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET6_ADDRSTRLEN];
        const int family = item->ifa_addr->sa_family;
        if (family == AF_INET &&
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(item->ifa_addr)->sin_addr, text, sizeof text))
            identity.addresses << QString::fromLatin1(text);
        else if (family == AF_INET6 &&
                 inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(item->ifa_addr)->sin6_addr, text, sizeof text))
            identity.addresses << QString::fromLatin1(text);
#ifdef AF_PACKET
        else if (family == AF_PACKET) {
            const auto *link = reinterpret_cast<const sockaddr_ll *>(item->ifa_addr);
            if (link->sll_halen == 6)
                identity.macs << QByteArray(reinterpret_cast<const char *>(link->sll_addr), 6).toHex(':');
        }
#endif
    }
    freeifaddrs(list);
}

} // namespace

Identity machineIdentity()
{
    Identity identity;
    utsname system{};
    learnNames(uname(&system) == 0 ? QString::fromLocal8Bit(system.nodename) : QString(), identity);
    learnResolverDomains(identity);
    identity.domains.removeDuplicates();

    const auto [first, last] = userIds();
    const uid_t self = getuid();
    setpwent();
    while (const passwd *user = getpwent()) {
        if ((user->pw_uid >= first && user->pw_uid <= last) || (user->pw_uid == self && self != 0)) {
            identity.users << QString::fromLocal8Bit(user->pw_name);
            identity.homes << QString::fromLocal8Bit(user->pw_dir);
            const QString fullName = QString::fromLocal8Bit(user->pw_gecos).section(u',', 0, 0).trimmed();
            if (fullName.contains(u' ')) // a one-word comment is no name
                identity.fullNames << fullName;
        }
    }
    endpwent();
    learnInterfaces(identity);
    return identity;
}
