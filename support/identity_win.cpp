#include "identity.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <lm.h>

#include <vector>

namespace {

QString computerName(COMPUTER_NAME_FORMAT format)
{
    wchar_t name[256];
    DWORD length = 256;
    return GetComputerNameExW(format, name, &length) ? QString::fromWCharArray(name, int(length)) : QString();
}

void addOnce(QStringList &list, const QString &item)
{
    if (!item.isEmpty() && !list.contains(item, Qt::CaseInsensitive))
        list << item;
}

// The workgroup or the NetBIOS name of the domain the machine has joined ("COMPANY\user").
QString joinedName()
{
    wchar_t *name = nullptr;
    NETSETUP_JOIN_STATUS status;
    if (NetGetJoinInformation(nullptr, &name, &status) != NERR_Success)
        return {};
    const QString joined = status == NetSetupWorkgroupName || status == NetSetupDomainName ? QString::fromWCharArray(name)
                                                                                           : QString();
    NetApiBufferFree(name);
    return joined;
}

// The account's full name as the system keeps it, for a local account.
QString fullName(const QString &user)
{
    BYTE *info = nullptr;
    if (NetUserGetInfo(nullptr, reinterpret_cast<const wchar_t *>(user.utf16()), 2, &info) != NERR_Success)
        return {};
    const QString name = QString::fromWCharArray(reinterpret_cast<const USER_INFO_2 *>(info)->usri2_full_name);
    NetApiBufferFree(info);
    return name.trimmed();
}

// The 8.3 form of a folder ("C:\Users\JKOWAL~1"), as old programs write it.
QString shortPath(const QString &path)
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetShortPathNameW(reinterpret_cast<const wchar_t *>(path.utf16()), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? QString::fromWCharArray(buffer, int(length)) : QString();
}

void learnInterfaces(Identity &identity)
{
    ULONG size = 16384;
    std::vector<unsigned char> buffer;
    ULONG result;
    do {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
    } while (result == ERROR_BUFFER_OVERFLOW);
    if (result != NO_ERROR)
        return;
    for (auto *adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES *>(buffer.data()); adapter; adapter = adapter->Next) {
        if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        if (adapter->PhysicalAddressLength == 6)
            identity.macs << QByteArray(reinterpret_cast<const char *>(adapter->PhysicalAddress), 6).toHex(':');
        for (auto *unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const sockaddr *address = unicast->Address.lpSockaddr;
            char text[INET6_ADDRSTRLEN];
            const void *bytes = address->sa_family == AF_INET
                                    ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(address)->sin_addr)
                                    : static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr);
            if ((address->sa_family == AF_INET || address->sa_family == AF_INET6) &&
                inet_ntop(address->sa_family, bytes, text, sizeof text))
                identity.addresses << QString::fromLatin1(text);
        }
    }
}

} // namespace

Identity machineIdentity()
{
    Identity identity;
    for (const COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS})
        addOnce(identity.hostNames, computerName(format));
    identity.domains << domainAndParents(computerName(ComputerNameDnsDomain));
    addOnce(identity.domains, joinedName());

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
        addOnce(identity.users, name);
        addOnce(identity.homes, QDir::toNativeSeparators(profiles + QLatin1Char('/') + name));
    }
    for (const QString &name : identity.users) {
        const QString full = fullName(name);
        if (full.contains(u' '))
            addOnce(identity.fullNames, full);
    }
    for (const QString &folder : QStringList(identity.homes))
        addOnce(identity.homes, shortPath(folder));
    learnInterfaces(identity);
    return identity;
}
