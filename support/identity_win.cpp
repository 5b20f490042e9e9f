#include "identity.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <windows.h>

namespace {

QString computerName(COMPUTER_NAME_FORMAT format)
{
    wchar_t name[256];
    DWORD length = 256;
    return GetComputerNameExW(format, name, &length) ? QString::fromWCharArray(name, int(length)) : QString();
}

} // namespace

Identity machineIdentity()
{
    Identity identity;
    for (const COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS}) {
        const QString name = computerName(format);
        if (!name.isEmpty() && !identity.hostNames.contains(name, Qt::CaseInsensitive))
            identity.hostNames << name;
    }
    const QString domain = computerName(ComputerNameDnsDomain);
    if (!domain.isEmpty())
        identity.domains << domain;

    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    wchar_t user[257];
    DWORD length = 257;
    if (GetUserNameW(user, &length) && length > 1) {
        identity.users << QString::fromWCharArray(user, int(length - 1));
        identity.homes << QDir::toNativeSeparators(home);
    }
    // Every profile folder beside the user's own belongs to someone who uses the machine, but
    // for the system's own templates.
    const QString profiles = QFileInfo(home).absolutePath();
    const QStringList shared = {QStringLiteral("Public"), QStringLiteral("Default"), QStringLiteral("Default User"),
                                QStringLiteral("All Users")};
    for (const QString &name : QDir(profiles).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (shared.contains(name, Qt::CaseInsensitive))
            continue;
        if (!identity.users.contains(name, Qt::CaseInsensitive))
            identity.users << name;
        const QString profile = QDir::toNativeSeparators(profiles + QLatin1Char('/') + name);
        if (!identity.homes.contains(profile, Qt::CaseInsensitive))
            identity.homes << profile;
    }
    return identity;
}
